# Windows build: zflash.exe under Wine against simulated devices on ptys
# mapped as Wine COM ports: the port list, one program run end to end (with
# the demo image tree beside the .exe), a port that does not exist, and a
# gang of two devices at once with a record of each. The first port is given
# an FTDI adapter in the registry (a device key with the port's name and a
# 16 ms latency timer, as the FTDI driver keeps them): the list shows the
# adapter and its timer, and programming warns once about it. Arguments that
# are not ASCII reach zflash.exe whole (a root folder named "Zelvo Prüf Жук"),
# and an image replaced while zflash.exe waits for the device is programmed as
# it was read before (the device is plugged into its fixture only after the
# swap, through the simulator's control FIFO). A station serves its metrics
# through Winsock: a scrape answers while it waits for its unit. A station's
# supervisor killed outright leaves no worker behind.
# zf-step: beside
. scripts/wine-session.sh
exe=${ZF_ZFLASH_EXE:-$ZF_WINBUILD/bin/zflash.exe}
zf_need "$exe" zflash-wine && zf_need "$ZF_ZSIM" zflash-wine || exit 1
com=${ZF_ZFLASH_COM:-COM8} com2=COM9 com3=COM10 com4=COM11 com5=COM12 com6=COM13 com7=COM14 com8=COM15
com9=COM16
export ZF_CHECK_LOG=$ZF_LOGS/zflash-wine.log
: >"$ZF_CHECK_LOG"
ftdi='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+ZFWINE1A'

zf_wine_session zflash-wine && work=$ZF_WINE_WORK && zf_wine_session_device "$com" device \
    && zf_wine_session_device "$com2" second && zf_wine_session_device "$com3" third \
    && zf_wine_session_device "$com4" fixture --unit name=dut --control "$work/fixture.ctl" \
    && zf_wine_session_device "$com5" station-a --unit 2*fw=old --auto-swap 1500 --plug-pause-ms 100-300 \
    && zf_wine_session_device "$com6" station-b --unit fw=old --unit fw=blank --auto-swap 1500 --plug-pause-ms 100-300 \
    && zf_wine_session_device "$com7" metrics --unit name=m1,fw=old --control "$work/metrics.ctl" \
    && zf_wine_session_device "$com8" silent-a --no-announce && zf_wine_session_device "$com9" silent-b --no-announce \
    || exit 1
zf_wine_session_on_exit "timeout 60 wine reg delete '$ftdi' /f >/dev/null 2>&1"
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

# A root folder whose name is not ASCII, given on the command line.
bin=$(dirname "$exe")
root="$work/Zelvo Prüf Жук"
mkdir -p "$root" && cp -r "$bin/flashloader" "$bin/firmware" "$root/"
zf_wine_run 120 "$exe" --root "$(zf_winpath "$root")" list --hw VKT3K >"$work/unicode.txt"
zf_check zflash-wine-unicode-root 0 $? "$work/unicode.txt" "vkt3k_fw_v1_10_3.bin"

# The image is read once, before the device is awaited: replaced meanwhile,
# the device still gets the bytes that were checked, and the record says so.
waitfor() { local i; for i in $(seq 600); do grep -q "$1" "$2" 2>/dev/null && return 0; sleep 0.1; done; return 1; }
echo out >"$work/fixture.ctl" && waitfor 'unit dut taken out' "$work/fixture.log"
cp "$bin/firmware/VKT3/VKT3K/vkt3k_fw_v1_9_7.bin" "$work/hotfix.bin"
checked=$(sha256sum "$work/hotfix.bin" | cut -d' ' -f1)
(zf_wine_run 600 "$exe" --log "$(zf_winpath "$work/swap.jsonl")" program --port "$com4" \
    --image "$(zf_winpath "$work/hotfix.bin")" >"$work/swap.txt"; echo $? >"$work/swap.rc") &
waitfor 'Waiting for target' "$work/swap.txt"
cp "$bin/firmware/VKTQ1/vktq1_fw_v1_10_3.bin" "$work/hotfix.bin"
echo reseat >"$work/fixture.ctl"
waitfor . "$work/swap.rc"
echo stats >"$work/fixture.ctl" && waitfor 'unit dut .*version=1.9.7' "$work/fixture.log"
zf_check zflash-wine-image-swap 0 "$(cat "$work/swap.rc" 2>/dev/null || echo 99)" "$work/swap.jsonl" \
    "\"sha256\":\"$checked\"" '"version":"1.9.7"}' '"result":"ok"'
