# The Windows program end to end: ZelvoFlashUpdate.exe under Wine and Xvfb,
# driven from outside by zf_gui_e2e.exe, against two simulated devices on
# ptys mapped as Wine COM ports (a VKT-3 (VKT3K) with a slow erase and slow
# programming, so the busy states can be watched, and one that never
# announces itself). A second copy of the program runs from a folder whose
# name is not ASCII. Screenshots go to artifacts/gui-e2e/.
#   ZF_E2E_WINBUILD  Windows build folder (default build/windows)
#   ZF_E2E_ZSIM      the simulator (default build/native/tools/zsim/zsim)
. scripts/test-lib.sh
. scripts/wine-env.sh
winbuild=${ZF_E2E_WINBUILD:-build/windows}
zsim=${ZF_E2E_ZSIM:-build/native/tools/zsim/zsim}
ZF_ZSIM=$zsim
driver=$winbuild/tests/e2e/zf_gui_e2e.exe
zf_need "$winbuild/bin/ZelvoFlashUpdate.exe" gui-e2e && zf_need "$driver" gui-e2e \
    && zf_need "$zsim" gui-e2e && zf_need "$winbuild/bin/README.txt" gui-e2e || exit 1
com=COM5 silent_com=COM6
work=$(mktemp -d)
shots=$work/shots artifacts=$ZF_REPO/artifacts/gui-e2e
names_app="$work/Zelvo Prüf Жук"
mkdir -p "$work/app" "$names_app" "$work/images" "$shots" "$artifacts"
watcher_pid=

cleanup() {
    [ -n "$watcher_pid" ] && kill "$watcher_pid" 2>/dev/null
    zf_wine_unmap_com "$com"
    zf_wine_unmap_com "$silent_com"
    # Wine first: the ptys must outlive every Wine handle on them.
    zf_wine_cleanup
    zf_zsim_stop_all
    rm -rf "$work"
}
trap cleanup EXIT

# Answers the driver's screenshot requests: NAME.req holds "x y w h".
watch_shots() {
    local req name x y w h
    while :; do
        for req in "$shots"/*.req; do
            [ -e "$req" ] || continue
            name=$(basename "$req" .req)
            read -r x y w h <"$req"
            import -window root -crop "${w}x${h}+${x}+${y}" +repage "$artifacts/$name.png" 2>/dev/null
            rm -f "$req"
            touch "$shots/$name.done"
        done
        sleep 0.1
    done
}

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# Erase 1.5 s and each programmed block answered 100 ms late: about 5 s of
# programming for the driver to watch and to close the window during. Bytes
# take their time on the line (--wire-time), so the verification lasts about
# half a second and its caption is seen. (Verify replies answered 100 ms late
# would meet the host's 100 ms verify time-out: a retry then shifts the
# device's verify position and fails the run.)
zf_zsim_start "$work/device" --log --hw VKT3K --erase-ms 1500 --wire-time --fault slow:190:0:all:1 \
    || { zf_report 0 1 gui-e2e-zsim; exit 1; }
zf_zsim_start "$work/silent" --hw VKT3K --no-announce || { zf_report 0 1 gui-e2e-zsim; exit 1; }
cp -r "$winbuild/bin/." "$work/app/"
cp -r "$winbuild/bin/." "$names_app/"
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start \
    && zf_wine_map_com "$com" "$work/device" && zf_wine_map_com "$silent_com" "$work/silent" \
    || { zf_report 0 1 gui-e2e-setup; exit 1; }
watch_shots &
watcher_pid=$!

export ZF_E2E_APP ZF_E2E_NAMES_APP ZF_E2E_COM=$com ZF_E2E_SILENT_COM=$silent_com ZF_E2E_WORK ZF_E2E_SHOTS ZF_E2E_SIM_LOG
ZF_E2E_APP=$(winpath "$work/app/ZelvoFlashUpdate.exe")
ZF_E2E_NAMES_APP=$(winpath "$names_app/ZelvoFlashUpdate.exe")
ZF_E2E_WORK=$(winpath "$work/images")
ZF_E2E_SHOTS=$(winpath "$shots")
ZF_E2E_SIM_LOG=$(winpath "$work/device.log")
log=$ZF_LOGS/gui-e2e.log
zf_wine_run 300 "$driver" | tee "$log"
status=${PIPESTATUS[0]}
cp "$work/images/app-trace.txt" "$ZF_LOGS/gui-e2e-app-trace.log" 2>/dev/null
cp "$work/device.log" "$ZF_LOGS/gui-e2e-device.log" 2>/dev/null
zf_report_gtest gui-e2e "$status" "$log"
