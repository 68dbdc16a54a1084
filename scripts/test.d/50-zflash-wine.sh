# Windows build: zflash.exe under Wine against the simulated device on a pty
# mapped as a Wine COM port: the port list, one program run end to end (with
# the demo image tree beside the .exe), and a port that does not exist. The
# port is given an FTDI adapter in the registry (a device key with the port's
# name and a 16 ms latency timer, as the FTDI driver keeps them): the list
# shows the adapter and its timer, and programming warns once about it.
. scripts/test-lib.sh
. scripts/wine-env.sh
exe=${ZF_ZFLASH_EXE:-build/windows/bin/zflash.exe}
zsim=${ZF_ZSIM:-build/native/tools/zsim/zsim}
zf_need "$exe" zflash-wine && zf_need "$zsim" zflash-wine || exit 1
com=${ZF_ZFLASH_COM:-COM8}
work=$(mktemp -d)
log=$ZF_LOGS/zflash-wine.log
passed=0 failed=0

ftdi='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+ZFWINE1A'

cleanup() {
    timeout 60 wine reg delete "$ftdi" /f >/dev/null 2>&1
    zf_wine_unmap_com "$com"
    zf_wine_cleanup  # Wine first: the pty must outlive every Wine handle on it
    zf_zsim_stop_all
    rm -rf "$work"
}
trap cleanup EXIT

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

zf_zsim_start "$work/device" || { zf_report 0 1 zflash-wine-zsim; exit 1; }
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && zf_wine_map_com "$com" "$work/device" \
    || { zf_report 0 1 zflash-wine-setup; exit 1; }
: >"$log"
zf_wine_reg_add "$ftdi\0000\Device Parameters" /v PortName /d "$com" &&
    zf_wine_reg_add "$ftdi\0000\Device Parameters" /v LatencyTimer /t REG_DWORD /d 16 \
    || { zf_report 0 1 zflash-wine-ftdi-entry; exit 1; }

zf_wine_run 120 "$exe" ports >"$work/ports.txt"
check zflash-wine-ports 0 $? "$work/ports.txt" "$com" "[0403:6001]  serial ZFWINE1  latency timer 16 ms"

zf_wine_run 600 "$exe" --json program --port "$com" >"$work/program.json" 2>"$work/program.err"
check zflash-wine-program 0 $? "$work/program.json" '"outcome": "success"' \
    '"loaderBaud": 921600' '"    v1.0.0   VKT-3 (VKT3K)' '"    v1.10.3   VKT-3 (VKT3K)' '"adapter": "ZFWINE1"'
# Exactly one warning (zf_wine_run passes standard error on with standard
# output): its count takes the place of an exit status.
warnings=$(grep -c "^zflash: warning: the USB serial adapter of $com (FTDI) passes received bytes on only every 16 ms" \
    "$work/program.json")
check zflash-wine-ftdi-warning 1 "$warnings" "$work/program.json" "Device Manager, Ports (COM & LPT)" \
    "take about 2.3 times as long as the line needs"

zf_wine_run 120 "$exe" capture --port COM99 >"$work/missing.txt" 2>&1
check zflash-wine-missing-port 3 $? "$work/missing.txt" "COM99 does not exist."

cat "$work/ports.txt" "$work/program.json" "$work/program.err" "$work/missing.txt" >>"$log"
zf_report "$passed" "$failed" zflash-wine
[ "$failed" -eq 0 ]
