# Native build: every unit and device test through ctest.
. scripts/test-lib.sh
dir=build/native
zf_need "$dir/CTestTestfile.cmake" native-ctest || exit 1
log=$ZF_LOGS/native-ctest.log
timeout -k 30 1200 ctest --test-dir "$dir" -j2 --output-on-failure 2>&1 | tee "$log"
zf_report_ctest native-ctest "${PIPESTATUS[0]}" "$log"
