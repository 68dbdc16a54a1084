# Native build: the fault-injection matrix (tests/workflow/test_fault_matrix.cpp),
# the ctest tests labelled faultmatrix. Each cell runs the workers against its
# own simulated device in its own process and its own folder, and writes its
# own row file; the cells wait out real erase time-outs (30 s per attempt)
# rather than compute, so four per core run at a time (ZF_CTEST_JOBS sets
# another number): enough for the longest cells to run side by side, so the
# step takes about as long as the longest cell, and few enough that their
# starts do not crowd the processor (every cell at once made replies late by
# more than a block's 300 ms under load). The step runs beside the others; a
# plain ctest run skips the cells. The table
# test runs after the cells (a ctest fixture's cleanup): it checks that every
# cell left its row, prints the matrix and keeps it as
# $ZF_LOGS/fault-matrix.txt.
# zf-step: beside native
. scripts/test-lib.sh
dir=${ZF_NATIVE_DIR:-build/native}
zf_need "$dir/CTestTestfile.cmake" fault-matrix || exit 1
rows=$ZF_LOGS/fault-matrix.rows
rm -rf "$rows" "$ZF_LOGS/fault-matrix.txt" && mkdir -p "$rows" || exit 1
export ZF_FAULT_MATRIX=$rows ZF_LOGS

ZF_CTEST_JOBS=${ZF_CTEST_JOBS:-$((4 * $(nproc)))} ZF_CTEST_TIMEOUT=900 zf_ctest fault-matrix "$dir" -L '^faultmatrix$'
cat "$ZF_LOGS/fault-matrix.txt" 2>/dev/null || echo "fault-matrix: no table was written" >&2
