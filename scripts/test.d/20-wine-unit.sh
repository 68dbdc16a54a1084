# Windows build: the unit tests (zf_unit_tests.exe) under Wine.
# zf-step: beside
. scripts/wine-session.sh
zf_need "$ZF_WINBUILD/tests/zf_unit_tests.exe" wine-unit || exit 1
zf_wine_session wine-unit || exit 1
zf_wine_ctest wine-unit unit 900
