# The Windows program end to end: ZelvoFlashUpdate.exe under Wine and Xvfb,
# driven from outside by zf_gui_e2e.exe, against five simulated devices on
# ptys mapped as Wine COM ports (a VKT-3 (VKT3K) with a slow erase at the
# line's real speed, so the busy states can be watched; one that never
# announces itself; a second and a third such VKT-3 (VKT3K), which the
# keyboard's tests and the tests that close the window mid-run program; and
# a quick one for the random-order test, whose counters that test reads
# through the simulator's control FIFO). A second copy of the program runs
# from a folder whose name is not ASCII. Screenshots go to artifacts/gui-e2e/.
# The random-order test runs last, as its own part (gui-random).
#   ZF_E2E_WINBUILD      Windows build folder (default build/windows)
#   ZF_E2E_ZSIM          the simulator (default build/native/tools/zsim/zsim)
#   ZF_E2E_RANDOM_STEPS  steps of the random-order test (default 300, about
#                        90 s); its time limit grows with them
#   ZF_E2E_RANDOM_SEED   replays the random order of that seed
# zf-step: beside
. scripts/wine-session.sh
ZF_WINBUILD=${ZF_E2E_WINBUILD:-$ZF_WINBUILD}
ZF_ZSIM=${ZF_E2E_ZSIM:-$ZF_ZSIM}
zf_need "$ZF_WINBUILD/bin/ZelvoFlashUpdate.exe" gui-e2e && zf_need "$ZF_WINBUILD/tests/e2e/zf_gui_e2e.exe" gui-e2e \
    && zf_need "$ZF_ZSIM" gui-e2e && zf_need "$ZF_WINBUILD/bin/README.txt" gui-e2e || exit 1
zf_wine_session gui-e2e || exit 1
# The window at 144 DPI is larger than the usual 800x600 desktop: this
# step's desktop is the whole screen (Wine restarts with it when the ports
# are mapped below). A run stopped half-way may have left the prefix at 144
# DPI: every run starts at 96.
zf_wine_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 || exit 1
timeout 60 wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
work=$ZF_WINE_WORK
# The window's file of records (one per Program run): this run's start afresh,
# and each of them is checked against the published schema at the end.
window_records() { ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/Zelvo/Flash\ Update/records.jsonl 2>/dev/null; }
rm -f "$(window_records)"
shots=$work/shots artifacts=$ZF_REPO/artifacts/gui-e2e
names_app="$work/Zelvo Prüf Жук"
mkdir -p "$work/app" "$names_app" "$work/images" "$shots" "$artifacts"

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

# Erase 1.5 s, for the driver to close the window during; the line runs at
# its real speed (wire time), so programming and verifying each take over
# half a second, long enough to watch. No reply is made late: a program
# block answered after its time-out is sent again, and the device writes it
# twice (the verification then fails, as it should).
zf_wine_session_device COM5 device --log --hw VKT3K --wire-time --erase-ms 1500 \
    && zf_wine_session_device COM6 silent --hw VKT3K --no-announce \
    && zf_wine_session_device COM7 keys --hw VKT3K --wire-time --erase-ms 1500 \
    && zf_wine_session_device COM8 order --hw VKT3K --wire-time --erase-ms 1500 \
    && zf_wine_session_device COM9 random --hw VKT3K --erase-ms 300 --control "$work/random.ctl" || exit 1
cp -r "$ZF_WINBUILD/bin/." "$work/app/"
cp -r "$ZF_WINBUILD/bin/." "$names_app/"
watch_shots &
zf_wine_session_on_exit "kill $!"

export ZF_E2E_APP ZF_E2E_NAMES_APP ZF_E2E_COM=COM5 ZF_E2E_SILENT_COM=COM6 ZF_E2E_KEYS_COM=COM7 ZF_E2E_WORK ZF_E2E_SHOTS \
    ZF_E2E_SIM_LOG ZF_E2E_ORDER_COM=COM8 ZF_E2E_RANDOM_COM=COM9 ZF_E2E_RANDOM_CONTROL ZF_E2E_RANDOM_OUT
ZF_E2E_APP=$(zf_winpath "$work/app/ZelvoFlashUpdate.exe")
ZF_E2E_NAMES_APP=$(zf_winpath "$names_app/ZelvoFlashUpdate.exe")
ZF_E2E_WORK=$(zf_winpath "$work/images")
ZF_E2E_SHOTS=$(zf_winpath "$shots")
ZF_E2E_SIM_LOG=$(zf_winpath "$work/device.log")
ZF_E2E_RANDOM_CONTROL=$(zf_winpath "$work/random.ctl")
ZF_E2E_RANDOM_OUT=$(zf_winpath "$work/random.log")
zf_wine_ctest gui-e2e gui 600
zf_wine_ctest gui-random guirandom $((300 + ${ZF_E2E_RANDOM_STEPS:-300}))
# Every record the window wrote follows the schema.
records=$(window_records)
if [ -s "$records" ] && /usr/bin/python3 scripts/validate-records "$records" >"$ZF_LOGS/gui-e2e-records.log" 2>&1; then
    zf_report 1 0 gui-e2e-records
else
    zf_report 0 1 gui-e2e-records
fi
cp "$work/images/app-trace.txt" "$ZF_LOGS/gui-e2e-app-trace.log" 2>/dev/null
cp "$work/device.log" "$ZF_LOGS/gui-e2e-device.log" 2>/dev/null
