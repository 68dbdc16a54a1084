# The packages as users get them. scripts/package builds them from the two
# build trees; then
#   Debian: dpkg -I and lintian; both packages unpacked into a throwaway root,
#     whose zflash (stripped, with its manual page and bash completion) finds
#     its images and programs the packaged zsim;
#   Windows: the MSI installed silently under Wine, its Start menu shortcut,
#     version resources and window checked by zf_install_e2e.exe, the installed
#     zflash.exe programming the simulator, then a silent uninstall that must
#     leave nothing behind.
# zf-step: beside
. scripts/wine-session.sh
zf_need build/native/CMakeCache.txt package && zf_need build/windows/tests/e2e/zf_install_e2e.exe package \
    || exit 1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
packages=$ZF_REPO/build/packages
# Where Wine would put menu entries of the Linux desktop for the shortcut.
xdg=$(mktemp -d)
export XDG_DATA_HOME=$xdg/data XDG_CONFIG_HOME=$xdg/config
zf_wine_session package || exit 1
zf_wine_session_on_exit "rm -rf '$xdg'"
work=$ZF_WINE_WORK
root=$work/root
log=$ZF_LOGS/package.log
com=COM9
msi=$packages/ZelvoFlashUpdate-$version.msi
installed="$WINEPREFIX/drive_c/Program Files/Zelvo/Zelvo Flash Update"
installed_win='C:\Program Files\Zelvo\Zelvo Flash Update'
ZF_CHECK_LOG=$log
: >"$log"

# missing LABEL PATH...: passes when none of the paths exists.
missing() {
    local label=$1 ok=1 p
    shift
    for p in "$@"; do
        [ -e "$p" ] && { echo "$label: $p is still there" >&2; ok=0; }
    done
    zf_verdict "$label" $ok
}

finish() {
    zf_report "$ZF_CHECKS_PASSED" "$ZF_CHECKS_FAILED" package
    exit $((ZF_CHECKS_FAILED > 0))
}

ZF_NO_BUILD=1 scripts/package >"$work/package.txt" 2>&1
zf_check package-build 0 $? "$work/package.txt" "zflash_${version}_" "zsim_${version}_" "ZelvoFlashUpdate-$version.msi"
[ "$ZF_CHECKS_FAILED" -eq 0 ] || finish
deb=$(ls "$packages"/zflash_"$version"_*.deb) simdeb=$(ls "$packages"/zsim_"$version"_*.deb)

# --- Debian -----------------------------------------------------------------
dpkg -I "$deb" >"$work/info.txt"
zf_check deb-control 0 $? "$work/info.txt" "Package: zflash" "Version: $version" "Depends: libc6" "libstdc++6" \
    "libpq5" "libcpp-httplib0.11" "Section: electronics"
dpkg -I "$simdeb" >"$work/siminfo.txt"
zf_check deb-control-zsim 0 $? "$work/siminfo.txt" "Package: zsim" "Version: $version" "Depends: libc6"
lintian --fail-on error "$deb" "$simdeb" >"$work/lintian.txt" 2>&1
zf_check deb-lintian 0 $? "$work/lintian.txt"

dpkg-deb -x "$deb" "$root" && dpkg-deb -x "$simdeb" "$root"
ls -R "$root" >"$work/files.txt"
zf_check deb-files 0 $? "$work/files.txt" usr/share/man/man1: zflash.1.gz zsim.1.gz \
    usr/share/bash-completion/completions: usr/share/zflash: README.txt flashloader firmware
zflash=$root/usr/bin/zflash
readelf -S "$zflash" >"$work/sections.txt"
! grep -qE '\.symtab|\.debug_' "$work/sections.txt"
zf_verdict deb-zflash-stripped $((! $?))
echo "zflash in the package: $(stat -c %s "$zflash") bytes" | tee -a "$log"

"$zflash" --version >"$work/version.txt"
zf_check deb-zflash-version 0 $? "$work/version.txt" "zflash $version"
# Nothing beside /usr/bin/zflash: it looks in the installed data folder
# (which this unpacked root does not have there, so it says so).
"$zflash" --json list --hw VKT3K >"$work/default-root.json"
zf_check deb-zflash-default-root 2 $? "$work/default-root.json" '"root": "/usr/share/zflash/"' \
    'no such folder: /usr/share/zflash/'
ZFLASH_ROOT=$root/usr/share/zflash "$zflash" --json list --hw VKT3K >"$work/env-root.json"
zf_check deb-zflash-env-root 0 $? "$work/env-root.json" "\"root\": \"$root/usr/share/zflash/\"" vkt3k_fw_v1_10_3.bin
ZFLASH_ROOT=$work/nowhere "$zflash" --root "$root/usr/share/zflash" list --hw VKT3K >"$work/option-root.txt"
zf_check deb-zflash-root-over-env 0 $? "$work/option-root.txt" vkt3k_fw_v1_10_3.bin

