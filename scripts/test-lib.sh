# Helpers for the steps of scripts/test (scripts/test.d/NN-*.sh). Source it.
# A step reports what it ran by appending "PASSED FAILED LABEL" lines to the
# file named by $ZF_RESULTS; these helpers write those lines.

ZF_REPO=${ZF_REPO:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
ZF_RESULTS=${ZF_RESULTS:-/dev/null}
ZF_LOGS=${ZF_LOGS:-$ZF_REPO/build/test-logs}
mkdir -p "$ZF_LOGS"

# zf_timed LABEL COMMAND...: runs COMMAND (a program or a function) and
# appends "LABEL WALL USER SYS" (seconds) to $ZF_TIMES, the times that the
# summary of scripts/test prints. USER and SYS count the processes that were
# waited for (a daemon that detaches, such as wineserver, is not counted).
ZF_TIMES=${ZF_TIMES:-/dev/null}
# Inside a step of scripts/test, LABEL is shown under the step.
zf_timed() {
    local TIMEFORMAT="${ZF_TIMES_STEP:+$ZF_TIMES_STEP/}$1 %R %U %S"
    shift
    { time "$@" 2>&3 3>&-; } 3>&2 2>>"$ZF_TIMES"
}

# zf_report PASSED FAILED LABEL
zf_report() {
    echo "$1 $2 $3" >>"$ZF_RESULTS"
}

# zf_junit counts|failed XML...: from JUnit XML files (ctest --output-junit)
# or googletest XML files (--gtest_output=xml:FILE), "counts" prints "PASSED
# FAILED" and "failed" the names of the failed tests, one a line. A test with
# a <failure> or <error>, or with ctest's status "fail", failed; a skipped or
# disabled test counts as neither; a missing file counts nothing.
zf_junit() {
    python3 - "$@" <<'PY'
import sys, xml.etree.ElementTree as ET
mode, passed, failed = sys.argv[1], 0, []
for path in sys.argv[2:]:
    try:
        cases = ET.parse(path).getroot().iter("testcase")
    except (OSError, ET.ParseError):
        continue
    for case in cases:
        name = case.get("name", "")
        if case.get("classname") not in (None, "", name) and not name.startswith(case.get("classname") + "."):
            name = case.get("classname") + "." + name
        if case.find("failure") is not None or case.find("error") is not None or case.get("status") == "fail":
            failed.append(name)
        elif (case.find("skipped") is None and case.get("status") not in ("notrun", "disabled")
              and case.get("result") not in ("skipped", "suppressed")):
            passed += 1
if mode == "failed":
    print("\n".join(failed)) if failed else None
else:
    print(passed, len(failed))
PY
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

# zf_report_junit LABEL STATUS XML...: reports what the XML files hold; a
# run in which no test passed or failed counts as one failure.
zf_report_junit() {
    local label=$1 status=$2 passed failed
    shift 2
    read -r passed failed < <(zf_junit counts "$@")
    if [ $((passed + failed)) -eq 0 ]; then
        echo "$label: no test ran" >&2
        [ "$status" -ne 0 ] || status=1
    fi
    zf_report_counts "$label" "$status" "$passed" "$failed"
}

# zf_ctest LABEL BUILD-DIR [CTEST-ARGUMENTS...]: runs ctest in BUILD-DIR two
# tests at a time (log $ZF_LOGS/LABEL.log, JUnit XML $ZF_LOGS/LABEL.xml) and
# reports its counts under LABEL. ZF_CTEST_JOBS changes the two.
zf_ctest() {
    local label=$1 dir=$2 xml=$ZF_LOGS/$1.xml log=$ZF_LOGS/$1.log
    shift 2
    rm -f "$xml"
    timeout -k 30 "${ZF_CTEST_TIMEOUT:-1200}" ctest --test-dir "$dir" -j"${ZF_CTEST_JOBS:-2}" \
        --output-on-failure --output-junit "$xml" "$@" 2>&1 | tee "$log"
    zf_report_junit "$label" "${PIPESTATUS[0]}" "$xml"
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

