# Windows build: zflash.exe under Wine against the simulated device on a pty
# mapped as a Wine COM port: the port list, one program run end to end (with
# the demo image tree beside the .exe), and a port that does not exist.
. scripts/wine-session.sh
exe=${ZF_ZFLASH_EXE:-$ZF_WINBUILD/bin/zflash.exe}
zf_need "$exe" zflash-wine && zf_need "$ZF_ZSIM" zflash-wine || exit 1
com=${ZF_ZFLASH_COM:-COM8}
log=$ZF_LOGS/zflash-wine.log
passed=0 failed=0

# check LABEL EXPECTED-STATUS STATUS OUTPUT-FILE [TEXT...]: every TEXT must be in the output.
check() {
    local label=$1 want=$2 got=$3 out=$4 ok=1 text
    shift 4
    [ "$got" -eq "$want" ] || { echo "$label: exit status $got, expected $want" >&2; ok=0; }
    for text in "$@"; do
        grep -qF -- "$text" "$out" || { echo "$label: missing \"$text\"" >&2; ok=0; }
    done
    if [ $ok -eq 1 ]; then passed=$((passed + 1)); echo "PASS $label"; else failed=$((failed + 1)); echo "FAIL $label"; fi
}

zf_wine_session zflash-wine && zf_wine_session_device "$com" device || exit 1
work=$ZF_WINE_WORK
: >"$log"

zf_wine_run 120 "$exe" ports >"$work/ports.txt"
check zflash-wine-ports 0 $? "$work/ports.txt" "$com"

zf_wine_run 600 "$exe" --json program --port "$com" >"$work/program.json" 2>"$work/program.err"
check zflash-wine-program 0 $? "$work/program.json" '"outcome": "success"' \
    '"loaderBaud": 921600' '"before": "v1.0.0   VKT-3 (VKT3K)' '"after": "v1.10.3   VKT-3 (VKT3K)'

zf_wine_run 120 "$exe" capture --port COM99 >"$work/missing.txt" 2>&1
check zflash-wine-missing-port 3 $? "$work/missing.txt" "COM99 does not exist."

cat "$work/ports.txt" "$work/program.json" "$work/program.err" "$work/missing.txt" >>"$log"
zf_report "$passed" "$failed" zflash-wine
[ "$failed" -eq 0 ]
