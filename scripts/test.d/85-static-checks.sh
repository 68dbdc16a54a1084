# Static checks of the project's own sources: clang-tidy (checks in
# .clang-tidy) and cppcheck (suppressions in scripts/cppcheck-suppressions.txt).
# Each reports one test per source file: passed when the file has no finding.
# clang-tidy reads the native build's compile commands, and the Windows
# build's for the files only that build compiles (the window, the Win32
# serial port and port list, the Wine and GUI tests), parsed as i686 mingw
# code against the cross compiler's headers.
# With ZF_QUICK=1 (scripts/test --quick) only the files changed against main
# are checked (committed or not), and the sources that include a changed
# header.
# zf-step: quick
. scripts/test-lib.sh
export ZF_REPO
ours='^'"$ZF_REPO"'/(devicelink|targetlib|catalogue|app|station|window|tools|tests)/.*\.cpp$'
export TIDY_LOGS=$ZF_LOGS/clang-tidy
# LLVM 22's clang-tidy: about three times as fast as Debian's default (14) on
# these sources, and with newer checks.
export CLANG_TIDY=${CLANG_TIDY:-clang-tidy-22}
rm -rf "$TIDY_LOGS" && mkdir -p "$TIDY_LOGS"

# In quick mode, the sources to check: those changed against main, and those
# that include a changed header (directly or through other headers); the
# includes are written from the repository root.
changed_sources() {
    local base changed headers more
    base=$(git merge-base HEAD main 2>/dev/null || git merge-base HEAD origin/main 2>/dev/null) || {
        echo "static checks: no main branch to compare with: checking every file" >&2
        find devicelink targetlib catalogue app station window tools tests -name '*.cpp'
        return
    }
    changed=$( { git diff --name-only "$base"; git ls-files --others --exclude-standard; } | sort -u)
    headers=$(grep -E '\.h$' <<<"$changed")
    while [ -n "$headers" ]; do
        more=$(grep -rlF -f <(sed 's|.*|#include "&"|' <<<"$headers") devicelink targetlib catalogue app station window tools tests)
        changed=$(printf '%s\n%s\n' "$changed" "$more" | sort -u)
        headers=$(comm -13 <(grep -E '\.h$' <<<"$headers" | sort -u) <(grep -E '\.h$' <<<"$more" | sort -u))
    done
    grep -E '^(devicelink|targetlib|catalogue|app|station|window|tools|tests)/.*\.cpp$' <<<"$changed" | while read -r f; do
        [ -e "$f" ] && echo "$f"
    done
}
if [ -n "${ZF_QUICK:-}" ]; then
    mapfile -t quick_files < <(changed_sources)
    echo "static checks: ${#quick_files[@]} source file(s) changed against main, or including a changed header"
fi

# only_wanted: keeps the lines (absolute paths) that name a file to check.
only_wanted() {
    if [ -n "${ZF_QUICK:-}" ]; then
        grep -Fxf <(printf "$ZF_REPO/%s\n" "${quick_files[@]}") || true
    else
        cat
    fi
}

# The C++ source files a build compiles, one per line.
sources_of() {
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json" | grep -E "$ours" | only_wanted | sort -u
}

# The mingw C++ library's include folders as clang-tidy arguments (clang finds
# the mingw C headers by itself, not the C++ ones of the gcc cross compiler).
mingw_args() {
    echo --extra-arg-before=--target=i686-w64-mingw32
    echo | i686-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
        sed -n '/^#include <...> search starts here/,/^End of search list/s/^ \(.*c++.*\)/\1/p' |
        sed 's/^/--extra-arg-before=-isystem/'
}

