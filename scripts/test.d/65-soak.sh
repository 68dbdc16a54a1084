# The shift soak (scripts/soak, tests/soak/): first its own checks without a
# station (tests/soak/test_*.py: every invariant breaks on its fault and only
# then), then a whole station on simulated fixtures with random units and
# random events, checked against every invariant after each run, for about
# two minutes (ZF_SOAK_MINUTES) from seed 9200 (ZF_SOAK_SEED gives another). Mostly waits on the simulated lines, so it runs beside the others. A
# broken run prints its seed and the command that replays it; its logs stay
# in $ZF_LOGS/soak/seed-N.
# zf-step: beside native
. scripts/test-lib.sh
zf_need build/native/bin/zflash soak || exit 1
zf_need build/native/tools/zsim/zsim soak || exit 1
if /usr/bin/python3 -B -m unittest discover -s tests/soak -p 'test_*.py' >"$ZF_LOGS/soak-self-test.log" 2>&1; then
    zf_report 1 0 soak-self-test
else
    cat "$ZF_LOGS/soak-self-test.log"
    zf_report 0 1 soak-self-test
fi
log=$ZF_LOGS/soak.log
# The test run replays the first runs of the soaked hour (seed 9200: every
# run kept every invariant), so that it judges the code, not a new draw;
# ZF_SOAK_SEED=random draws one, as scripts/soak does by itself.
seed=(--seed "${ZF_SOAK_SEED:-9200}")
[ "${ZF_SOAK_SEED:-}" = random ] && seed=()
ZF_NO_BUILD=1 zf_timed run scripts/soak --minutes "${ZF_SOAK_MINUTES:-2}" "${seed[@]}" --logs "$ZF_LOGS/soak" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
passed=$(grep -c '^run seed .*: ok$' "$log")
failed=$(grep -c '^run seed .*: BROKEN ' "$log")
zf_report_counts soak "$status" "$passed" "$failed"
