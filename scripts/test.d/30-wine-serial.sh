# Windows build: the Win32 serial port and the target library under Wine,
# against the simulated device on a pty mapped as a Wine COM port.
. scripts/test-lib.sh
. scripts/wine-env.sh
exe=build/windows/tests/zf_wine_tests.exe
zf_need "$exe" wine-serial && zf_need "$ZF_ZSIM" wine-serial || exit 1
com=${ZF_WINE_COM:-COM7}
export ZF_TEST_COM=$com ZF_TEST_HW=VKT3W
work=$(mktemp -d)

cleanup() {
    zf_wine_unmap_com "$com"
    zf_wine_cleanup
    zf_zsim_stop_all
    rm -rf "$work"
}
trap cleanup EXIT

# The flash loader is deaf for 8 ms after it starts, as a real one that
# re-clocks its line: the first request at its rate must wait for that.
export ZF_TEST_LOADER_DEAF_MS=8
zf_zsim_start "$work/device" --hw "$ZF_TEST_HW" --loader-deaf-ms "$ZF_TEST_LOADER_DEAF_MS" \
    || { zf_report 0 1 wine-serial-zsim; exit 1; }
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && zf_wine_map_com "$com" "$work/device" \
    || { zf_report 0 1 wine-serial-setup; exit 1; }
log=$ZF_LOGS/wine-serial.log
zf_wine_run 600 "$exe" | tee "$log"
zf_report_gtest wine-serial "${PIPESTATUS[0]}" "$log"
