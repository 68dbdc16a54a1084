# Static checks of the project's own sources: clang-tidy (checks in
# .clang-tidy, compile commands of the native build) and cppcheck
# (suppressions in scripts/cppcheck-suppressions.txt). Each reports one test
# per source file: passed when the file has no finding.
# The window code (app/window) is Windows-only and is not in the native
# build's compile commands, so clang-tidy does not see it; cppcheck, which
# needs no system headers, checks it with the rest.
. scripts/test-lib.sh
export ZF_REPO
dir=build/native
db=$dir/compile_commands.json
ours='^'"$ZF_REPO"'/(devicelink|targetlib|catalogue|app|tools|tests)/'
export TIDY_LOGS=$ZF_LOGS/clang-tidy
rm -rf "$TIDY_LOGS" && mkdir -p "$TIDY_LOGS"

# One file through clang-tidy; its findings go to a log of their own.
tidy_one() {
    local file=$1 log
    log=$TIDY_LOGS/$(basename "$(dirname "$file")")-$(basename "$file").log
    if clang-tidy -p build/native --quiet "$file" >"$log" 2>&1; then
        echo "clang-tidy ok:   ${file#"$ZF_REPO"/}"
    else
        echo "clang-tidy FAIL: ${file#"$ZF_REPO"/}"
        grep -E ': (warning|error): ' "$log"
    fi
}
export -f tidy_one

run_tidy() {
    local log=$ZF_LOGS/clang-tidy.log status
    zf_need "$db" clang-tidy || return
    command -v clang-tidy >/dev/null || { zf_report 0 1 clang-tidy-not-installed; return; }
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" | grep -E "$ours" | sort -u |
        timeout -k 10 600 xargs -P 2 -I{} bash -c 'tidy_one {}' | tee "$log"
    status=${PIPESTATUS[2]}
    zf_report_counts clang-tidy "$status" "$(grep -c '^clang-tidy ok:' "$log")" "$(grep -c '^clang-tidy FAIL:' "$log")"
}

run_cppcheck() {
    local log=$ZF_LOGS/cppcheck.log status files failed
    command -v cppcheck >/dev/null || { zf_report 0 1 cppcheck-not-installed; return; }
    files=$(find devicelink targetlib catalogue app tools tests -name '*.cpp' | sort)
    # shellcheck disable=SC2086  # one argument per file
    timeout -k 10 600 cppcheck -j 2 --quiet --std=c++17 --language=c++ -I. \
        --enable=warning,performance,portability --inline-suppr --error-exitcode=1 --library=googletest \
        --suppressions-list=scripts/cppcheck-suppressions.txt \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' $files 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    failed=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: ' "$log" | cut -d: -f1 | sort -u | wc -l)
    zf_report_counts cppcheck "$status" "$(($(wc -w <<<"$files") - failed))" "$failed"
}

t0=$SECONDS; run_tidy;     echo "--- clang-tidy: $((SECONDS - t0)) s"
t0=$SECONDS; run_cppcheck; echo "--- cppcheck: $((SECONDS - t0)) s"
