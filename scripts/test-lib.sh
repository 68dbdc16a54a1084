# Helpers for the steps of scripts/test (scripts/test.d/NN-*.sh). Source it.
# A step reports what it ran by appending "PASSED FAILED LABEL" lines to the
# file named by $ZF_RESULTS; these helpers write those lines.

ZF_REPO=${ZF_REPO:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
ZF_RESULTS=${ZF_RESULTS:-/dev/null}
ZF_LOGS=${ZF_LOGS:-$ZF_REPO/build/test-logs}
mkdir -p "$ZF_LOGS"

# zf_report PASSED FAILED LABEL
zf_report() {
    echo "$1 $2 $3" >>"$ZF_RESULTS"
}

# zf_count_gtest LOG: prints "PASSED FAILED" from a googletest console log.
zf_count_gtest() {
    local passed failed
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$1" | tail -n1)
    failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$1" | tail -n1)
    echo "${passed:-0} ${failed:-0}"
}

# zf_count_ctest LOG: prints "PASSED FAILED" from ctest's summary; skipped
# tests count as neither.
zf_count_ctest() {
    local line total failed skipped
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$1")
    [ -n "$line" ] || { echo "0 0"; return; }
    echo "$((total - failed - skipped)) $failed"
}

# zf_report_counts LABEL STATUS PASSED FAILED: a runner that exited non-zero
# without naming a failed test (crash, hang, build error) adds one failure.
zf_report_counts() {
    local label=$1 status=$2 passed=$3 failed=$4
    if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
        failed=1
        echo "$label: runner exited with status $status" >&2
    fi
    zf_report "$passed" "$failed" "$label"
}

zf_report_gtest() {  # LABEL STATUS LOG
    zf_report_counts "$1" "$2" $(zf_count_gtest "$3")
}

zf_report_ctest() {  # LABEL STATUS LOG
    zf_report_counts "$1" "$2" $(zf_count_ctest "$3")
}

# zf_need FILE LABEL: reports one failure and returns 1 when a program that
# the step runs was not built.
zf_need() {
    [ -e "$1" ] && return 0
    echo "$2: missing $1 (not built)" >&2
    zf_report 0 1 "$2"
    return 1
}

# The simulated device as a program: zf_zsim_start LINK [ZSIM-OPTIONS...]
# starts it with its pty linked at LINK (log in LINK.log) and waits until it
# is up; zf_zsim_stop_all stops every one started so (after Wine has been
# stopped: the pty must outlive every Wine handle on it).
ZF_ZSIM=${ZF_ZSIM:-build/native/tools/zsim/zsim}
ZF_ZSIM_PIDS=()

zf_zsim_start() {
    local link=$1 i
    shift
    "$ZF_ZSIM" --link "$link" "$@" >"$link.log" 2>&1 &
    ZF_ZSIM_PIDS+=($!)
    for i in $(seq 100); do
        grep -q '^zsim: device on ' "$link.log" && return 0
        kill -0 "${ZF_ZSIM_PIDS[-1]}" 2>/dev/null || break
        sleep 0.1
    done
    echo "zsim did not start:" >&2
    cat "$link.log" >&2
    return 1
}

zf_zsim_stop_all() {
    local pid
    for pid in "${ZF_ZSIM_PIDS[@]}"; do
        kill "$pid" 2>/dev/null
        timeout 10 tail --pid="$pid" -f /dev/null || kill -9 "$pid" 2>/dev/null
    done
    ZF_ZSIM_PIDS=()
}

# A step's own checks, counted in ZF_CHECKS_PASSED and ZF_CHECKS_FAILED (the
# step reports them with zf_report). Each prints "PASS LABEL" or "FAIL LABEL";
# zf_check also appends the output it read to $ZF_CHECK_LOG when that is set.
#   zf_verdict LABEL OK             OK is 1 (passed) or 0 (failed)
#   zf_check LABEL EXPECTED-STATUS STATUS OUTPUT-FILE [TEXT...]
#                                   passes when STATUS is EXPECTED-STATUS and
#                                   every TEXT is in the output file
ZF_CHECKS_PASSED=0 ZF_CHECKS_FAILED=0

zf_verdict() {
    if [ "$2" -eq 1 ]; then
        ZF_CHECKS_PASSED=$((ZF_CHECKS_PASSED + 1))
        echo "PASS $1"
    else
        ZF_CHECKS_FAILED=$((ZF_CHECKS_FAILED + 1))
        echo "FAIL $1"
    fi
}

zf_check() {
    local label=$1 want=$2 got=$3 out=$4 ok=1 text
    shift 4
    [ "$got" -eq "$want" ] || { echo "$label: exit status $got, expected $want" >&2; ok=0; }
    for text in "$@"; do
        grep -qF -- "$text" "$out" || { echo "$label: missing \"$text\"" >&2; ok=0; }
    done
    [ -n "${ZF_CHECK_LOG:-}" ] && { echo "=== $label (exit $got)"; cat "$out"; } >>"$ZF_CHECK_LOG"
    zf_verdict "$label" $ok
}

# zf_end_wine_session DIR COM...: the end of a step that mapped simulated
# devices into Wine (for `trap ... EXIT`; needs scripts/wine-env.sh): the COM
# ports unmapped, Wine and Xvfb stopped, then the simulators (their ptys must
# outlive every Wine handle on them), and DIR removed.
zf_end_wine_session() {
    local dir=$1 com
    shift
    for com in "$@"; do zf_wine_unmap_com "$com"; done
    zf_wine_cleanup
    zf_zsim_stop_all
    rm -rf "$dir"
}