# "BUILD FILE": one file through clang-tidy with that build's compile
# commands; the findings go to a log of their own.
tidy_one() {
    local build=${1%% *} file=${1#* } log args=()
    log=$TIDY_LOGS/$(basename "$(dirname "$file")")-$(basename "$file").log
    [ "$build" = build/windows ] && read -ra args <<<"$MINGW_ARGS"
    if "$CLANG_TIDY" -p "$build" --quiet "${args[@]}" "$file" >"$log" 2>&1; then
        echo "clang-tidy ok:   ${file#"$ZF_REPO"/}"
    else
        echo "clang-tidy FAIL: ${file#"$ZF_REPO"/}"
        grep -E ': (warning|error): ' "$log" || tail -n 5 "$log"
    fi
}
export -f tidy_one

run_tidy() {
    local log=$ZF_LOGS/clang-tidy.log status
    command -v "$CLANG_TIDY" >/dev/null || { zf_report 0 1 clang-tidy-not-installed; return; }
    zf_need build/native/compile_commands.json clang-tidy || return
    {
        sources_of build/native | sed 's|^|build/native |'
        if [ -e build/windows/compile_commands.json ]; then
            comm -23 <(sources_of build/windows) <(sources_of build/native) | sed 's|^|build/windows |'
        fi
    } >"$ZF_LOGS/clang-tidy-files.txt"
    if [ -n "${ZF_QUICK:-}" ] && [ ${#quick_files[@]} -gt 0 ]; then
        printf "$ZF_REPO/%s\n" "${quick_files[@]}" | grep -vxFf <(cut -d' ' -f2 "$ZF_LOGS/clang-tidy-files.txt") |
            sed "s|^$ZF_REPO/|clang-tidy: not checked, no build compiles it here: |"
    fi
    [ -s "$ZF_LOGS/clang-tidy-files.txt" ] || { echo "clang-tidy: no file to check"; return; }
    MINGW_ARGS=$(mingw_args | tr '\n' ' ')
    export MINGW_ARGS
    timeout -k 10 900 nice -n "${ZF_NICE:-0}" xargs -P "$(nproc)" -I{} bash -c 'tidy_one "{}"' \
        <"$ZF_LOGS/clang-tidy-files.txt" | tee "$log"
    status=${PIPESTATUS[0]}
    zf_report_counts clang-tidy "$status" "$(grep -c '^clang-tidy ok:' "$log")" "$(grep -c '^clang-tidy FAIL:' "$log")"
}

# cppcheck runs in the background while clang-tidy runs (its log is shown
# afterwards): start_cppcheck, then report_cppcheck.
if [ -n "${ZF_QUICK:-}" ]; then
    cppcheck_files=("${quick_files[@]}")
else
    mapfile -t cppcheck_files < <(find devicelink targetlib catalogue app station window tools tests -name '*.cpp' | sort)
fi
start_cppcheck() {
    local log=$ZF_LOGS/cppcheck.log
    rm -f "$log" "$log.status"
    command -v cppcheck >/dev/null && [ ${#cppcheck_files[@]} -gt 0 ] || return
    zf_timed cppcheck timeout -k 10 600 nice -n "${ZF_NICE:-0}" cppcheck -j "$(nproc)" --quiet --std=c++17 \
        --language=c++ -I. --library=googletest \
        --enable=warning,performance,portability --inline-suppr --error-exitcode=1 \
        --suppressions-list=scripts/cppcheck-suppressions.txt \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' "${cppcheck_files[@]}" >"$log" 2>&1
    echo $? >"$log.status"
}

report_cppcheck() {
    local log=$ZF_LOGS/cppcheck.log failed
    command -v cppcheck >/dev/null || { zf_report 0 1 cppcheck-not-installed; return; }
    [ ${#cppcheck_files[@]} -gt 0 ] || { echo "cppcheck: no file to check"; return; }
    cat "$log"
    failed=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: ' "$log" | cut -d: -f1 | sort -u | wc -l)
    zf_report_counts cppcheck "$(cat "$log.status" 2>/dev/null || echo 1)" \
        "$((${#cppcheck_files[@]} > failed ? ${#cppcheck_files[@]} - failed : 0))" "$failed"
}

start_cppcheck &
cppcheck_pid=$!
zf_timed clang-tidy run_tidy
wait "$cppcheck_pid"
report_cppcheck
