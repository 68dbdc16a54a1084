# A line of stations against its real servers, started by the tests
# themselves (tests/line, scripts/install-deps line): PostgreSQL 15 (as the
# user "nobody" when run as root) for zflash records ingest and its views, and
# Prometheus scraping a station of simulated fixtures; promtool checks the
# scrape and the alert rules. One program, its servers started once; the
# cases are counted from googletest's XML.
# zf-step: beside native
. scripts/test-lib.sh
exe=build/native/tests/zf_line_tests
zf_need "$exe" line || exit 1
xml=$ZF_LOGS/line.xml
rm -f "$xml"
timeout -k 30 600 "$exe" --gtest_output="xml:$xml" 2>&1 | tee "$ZF_LOGS/line.log"
zf_report_junit line "${PIPESTATUS[0]}" "$xml"
