# The packages as users get them. scripts/package builds them from the two
# build trees; then
#   Debian: dpkg -I and lintian; both packages unpacked into a throwaway root,
#     whose zflash (stripped, with its manual page and bash completion) finds
#     its images and programs the packaged zsim;
#   Windows: the MSI installed silently under Wine, its Start menu shortcut,
#     version resources and window checked by zf_install_e2e.exe, the installed
#     zflash.exe programming the simulator, then a silent uninstall that must
#     leave nothing behind.
. scripts/test-lib.sh
. scripts/wine-env.sh
zf_need build/native/CMakeCache.txt package && zf_need build/windows/tests/e2e/zf_install_e2e.exe package \
    || exit 1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
packages=$ZF_REPO/build/packages
work=$(mktemp -d)
root=$work/root
log=$ZF_LOGS/package.log
com=COM9
msi=$packages/ZelvoFlashUpdate-$version.msi
installed="$WINEPREFIX/drive_c/Program Files/Zelvo/Zelvo Flash Update"
installed_win='C:\Program Files\Zelvo\Zelvo Flash Update'
passed=0 failed=0
: >"$log"

cleanup() {
    zf_wine_unmap_com "$com"
    zf_wine_cleanup  # Wine first: the pty must outlive every Wine handle on it
    zf_zsim_stop_all
    rm -rf "$work"
}
trap cleanup EXIT

# check LABEL EXPECTED-STATUS STATUS OUTPUT-FILE [TEXT...]: every TEXT must be in the output.
check() {
    local label=$1 want=$2 got=$3 out=$4 ok=1 text
    shift 4
    [ "$got" -eq "$want" ] || { echo "$label: exit status $got, expected $want" >&2; ok=0; }
    for text in "$@"; do
        grep -qF -- "$text" "$out" || { echo "$label: missing \"$text\"" >&2; ok=0; }
    done
    { echo "=== $label (exit $got)"; cat "$out"; } >>"$log"
    verdict "$label" $ok
}

