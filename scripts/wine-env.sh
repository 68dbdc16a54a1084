# Wine environment for running the Windows build on Linux. Source it:
#   . scripts/wine-env.sh
# It sets the environment (project-local 32-bit prefix, quiet Wine, UTF-8
# locale) and defines functions; it starts nothing by itself.
#
#   zf_wine_init_prefix      create and configure the prefix (idempotent)
#   zf_xvfb_start            start a private Xvfb and export DISPLAY
#   zf_wine_start            start a persistent wineserver (before ctest & co.)
#   zf_wine_stop             stop the wineserver and every Wine process
#   zf_wine_map_com COMn P   map the serial device P (e.g. a pty symlink) as COMn
#   zf_wine_unmap_com COMn   remove that mapping again
#   zf_wine_run SECS ARGS..  run `wine ARGS..` under a time limit, \r stripped
#   zf_strip_cr              filter: drop the \r of Wine's CRLF console output
#   zf_wine_cleanup          stop Wine, then Xvfb (use in `trap ... EXIT`)
#
# Overrides: ZF_WINEPREFIX (default: <repo>/.wine).

ZF_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${ZF_WINEPREFIX:-$ZF_REPO/.wine}"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko, and no winemenubuilder: an installer's Start menu shortcut
# must not turn into a menu entry of the Linux desktop (~/.local/share).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8
ZF_XVFB_PID=${ZF_XVFB_PID:-}

zf_strip_cr() { sed 's/\r$//'; }

zf_wine_log() { echo "wine-env: $*" >&2; }

# Registry value set through `wine reg`; quiet unless it fails.
zf_wine_reg_add() {
    local out
    out=$(timeout 60 wine reg add "$@" /f 2>&1) || { zf_wine_log "reg add $* failed: $out"; return 1; }
}

zf_wine_init_prefix() {
    local marker="$WINEPREFIX/.zf-prefix-ready"
    [ -f "$marker" ] && return 0
    zf_wine_log "creating prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 300 wineboot --init >/dev/null 2>&1 || { zf_wine_log "wineboot --init failed"; return 1; }
    timeout 120 wineserver -w
    # Debian's Wine does not find its own fonts; without them caption buttons
    # render as letters.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # A crash prints a backtrace and exits instead of opening a dialog that
    # waits for ever.
    zf_wine_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 || return 1
    # Without a window manager only a virtual desktop gives windows title bars.
    zf_wine_reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default || return 1
    zf_wine_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 || return 1
    timeout 120 wineserver -w
    touch "$marker"
}

zf_xvfb_start() {
    [ -n "$ZF_XVFB_PID" ] && kill -0 "$ZF_XVFB_PID" 2>/dev/null && return 0
    local f n i
    f=$(mktemp)
    # -displayfd: Xvfb picks a free display number and writes it to fd 3.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$f" >/dev/null 2>&1 &
    ZF_XVFB_PID=$!
    for i in $(seq 200); do
        grep -q . "$f" 2>/dev/null && break
        sleep 0.05
    done
    n=$(head -n1 "$f"); rm -f "$f"
    if [ -z "$n" ]; then
        zf_wine_log "Xvfb did not start"
        kill "$ZF_XVFB_PID" 2>/dev/null; ZF_XVFB_PID=
        return 1
    fi
    export DISPLAY=":$n"
}

zf_xvfb_stop() {
    [ -n "$ZF_XVFB_PID" ] || return 0
    kill "$ZF_XVFB_PID" 2>/dev/null
    wait "$ZF_XVFB_PID" 2>/dev/null
    ZF_XVFB_PID=
}

# Wine's helper processes must exist before a test runner starts Wine
# programs: started inside ctest they can keep it waiting for ever.
zf_wine_start() {
    timeout 60 wineserver -p || { zf_wine_log "wineserver did not start"; return 1; }
    timeout 120 wine cmd /c exit >/dev/null 2>&1 || { zf_wine_log "wine cmd /c exit failed"; return 1; }
}

zf_wine_stop() {
    timeout 60 wineserver -k 2>/dev/null
    timeout 60 wineserver -w 2>/dev/null
    return 0
}

zf_wine_restart() { zf_wine_stop; zf_wine_start; }

# Wine lists a port that it maps from the registry under SERIALCOMM.
zf_wine_com_listed() {
    timeout 60 wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null \
        | zf_strip_cr | grep -Eq "REG_SZ[[:space:]]+$1\$"
}

# zf_wine_map_com COMn PATH: PATH should be a stable name (a symlink to the
# pty), and the pty must stay open until Wine has been stopped.
zf_wine_map_com() {
    local com=$1 path=$2
    zf_wine_reg_add 'HKLM\Software\Wine\Ports' /v "$com" /d "$path" || return 1
    zf_wine_restart || return 1
    zf_wine_com_listed "$com" || { zf_wine_log "$com is not listed in SERIALCOMM"; return 1; }
}

zf_wine_unmap_com() {
    timeout 60 wine reg delete 'HKLM\Software\Wine\Ports' /v "$1" /f >/dev/null 2>&1
    return 0
}

# zf_wine_run SECONDS PROGRAM ARGS...: exit status of the program (124 on time-out).
zf_wine_run() {
    local secs=$1; shift
    timeout -k 10 "$secs" wine "$@" 2>&1 | zf_strip_cr
    return "${PIPESTATUS[0]}"
}

zf_wine_cleanup() {
    zf_wine_stop
    zf_xvfb_stop
}
