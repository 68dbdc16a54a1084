# Native tree under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer:
# every unit and device test through ctest. Any sanitizer report fails the
# test it happens in: ASan and LSan end the process with an error status, and
# the build makes every UBSan finding fatal (-fno-sanitize-recover=undefined).
# The fault-matrix cells are left to their own step, which gives them the
# folder of their table's rows, and so are the line's servers (55-line.sh). The tests wait on their lines more than they
# compute: twice as many at a time as there are cores (ZF_CTEST_JOBS sets it).
. scripts/test-lib.sh
dir=build/asan

zf_timed build scripts/build asan || { zf_report 0 1 asan-build; exit 1; }
zf_need "$dir/CTestTestfile.cmake" asan-ctest || exit 1

# The findings must stop the run rather than scroll past: check that the
# build really carries the flags, so a changed CMakeLists.txt cannot quietly
# turn this step into a plain test run.
for flag in -fsanitize=address,undefined -fno-sanitize-recover=undefined; do
    grep -q -- "$flag" "$dir/compile_commands.json" && continue
    echo "asan: the build in $dir is not compiled with $flag" >&2
    zf_report 0 1 asan-flags
    exit 1
done

export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=report_objects=1

ZF_CTEST_JOBS=${ZF_CTEST_JOBS:-$((2 * $(nproc)))} zf_timed ctest zf_ctest asan-ctest "$dir" -LE '^(faultmatrix|line)$'