# verdict LABEL OK(1|0)
verdict() {
    if [ "$2" -eq 1 ]; then passed=$((passed + 1)); echo "PASS $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}

# missing LABEL PATH...: passes when none of the paths exists.
missing() {
    local label=$1 ok=1 p
    shift
    for p in "$@"; do
        [ -e "$p" ] && { echo "$label: $p is still there" >&2; ok=0; }
    done
    verdict "$label" $ok
}

finish() {
    zf_report "$passed" "$failed" package
    exit $((failed > 0))
}

ZF_NO_BUILD=1 scripts/package >"$work/package.txt" 2>&1
check package-build 0 $? "$work/package.txt" "zflash_${version}_" "zsim_${version}_" "ZelvoFlashUpdate-$version.msi"
[ "$failed" -eq 0 ] || finish
deb=$(ls "$packages"/zflash_"$version"_*.deb) simdeb=$(ls "$packages"/zsim_"$version"_*.deb)

# --- Debian -----------------------------------------------------------------
dpkg -I "$deb" >"$work/info.txt"
check deb-control 0 $? "$work/info.txt" "Package: zflash" "Version: $version" "Depends: libc6" "libstdc++6" \
    "Section: electronics"
dpkg -I "$simdeb" >"$work/siminfo.txt"
check deb-control-zsim 0 $? "$work/siminfo.txt" "Package: zsim" "Version: $version" "Depends: libc6"
lintian --fail-on error "$deb" "$simdeb" >"$work/lintian.txt" 2>&1
check deb-lintian 0 $? "$work/lintian.txt"

dpkg-deb -x "$deb" "$root" && dpkg-deb -x "$simdeb" "$root"
ls -R "$root" >"$work/files.txt"
check deb-files 0 $? "$work/files.txt" usr/share/man/man1: zflash.1.gz zsim.1.gz \
    usr/share/bash-completion/completions: usr/share/zflash: README.txt flashloader firmware
zflash=$root/usr/bin/zflash
readelf -S "$zflash" >"$work/sections.txt"
! grep -qE '\.symtab|\.debug_' "$work/sections.txt"
verdict deb-zflash-stripped $((! $?))
echo "zflash in the package: $(stat -c %s "$zflash") bytes" | tee -a "$log"

"$zflash" --version >"$work/version.txt"
check deb-zflash-version 0 $? "$work/version.txt" "zflash $version"
# Nothing beside /usr/bin/zflash: it looks in the installed data folder.
"$zflash" --json list --hw VKT3K >"$work/default-root.json"
check deb-zflash-default-root 0 $? "$work/default-root.json" '"root": "/usr/share/zflash/"'
ZFLASH_ROOT=$root/usr/share/zflash "$zflash" --json list --hw VKT3K >"$work/env-root.json"
check deb-zflash-env-root 0 $? "$work/env-root.json" "\"root\": \"$root/usr/share/zflash/\"" vkt3k_fw_v1_10_3.bin
ZFLASH_ROOT=$work/nowhere "$zflash" --root "$root/usr/share/zflash" list --hw VKT3K >"$work/option-root.txt"
check deb-zflash-root-over-env 0 $? "$work/option-root.txt" vkt3k_fw_v1_10_3.bin

ZF_ZSIM=$root/usr/bin/zsim zf_zsim_start "$work/device" || { verdict deb-zsim-start 0; finish; }
ZFLASH_ROOT=$root/usr/share/zflash "$zflash" --json program --port "$work/device" --version 1.9.7 \
    >"$work/program.json" 2>"$work/program.err"
check deb-zflash-program-version 0 $? "$work/program.json" '"outcome": "success"' '"after": "v1.9.7   VKT-3 (VKT3K)'

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
' completion "$root" >"$work/completion.txt" 2>&1
check deb-bash-completion 0 $? "$work/completion.txt" "zflash pro => program" "program --v => --version" \
    "zflash --v => --verbose --version" "--port CO => COM3 COM4"

# --- Windows ----------------------------------------------------------------
zf_zsim_start "$work/com-device" || { verdict msi-zsim-start 0; finish; }
zf_wine_init_prefix && zf_xvfb_start && zf_wine_start && zf_wine_map_com "$com" "$work/com-device" \
    || { verdict msi-wine-setup 0; finish; }
msi_win=$(winepath -w "$msi" 2>/dev/null)
product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
shortcuts() { find "$WINEPREFIX/drive_c" -name 'Zelvo Flash Update.lnk' 2>/dev/null; }
# A run stopped half-way may have left this version installed.
zf_wine_run 120 msiexec /x "$msi_win" /qn >/dev/null 2>&1

zf_wine_run 300 msiexec /i "$msi_win" /qn >"$work/install.txt"
check msi-install 0 $? "$work/install.txt"
ls -R "$installed" >"$work/installed.txt" 2>&1
check msi-installed-files 0 $? "$work/installed.txt" ZelvoFlashUpdate.exe zflash.exe README.txt flashloader firmware \
    vkt3k_fw_v1_10_3.bin
zf_wine_run 60 reg query "$uninstall_key" /v DisplayVersion >"$work/registered.txt"
check msi-registered 0 $? "$work/registered.txt" "$version"
shortcut=$(shortcuts | head -n1)
[ -n "$shortcut" ]
verdict msi-start-menu-shortcut $((! $?))

ZF_E2E_APP="$installed_win\\ZelvoFlashUpdate.exe" ZF_E2E_COM=$com ZF_E2E_WORK=$(winepath -w "$work") \
    ZF_E2E_SHORTCUT=$(winepath -w "$shortcut" 2>/dev/null) \
    zf_wine_run 120 build/windows/tests/e2e/zf_install_e2e.exe >"$work/e2e.txt"
status=$?
cat "$work/e2e.txt" >>"$log"
read -r e2e_passed e2e_failed < <(zf_count_gtest "$work/e2e.txt")
[ "$status" -ne 0 ] && [ "$e2e_failed" -eq 0 ] && e2e_failed=1
passed=$((passed + e2e_passed)) failed=$((failed + e2e_failed))
echo "zf_install_e2e: $e2e_passed passed, $e2e_failed failed"

zf_wine_run 60 "$installed_win\\zflash.exe" --version >"$work/exe-version.txt"
check msi-zflash-version 0 $? "$work/exe-version.txt" "zflash $version"
zf_wine_run 300 "$installed_win\\zflash.exe" --json program --port "$com" >"$work/exe-program.json" 2>/dev/null
check msi-zflash-program 0 $? "$work/exe-program.json" '"outcome": "success"' \
    '"root": "C:\\Program Files\\Zelvo\\Zelvo Flash Update\\"' '"after": "v1.10.3   VKT-3 (VKT3K)'

zf_wine_run 300 msiexec /x "$msi_win" /qn >"$work/uninstall.txt"
check msi-uninstall 0 $? "$work/uninstall.txt"
missing msi-nothing-left "$WINEPREFIX/drive_c/Program Files/Zelvo" "$shortcut"
[ -z "$(shortcuts)" ]
verdict msi-no-shortcut-left $((! $?))
zf_wine_run 60 reg query "$uninstall_key" >/dev/null 2>&1
verdict msi-unregistered $(($? != 0))
finish
