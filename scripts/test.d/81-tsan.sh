# Native tree under ThreadSanitizer: every native test (the workflows and
# zflash run workers beside the thread that waits for their messages, and the
# simulated device runs on a thread of its own beside the host). A data race
# ends the test with an error status (halt_on_error). The fault matrix and
# the line's servers run in their own steps. The tests wait on their lines more than they compute: twice
# as many at a time as there are cores (ZF_CTEST_JOBS sets it), as
# scripts/stress runs them.
. scripts/test-lib.sh
dir=build/tsan

zf_timed build scripts/build tsan || { zf_report 0 1 tsan-build; exit 1; }
zf_need "$dir/CTestTestfile.cmake" tsan-ctest || exit 1
grep -q -- -fsanitize=thread "$dir/compile_commands.json" || {
    echo "tsan: the build in $dir is not compiled with -fsanitize=thread" >&2
    zf_report 0 1 tsan-flags
    exit 1
}

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

ZF_CTEST_JOBS=${ZF_CTEST_JOBS:-$((2 * $(nproc)))} zf_timed ctest zf_ctest tsan-ctest "$dir" -LE '^(faultmatrix|line)$'
