# Windows build: the unit tests under Wine.
. scripts/test-lib.sh
. scripts/wine-env.sh
exe=build/windows/tests/zf_unit_tests.exe
zf_need "$exe" wine-unit || exit 1
trap zf_wine_cleanup EXIT
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start || { zf_report 0 1 wine-setup; exit 1; }
log=$ZF_LOGS/wine-unit.log
zf_wine_run 900 "$exe" | tee "$log"
zf_report_gtest wine-unit "${PIPESTATUS[0]}" "$log"
