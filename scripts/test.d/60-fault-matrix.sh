# Native build: the fault-injection matrix (tests/workflow/test_fault_matrix.cpp),
# the ctest tests labelled faultmatrix. Each cell runs the workers against its
# own simulated device in its own process, two at a time; the cells wait out
# real erase time-outs (30 s per attempt), so they run here and skip in a
# plain ctest run. The table test runs after the cells (a ctest fixture's
# cleanup): it checks that every cell left its row, prints the matrix and
# keeps it as $ZF_LOGS/fault-matrix.txt.
. scripts/test-lib.sh
dir=${ZF_NATIVE_DIR:-build/native}
zf_need "$dir/CTestTestfile.cmake" fault-matrix || exit 1
rows=$ZF_LOGS/fault-matrix.rows
rm -rf "$rows" "$ZF_LOGS/fault-matrix.txt" && mkdir -p "$rows" || exit 1
export ZF_FAULT_MATRIX=$rows ZF_LOGS

ZF_CTEST_TIMEOUT=900 zf_ctest fault-matrix "$dir" -L '^faultmatrix$'
cat "$ZF_LOGS/fault-matrix.txt" 2>/dev/null || echo "fault-matrix: no table was written" >&2
