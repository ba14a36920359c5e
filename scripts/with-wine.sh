#!/usr/bin/env bash
# Runs a command with 64-bit Wine ready for it: a virtual X display of its own,
# the build tree's own quiet prefix, booted once, and a Wine server that lives
# for the whole command. Whatever WINEPREFIX or DISPLAY the caller has is
# ignored, so the tests never touch a user's own Wine or desktop. The server
# and the display are stopped on every way out: success, failure or a signal.
#   scripts/with-wine.sh ctest --preset test
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=$root/build/wineprefix
export ZANQ_WINEPREFIX=$WINEPREFIX   # tells wine-run.sh that this set-up is ready
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='   # no Mono or Gecko prompts
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

fail() {
    echo "with-wine.sh: $*" >&2
    exit 1
}

xvfb=""
child=""
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    [ -n "$child" ] && kill "$child" 2>/dev/null
    # Killing the server ends every Wine process of the prefix with it.
    "$server" -k >/dev/null 2>&1
    "$server" -w >/dev/null 2>&1
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'echo "with-wine.sh: interrupted" >&2; exit 130' INT
trap 'echo "with-wine.sh: terminated" >&2; exit 143' TERM

for program in "$wine" "$server" Xvfb; do
    command -v "$program" >/dev/null || fail "$program is missing; run scripts/setup.sh"
done
mkdir -p "$root/build" || fail "cannot create $root/build"
# One run at a time in the prefix: a second would stop the first one's server.
# The daemons started below do not inherit the lock, so none can keep it.
exec {lock}>"$root/build/wineprefix.lock" || fail "cannot open $root/build/wineprefix.lock"
if ! flock -n "$lock"; then
    echo "with-wine.sh: waiting for another run that uses $WINEPREFIX" >&2
    flock "$lock" || fail "cannot lock $root/build/wineprefix.lock"
fi

for n in $(seq 90 190); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null {lock}>&- &
    xvfb=$!
    export DISPLAY=:$n
    break
done
[ -n "$xvfb" ] || fail "no free X display number between :90 and :190"
for _ in $(seq 200); do
    [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
    kill -0 "$xvfb" 2>/dev/null || fail "Xvfb could not start a virtual display on $DISPLAY"
    sleep 0.05
done
[ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || fail "Xvfb gave no display $DISPLAY within 10 s"

# Wine's background services inherit the output of whichever program starts
# them and would hold a caller's pipe open for good; a silent boot under a
# persistent server starts them first, with their output going nowhere.
"$server" -k >/dev/null 2>&1
"$server" -w >/dev/null 2>&1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 </dev/null {lock}>&- || fail "cannot create the Wine prefix $WINEPREFIX"
    "$server" -w >/dev/null 2>&1
fi
"$server" -p >/dev/null 2>&1 </dev/null {lock}>&- || fail "cannot start a Wine server for $WINEPREFIX"
"$wine" wineboot >/dev/null 2>&1 </dev/null {lock}>&- || fail "cannot boot the Wine prefix $WINEPREFIX"
# No window manager runs on the virtual display: a window left to one would
# get no frame, and each hide would wait two seconds for it to answer.
grep -qs '^"Managed"="N"' "$WINEPREFIX/user.reg" ||
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null ||
    fail "cannot set up the Wine prefix's X11 driver"
# A crashing program must fail at once: Wine's debugger would wait forever
# for someone at the console, so the debugger named is one that cannot start.
grep -qs '"Debugger"="none"' "$WINEPREFIX/system.reg" ||
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d none /f >/dev/null 2>&1 </dev/null ||
    fail "cannot turn off Wine's debugger"
# Debian's Wine does not find its own fonts (fonts-wine) where they are
# installed; in the prefix's Fonts folder it does, and so dialogs get their
# "MS Sans Serif" and the caption buttons their Marlett glyphs.
fonts=$WINEPREFIX/drive_c/windows/Fonts
[ -e "$fonts/marlett.ttf" ] || cp /usr/share/wine/fonts/* "$fonts/" || fail "cannot copy Wine's fonts into $fonts"

# In the background, so that a signal reaches the traps above at once
# instead of after the command.
"$@" &
child=$!
wait "$child"
status=$?
child=""
exit "$status"
