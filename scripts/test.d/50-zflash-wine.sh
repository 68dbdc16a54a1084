# Windows build: zflash.exe under Wine against simulated devices on ptys
# mapped as Wine COM ports: the port list, one program run end to end (with
# the demo image tree beside the .exe), a port that does not exist, and a
# gang of two devices at once with a record of each. The first port is given
# an FTDI adapter in the registry (a device key with the port's name and a
# 16 ms latency timer, as the FTDI driver keeps them): the list shows the
# adapter and its timer, and programming warns once about it.
# zf-step: beside
. scripts/wine-session.sh
exe=${ZF_ZFLASH_EXE:-$ZF_WINBUILD/bin/zflash.exe}
zf_need "$exe" zflash-wine && zf_need "$ZF_ZSIM" zflash-wine || exit 1
com=${ZF_ZFLASH_COM:-COM8} com2=COM9 com3=COM10
export ZF_CHECK_LOG=$ZF_LOGS/zflash-wine.log
: >"$ZF_CHECK_LOG"
ftdi='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+ZFWINE1A'

zf_wine_session zflash-wine && zf_wine_session_device "$com" device \
    && zf_wine_session_device "$com2" second && zf_wine_session_device "$com3" third || exit 1
zf_wine_session_on_exit "timeout 60 wine reg delete '$ftdi' /f >/dev/null 2>&1"
work=$ZF_WINE_WORK
zf_wine_reg_add "$ftdi\0000\Device Parameters" /v PortName /d "$com" &&
    zf_wine_reg_add "$ftdi\0000\Device Parameters" /v LatencyTimer /t REG_DWORD /d 16 \
    || { zf_report 0 1 zflash-wine-ftdi-entry; exit 1; }

zf_wine_run 120 "$exe" ports >"$work/ports.txt"
zf_check zflash-wine-ports 0 $? "$work/ports.txt" "$com" "[0403:6001]  serial ZFWINE1  latency timer 16 ms"

zf_wine_run 600 "$exe" --json program --port "$com" >"$work/program.json" 2>"$work/program.err"
zf_check zflash-wine-program 0 $? "$work/program.json" '"outcome": "success"' \
    '"loaderBaud": 921600' '"version": "1.0.0"' '"version": "1.10.3"' '"adapter": "ZFWINE1"'
# Exactly one warning (zf_wine_run passes standard error on with standard
# output): its count takes the place of an exit status.
warnings=$(grep -c "^zflash: warning: the USB serial adapter of $com (FTDI) passes received bytes on only every 16 ms" \
    "$work/program.json")
zf_check zflash-wine-ftdi-warning 1 "$warnings" "$work/program.json" "Device Manager, Ports (COM & LPT)" \
    "take about 2.3 times as long as the line needs"

zf_wine_run 120 "$exe" capture --port COM99 >"$work/missing.txt" 2>&1
zf_check zflash-wine-missing-port 3 $? "$work/missing.txt" "COM99 does not exist."

# Two devices at once: one worker process each, a summary, two records.
zf_wine_run 600 "$exe" --log "$(zf_winpath "$work/line.jsonl")" program --port "$com2" --port "$com3" \
    >"$work/gang.txt" 2>&1
zf_check zflash-wine-gang 0 $? "$work/gang.txt" "$com2" "$com3" "v1.0.0 -> v1.10.3  ok"
records=$(grep -c '"result":"ok"' "$work/line.jsonl" 2>/dev/null)
zf_verdict zflash-wine-gang-records "$([ "${records:-0}" -eq 2 ] && echo 1 || echo 0)"

zf_report "$ZF_CHECKS_PASSED" "$ZF_CHECKS_FAILED" zflash-wine
[ "$ZF_CHECKS_FAILED" -eq 0 ]
