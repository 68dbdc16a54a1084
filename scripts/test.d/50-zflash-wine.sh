# Windows build: zflash.exe under Wine against the simulated device on a pty
# mapped as a Wine COM port: the port list, one program run end to end (with
# the demo image tree beside the .exe), and a port that does not exist.
. scripts/test-lib.sh
. scripts/wine-env.sh
exe=${ZF_ZFLASH_EXE:-build/windows/bin/zflash.exe}
zsim=${ZF_ZSIM:-build/native/tools/zsim/zsim}
zf_need "$exe" zflash-wine && zf_need "$zsim" zflash-wine || exit 1
com=${ZF_ZFLASH_COM:-COM8}
work=$(mktemp -d)
log=$ZF_LOGS/zflash-wine.log

trap 'zf_end_wine_session "$work" "$com"' EXIT

zf_zsim_start "$work/device" || { zf_report 0 1 zflash-wine-zsim; exit 1; }
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && zf_wine_map_com "$com" "$work/device" \
    || { zf_report 0 1 zflash-wine-setup; exit 1; }
: >"$log"

zf_wine_run 120 "$exe" ports >"$work/ports.txt"
zf_check zflash-wine-ports 0 $? "$work/ports.txt" "$com"

zf_wine_run 600 "$exe" --json program --port "$com" >"$work/program.json" 2>"$work/program.err"
zf_check zflash-wine-program 0 $? "$work/program.json" '"outcome": "success"' \
    '"loaderBaud": 921600' '"before": "v1.0.0   VKT-3 (VKT3K)' '"after": "v1.10.3   VKT-3 (VKT3K)'

zf_wine_run 120 "$exe" capture --port COM99 >"$work/missing.txt" 2>&1
zf_check zflash-wine-missing-port 3 $? "$work/missing.txt" "COM99 does not exist."

cat "$work/ports.txt" "$work/program.json" "$work/program.err" "$work/missing.txt" >>"$log"
zf_report "$ZF_CHECKS_PASSED" "$ZF_CHECKS_FAILED" zflash-wine
[ "$ZF_CHECKS_FAILED" -eq 0 ]