ZF_ZSIM=$root/usr/bin/zsim zf_zsim_start "$work/device" || { zf_verdict deb-zsim-start 0; finish; }
ZFLASH_ROOT=$root/usr/share/zflash "$zflash" --json program --port "$work/device" --version 1.9.7 \
    >"$work/program.json" 2>"$work/program.err"
zf_check deb-zflash-program-version 0 $? "$work/program.json" '"outcome": "success"' '"version": "1.9.7"'

# The completion as bash runs it; port names come from `zflash ports`, here a
# stand-in that lists two.
mkdir -p "$work/stub"
printf '#!/bin/sh\n[ "$1" = ports ] && printf "COM3  port\\nCOM4  port\\n"\n' >"$work/stub/zflash"
chmod +x "$work/stub/zflash"
PATH=$work/stub:$PATH bash -c '
    . /usr/share/bash-completion/bash_completion
    . "$1/usr/share/bash-completion/completions/zflash"
    comp() {
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        COMPREPLY=()
        _zflash zflash "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
        echo "$* => ${COMPREPLY[*]}"
    }
    comp zflash pro
    comp zflash --root /tmp program --v
    comp zflash --v
    comp zflash capture --port CO
    comp zflash rec
    comp zflash records in
    comp zflash records ingest --f
    comp zflash station --me
' completion "$root" >"$work/completion.txt" 2>&1
zf_check deb-bash-completion 0 $? "$work/completion.txt" "zflash pro => program" "program --v => --version" \
    "zflash --v => --verbose --version" "--port CO => COM3 COM4" "zflash rec => records" \
    "records in => ingest" "ingest --f => --follow" "station --me => --metrics"

# --- Windows ----------------------------------------------------------------
zf_wine_session_device "$com" com-device || finish
msi_win=$(winepath -w "$msi" 2>/dev/null)
product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
shortcuts() { find "$WINEPREFIX/drive_c" -name 'Zelvo Flash Update.lnk' 2>/dev/null; }
# The shortcut's icon, which Windows Installer keeps under windows\Installer.
icons() { find "$WINEPREFIX/drive_c/windows/Installer" -name 'ZelvoFlashUpdate.ico' 2>/dev/null; }
# A run stopped half-way may have left this version installed.
zf_wine_run 120 msiexec /x "$msi_win" /qn >/dev/null 2>&1

zf_wine_run 300 msiexec /i "$msi_win" /qn >"$work/install.txt"
zf_check msi-install 0 $? "$work/install.txt"
ls -R "$installed" >"$work/installed.txt" 2>&1
zf_check msi-installed-files 0 $? "$work/installed.txt" ZelvoFlashUpdate.exe zflash.exe README.txt flashloader firmware \
    vkt3k_fw_v1_10_3.bin
zf_wine_run 60 reg query "$uninstall_key" /v DisplayVersion >"$work/registered.txt"
zf_check msi-registered 0 $? "$work/registered.txt" "$version"
shortcut=$(shortcuts | head -n1)
[ -n "$shortcut" ]
zf_verdict msi-start-menu-shortcut $((! $?))
missing msi-no-linux-menu-entry "$XDG_DATA_HOME/applications/wine" "$XDG_CONFIG_HOME/menus"

GTEST_OUTPUT="xml:$(zf_winpath "$work/e2e.xml")" \
    ZF_E2E_APP="$installed_win\\ZelvoFlashUpdate.exe" ZF_E2E_COM=$com ZF_E2E_WORK=$(winepath -w "$work") \
    ZF_E2E_SHORTCUT=$(winepath -w "$shortcut" 2>/dev/null) \
    zf_wine_run 120 build/windows/tests/e2e/zf_install_e2e.exe >"$work/e2e.txt"
zf_report_junit package-msi-window "$?" "$work/e2e.xml"
cat "$work/e2e.txt" >>"$log"

zf_wine_run 60 "$installed_win\\zflash.exe" --version >"$work/exe-version.txt"
zf_check msi-zflash-version 0 $? "$work/exe-version.txt" "zflash $version"
zf_wine_run 300 "$installed_win\\zflash.exe" --json program --port "$com" >"$work/exe-program.json" 2>/dev/null
zf_check msi-zflash-program 0 $? "$work/exe-program.json" '"outcome": "success"' \
    '"root": "C:\\Program Files\\Zelvo\\Zelvo Flash Update\\"' '"version": "1.10.3"'

zf_wine_run 300 msiexec /x "$msi_win" /qn >"$work/uninstall.txt"
zf_check msi-uninstall 0 $? "$work/uninstall.txt"
missing msi-nothing-left "$WINEPREFIX/drive_c/Program Files/Zelvo" "$shortcut"
[ -z "$(shortcuts)" ]
zf_verdict msi-no-shortcut-left $((! $?))
[ -z "$(icons)" ]
zf_verdict msi-no-icon-left $((! $?))
zf_wine_run 60 reg query "$uninstall_key" >/dev/null 2>&1
zf_verdict msi-unregistered $(($? != 0))
finish
