# One Wine session for a test step (scripts/test.d/): the project's prefix, a
# private Xvfb, a running wineserver, simulated devices mapped as COM ports,
# and all of it stopped again when the step exits. Source it from the step:
#
#   zf_wine_session LABEL               start the session; on failure reports
#                                       "LABEL-setup" failed and returns 1
#   zf_wine_session_device COMn NAME [ZSIM-OPTIONS...]
#                                       zsim on the pty link $ZF_WINE_WORK/NAME
#                                       (log NAME.log), mapped as COMn
#   zf_wine_session_on_exit COMMAND     run COMMAND first when the session ends
#   zf_wine_ctest LABEL CTEST-LABEL [SECONDS]
#                                       run the Windows build's ctest tests of
#                                       CTEST-LABEL (each a googletest program
#                                       under Wine); counts from googletest's
#                                       XML, reported as LABEL
#   zf_winpath PATH                     PATH as Wine names it (Z:\...)
#
#   ZF_WINE_WORK   the session's scratch folder, removed at the end
#   ZF_WINBUILD    the Windows build (default build/windows)
#
# One session at a time uses the prefix: a session waits for the one before
# to end (a lock in the prefix), so steps of two lanes never share Wine.
#
# The end, in this order: the step's own commands, the COM mappings, Wine
# (before the simulators: a pty must outlive every Wine handle on it), Xvfb,
# the simulators (their logs kept as $ZF_LOGS/LABEL-zsim-NAME.log), the
# scratch folder.
. scripts/test-lib.sh
. scripts/wine-env.sh

ZF_WINBUILD=${ZF_WINBUILD:-build/windows}
ZF_WINE_WORK=
ZF_WINE_COMS=()
ZF_WINE_ON_EXIT=()

zf_winpath() { local p=$1; echo "Z:${p//\//\\}"; }

zf_wine_session_on_exit() { ZF_WINE_ON_EXIT+=("$1"); }

zf_wine_session_end() {
    local cmd com log
    for cmd in "${ZF_WINE_ON_EXIT[@]}"; do eval "$cmd"; done
    for com in "${ZF_WINE_COMS[@]}"; do zf_wine_unmap_com "$com"; done
    zf_wine_cleanup
    zf_zsim_stop_all
    if [ -n "$ZF_WINE_WORK" ]; then
        for log in "$ZF_WINE_WORK"/*.log; do  # the simulators' logs
            [ -e "$log" ] && cp "$log" "$ZF_LOGS/$ZF_WINE_LABEL-zsim-$(basename "$log")"
        done
        rm -rf "$ZF_WINE_WORK"
    fi
    # Unlocked for every holder: the daemons started in the session inherited it.
    [ -n "${ZF_WINE_LOCK:-}" ] && flock -u "$ZF_WINE_LOCK"
    ZF_WINE_WORK= ZF_WINE_COMS=() ZF_WINE_ON_EXIT=()
}

zf_wine_session() {
    ZF_WINE_LABEL=$1
    ZF_WINE_WORK=$(mktemp -d)
    trap zf_wine_session_end EXIT
    trap 'exit 143' TERM INT  # a step stopped by its time limit still cleans up
    mkdir -p "$WINEPREFIX" && exec {ZF_WINE_LOCK}>"$WINEPREFIX/.zf-session.lock" && flock "$ZF_WINE_LOCK" || {
        zf_report 0 1 "$ZF_WINE_LABEL-setup"
        return 1
    }
    zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && return 0
    zf_report 0 1 "$ZF_WINE_LABEL-setup"
    return 1
}

zf_wine_session_device() {
    local com=$1 name=$2
    shift 2
    if ! zf_zsim_start "$ZF_WINE_WORK/$name" "$@"; then
        zf_report 0 1 "$ZF_WINE_LABEL-zsim"
        return 1
    fi
    ZF_WINE_COMS+=("$com")
    zf_wine_map_com "$com" "$ZF_WINE_WORK/$name" && return 0
    zf_report 0 1 "$ZF_WINE_LABEL-setup"
    return 1
}

zf_wine_ctest() {
    local label=$1 layer=$2 secs=${3:-1200} xml=$ZF_LOGS/$1.xml log=$ZF_LOGS/$1.log
    rm -f "$xml"
    GTEST_OUTPUT="xml:$(zf_winpath "$xml")" timeout -k 30 "$secs" \
        ctest --test-dir "$ZF_WINBUILD" -L "^$layer\$" -V 2>&1 | zf_strip_cr | tee "$log"
    zf_report_junit "$label" "${PIPESTATUS[0]}" "$xml"
}
