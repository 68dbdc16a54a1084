# Native build: the fault-injection matrix (tests/device/test_fault_matrix.cpp).
# Each cell runs the workers against its own simulated device in its own
# process, two at a time; the cells wait out real erase time-outs (30 s per
# attempt), so they run here and skip in the native ctest step. Then the
# matrix is printed and kept as $ZF_LOGS/fault-matrix.txt.
. scripts/test-lib.sh
dir=${ZF_NATIVE_DIR:-build/native}
bin=$dir/tests/zf_device_tests
zf_need "$dir/CTestTestfile.cmake" fault-matrix && zf_need "$bin" fault-matrix || exit 1
rows=$ZF_LOGS/fault-matrix.rows
rm -rf "$rows" && mkdir -p "$rows" || exit 1
export ZF_FAULT_MATRIX=$rows

log=$ZF_LOGS/fault-matrix-cells.log
timeout -k 30 900 ctest --test-dir "$dir" -R '^FaultMatrix/' -j2 --output-on-failure >"$log" 2>&1
status=$?
grep -E 'Test +#|tests passed|Total Test time' "$log"
[ $status -eq 0 ] || echo "fault-matrix: the failed cells' output is in $log"
zf_report_ctest fault-matrix "$status" "$log"

log=$ZF_LOGS/fault-matrix-table.log
timeout -k 10 60 "$bin" --gtest_filter='FaultMatrixTable.*' 2>&1 | tee "$log"
zf_report_gtest fault-matrix-table "${PIPESTATUS[0]}" "$log"
