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
