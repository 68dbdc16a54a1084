# libFuzzer targets, each for a bounded time from the seed corpora
# (ZF_FUZZ_SECONDS, default 12; two targets run at a time).
. scripts/test-lib.sh
log=$ZF_LOGS/fuzz.log
zf_timed build scripts/build fuzz >"$ZF_LOGS/fuzz-build.log" 2>&1
zf_timed run timeout -k 30 900 scripts/fuzz "${ZF_FUZZ_SECONDS:-12}" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
passed=$(grep -c ': no finding in ' "$log")
failed=$(grep -c ': FINDING' "$log")
zf_report_counts fuzz "$status" "$passed" "$failed"