zf_verdict zflash-wine-image-swap-device "$(grep -c 'unit dut .*version=1.9.7' "$work/fixture.log")"

# A station of two ports, two units each, taken one after another.
zf_wine_run 600 "$exe" --log "$(zf_winpath "$work/station.jsonl")" --progress plain station --count 4 \
    --port "$com5" --port "$com6" >"$work/station.txt" 2>&1
zf_check zflash-wine-station 0 $? "$work/station.txt" "[$com5] done v1.10.3" "[$com6] done v1.10.3"
# The summary's row of the whole station: 4 units, 4 ok, none current or failed.
zf_verdict zflash-wine-station-summary "$(awk '$1 == "all" && $2 == 4 && $3 == 4 && $4 == 0 && $5 == 0 {n++} END {print n + 0}' \
    "$work/station.txt")"
zf_verdict zflash-wine-station-records "$([ "$(grep -c '"result":"ok"' "$work/station.jsonl" 2>/dev/null)" = 4 ] \
    && /usr/bin/python3 scripts/validate-records "$work/station.jsonl" >/dev/null && echo 1 || echo 0)"
# A supervisor killed outright takes its workers with it (they are in its
# job object): none lives on to hold a port. Its devices never announce, so
# both workers are waiting when it dies.
workers() { pgrep -f "zflash.exe --events --supervisor" | wc -l; }
(zf_wine_run 120 "$exe" --progress plain station --port "$com8" --port "$com9" >"$work/killed.txt" 2>&1) &
killed=$!
for i in $(seq 300); do [ "$(workers)" -ge 2 ] && grep -q "\[$com9\] waiting for a unit" "$work/killed.txt" && break; sleep 0.1; done
started=$(workers)
pkill -KILL -f "zflash.exe --progress plain station --port $com8"
for i in $(seq 100); do [ "$(workers)" -eq 0 ] && break; sleep 0.1; done
zf_verdict zflash-wine-workers-end-with-supervisor "$([ "$started" -ge 2 ] && [ "$(workers)" -eq 0 ] && echo 1 || echo 0)"
wait "$killed"

# A station's metrics through Winsock: scraped while it waits for its unit
# (taken out of the fixture first), then the unit goes back in and the
# station, bound to one unit, takes it and ends.
echo out >"$work/metrics.ctl" && waitfor 'unit m1 taken out' "$work/metrics.log"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(zf_wine_run 600 "$exe" --log "$(zf_winpath "$work/metrics.jsonl")" --progress plain station --count 1 \
    --metrics "127.0.0.1:$port" --port "$com7" >"$work/metrics-station.txt"; echo $? >"$work/metrics-station.rc") &
python3 - "$port" "$work/metrics-scrape.txt" <<'PY'
import sys, time, urllib.request
deadline = time.time() + 120
while time.time() < deadline:
    try:
        with urllib.request.urlopen("http://127.0.0.1:%s/metrics" % sys.argv[1], timeout=5) as answer:
            body = answer.read()
        if b"zflash_port_up" in body:
            open(sys.argv[2], "wb").write(body)
            sys.exit(0)
    except OSError:
        pass
    time.sleep(0.2)
sys.exit(1)
PY
zf_check zflash-wine-metrics 0 $? "$work/metrics-scrape.txt" 'zflash_build_info{version="' \
    "zflash_port_up{port=\"$com7\"} 1" "zflash_units_total{port=\"$com7\",result=\"ok\"} 0"
if command -v promtool >/dev/null; then
    promtool check metrics <"$work/metrics-scrape.txt" >"$work/metrics-promtool.txt" 2>&1
    zf_check zflash-wine-metrics-promtool 0 $? "$work/metrics-promtool.txt"
fi
echo reseat >"$work/metrics.ctl"
waitfor . "$work/metrics-station.rc"
zf_check zflash-wine-metrics-station 0 "$(cat "$work/metrics-station.rc" 2>/dev/null || echo 99)" \
    "$work/metrics-station.txt" "serving metrics at http://127.0.0.1:$port/metrics" "[$com7] done v1.10.3"

zf_report "$ZF_CHECKS_PASSED" "$ZF_CHECKS_FAILED" zflash-wine
[ "$ZF_CHECKS_FAILED" -eq 0 ]
