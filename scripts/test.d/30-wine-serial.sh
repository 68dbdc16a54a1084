# Windows build: the Win32 serial port and the target library under Wine,
# against the simulated device on a pty mapped as a Wine COM port.
. scripts/test-lib.sh
. scripts/wine-env.sh
exe=build/windows/tests/zf_wine_tests.exe
zsim=build/native/tools/zsim/zsim
zf_need "$exe" wine-serial && zf_need "$zsim" wine-serial || exit 1
com=${ZF_WINE_COM:-COM7}
export ZF_TEST_COM=$com ZF_TEST_HW=${ZF_TEST_HW:-VKT3K}
work=$(mktemp -d)
zsim_pid=

cleanup() {
    zf_wine_unmap_com "$com"
    # Wine first: the pty must outlive every Wine handle on it.
    zf_wine_cleanup
    if [ -n "$zsim_pid" ]; then
        kill "$zsim_pid" 2>/dev/null
        timeout 10 tail --pid="$zsim_pid" -f /dev/null || kill -9 "$zsim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

start_zsim() {
    "$zsim" --link "$work/device" >"$work/zsim.log" 2>&1 &
    zsim_pid=$!
    local i
    for i in $(seq 100); do
        grep -q '^zsim: device on ' "$work/zsim.log" && return 0
        kill -0 "$zsim_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "zsim did not start:" >&2; cat "$work/zsim.log" >&2
    return 1
}

start_zsim || { zf_report 0 1 wine-serial-zsim; exit 1; }
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && zf_wine_map_com "$com" "$work/device" \
    || { zf_report 0 1 wine-serial-setup; exit 1; }
log=$ZF_LOGS/wine-serial.log
zf_wine_run 600 "$exe" | tee "$log"
zf_report_gtest wine-serial "${PIPESTATUS[0]}" "$log"
