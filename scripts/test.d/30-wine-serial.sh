# Windows build: the Win32 serial port and the target library under Wine,
# against the simulated device on a pty mapped as a Wine COM port.
. scripts/test-lib.sh
. scripts/wine-env.sh
exe=build/windows/tests/zf_wine_tests.exe
zf_need "$exe" wine-serial && zf_need "$ZF_ZSIM" wine-serial || exit 1
com=${ZF_WINE_COM:-COM7}
export ZF_TEST_COM=$com ZF_TEST_HW=VKT3W
work=$(mktemp -d)

trap 'zf_end_wine_session "$work" "$com"' EXIT

zf_zsim_start "$work/device" --hw "$ZF_TEST_HW" || { zf_report 0 1 wine-serial-zsim; exit 1; }
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && zf_wine_map_com "$com" "$work/device" \
    || { zf_report 0 1 wine-serial-setup; exit 1; }
log=$ZF_LOGS/wine-serial.log
zf_wine_run 600 "$exe" | tee "$log"
zf_report_gtest wine-serial "${PIPESTATUS[0]}" "$log"
