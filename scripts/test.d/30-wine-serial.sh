# Windows build: the Win32 serial port and the target library under Wine
# (zf_wine_tests.exe), against the simulated device on a pty mapped as a Wine
# COM port.
# zf-step: beside
. scripts/wine-session.sh
zf_need "$ZF_WINBUILD/tests/zf_wine_tests.exe" wine-serial && zf_need "$ZF_ZSIM" wine-serial || exit 1
export ZF_TEST_COM=${ZF_WINE_COM:-COM7} ZF_TEST_HW=VKT3W
zf_wine_session wine-serial || exit 1
# The flash loader is deaf for 8 ms after it starts, as a real one that
# re-clocks its line: the first request at its rate must wait for that.
export ZF_TEST_LOADER_DEAF_MS=8
# Its event log tells a test when the device has seen the last one close the
# port (and power-cycled).
export ZF_TEST_SIM_LOG
ZF_TEST_SIM_LOG=$(zf_winpath "$ZF_WINE_WORK/device.log")
zf_wine_session_device "$ZF_TEST_COM" device --log --hw "$ZF_TEST_HW" --loader-deaf-ms "$ZF_TEST_LOADER_DEAF_MS" || exit 1
zf_wine_ctest wine-serial device 600
