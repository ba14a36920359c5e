#!/usr/bin/env bash
# Runs a command with 64-bit Wine ready for it: a virtual X display (unless
# one is set), the build tree's own quiet prefix, booted once, and a Wine
# server that lives for the whole command and is stopped after it.
#   scripts/with-wine.sh ctest --test-dir build/test
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}   # no Mono or Gecko prompts
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

xvfb=""
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
        xvfb=$!
        export DISPLAY=:$n
        for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
        break
    done
fi

# Wine's background services inherit the output of whichever program starts
# them and would hold a caller's pipe open for good; a silent boot under a
# persistent server starts them first, with their output going nowhere.
"$server" -k >/dev/null 2>&1
"$server" -w >/dev/null 2>&1
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1 </dev/null
"$server" -p >/dev/null 2>&1 </dev/null
"$wine" wineboot >/dev/null 2>&1 </dev/null
# No window manager runs on the virtual display: a window left to one would
# get no frame, and each hide would wait two seconds for it to answer.
grep -qs '^"Managed"="N"' "$WINEPREFIX/user.reg" ||
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
# A crashing program must fail at once: Wine's debugger would wait forever
# for someone at the console, so the debugger named is one that cannot start.
grep -qs '"Debugger"="none"' "$WINEPREFIX/system.reg" ||
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d none /f >/dev/null 2>&1 </dev/null
# Debian's Wine does not find its own fonts (fonts-wine) where they are
# installed; in the prefix's Fonts folder it does, and so dialogs get their
# "MS Sans Serif" and the caption buttons their Marlett glyphs.
fonts=$WINEPREFIX/drive_c/windows/Fonts
[ -e "$fonts/marlett.ttf" ] || cp /usr/share/wine/fonts/* "$fonts/" 2>/dev/null

"$@"
status=$?

"$server" -k >/dev/null 2>&1
"$server" -w >/dev/null 2>&1
[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
exit $status
