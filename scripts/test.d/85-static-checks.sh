# Static checks of the project's own sources: clang-tidy (checks in
# .clang-tidy) and cppcheck (suppressions in scripts/cppcheck-suppressions.txt).
# Each reports one test per source file: passed when the file has no finding.
# clang-tidy reads the native build's compile commands, and the Windows
# build's for the files only that build compiles (the window, the Win32
# serial port and port list, the Wine and GUI tests), parsed as i686 mingw
# code against the cross compiler's headers.
. scripts/test-lib.sh
export ZF_REPO
ours='^'"$ZF_REPO"'/(devicelink|targetlib|catalogue|app|tools|tests)/.*\.cpp$'
export TIDY_LOGS=$ZF_LOGS/clang-tidy
rm -rf "$TIDY_LOGS" && mkdir -p "$TIDY_LOGS"

# The C++ source files a build compiles, one per line.
sources_of() {
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json" | grep -E "$ours" | sort -u
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
    if clang-tidy -p "$build" --quiet "${args[@]}" "$file" >"$log" 2>&1; then
        echo "clang-tidy ok:   ${file#"$ZF_REPO"/}"
    else
        echo "clang-tidy FAIL: ${file#"$ZF_REPO"/}"
        grep -E ': (warning|error): ' "$log" || tail -n 5 "$log"
    fi
}
export -f tidy_one

run_tidy() {
    local log=$ZF_LOGS/clang-tidy.log status
    command -v clang-tidy >/dev/null || { zf_report 0 1 clang-tidy-not-installed; return; }
    zf_need build/native/compile_commands.json clang-tidy || return
    {
        sources_of build/native | sed 's|^|build/native |'
        if [ -e build/windows/compile_commands.json ]; then
            comm -23 <(sources_of build/windows) <(sources_of build/native) | sed 's|^|build/windows |'
        fi
    } >"$ZF_LOGS/clang-tidy-files.txt"
    MINGW_ARGS=$(mingw_args | tr '\n' ' ')
    export MINGW_ARGS
    timeout -k 10 900 xargs -P 2 -I{} bash -c 'tidy_one "{}"' <"$ZF_LOGS/clang-tidy-files.txt" | tee "$log"
    status=${PIPESTATUS[0]}
    zf_report_counts clang-tidy "$status" "$(grep -c '^clang-tidy ok:' "$log")" "$(grep -c '^clang-tidy FAIL:' "$log")"
}

run_cppcheck() {
    local log=$ZF_LOGS/cppcheck.log status files failed
    command -v cppcheck >/dev/null || { zf_report 0 1 cppcheck-not-installed; return; }
    mapfile -t files < <(find devicelink targetlib catalogue app tools tests -name '*.cpp' | sort)
    timeout -k 10 600 cppcheck -j 2 --quiet --std=c++17 --language=c++ -I. --library=googletest \
        --enable=warning,performance,portability --inline-suppr --error-exitcode=1 \
        --suppressions-list=scripts/cppcheck-suppressions.txt \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' "${files[@]}" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    failed=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: ' "$log" | cut -d: -f1 | sort -u | wc -l)
    zf_report_counts cppcheck "$status" "$((${#files[@]} > failed ? ${#files[@]} - failed : 0))" "$failed"
}

zf_timed clang-tidy run_tidy
zf_timed cppcheck run_cppcheck
