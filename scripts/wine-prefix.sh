#!/usr/bin/env bash
# Boots (or stops) the private Wine prefix of a build tree: a 32-bit prefix for the x86 tree, a
# 64-bit one for the x64 tree. A tree whose programs this machine cannot run is left alone.
# Usage: scripts/wine-prefix.sh start|stop TREE [PREFIX]
#   PREFIX: another prefix of the tree's kind instead of TREE/wineprefix (the installer test boots a
#   fresh one of its own).
#
# Wine's service processes (services.exe, winedevice.exe, the desktop's explorer.exe) inherit the
# standard streams of the Wine call that starts them; if that call runs under a pipe that someone
# waits for (ctest, $(...), | tee), the wait never ends. So they are all started here, with every
# stream detached, before anything else uses the prefix.
set -uo pipefail
action=$1
tree=$(cd "$2" && pwd)
arch=$(sed -n 's/^VANTOR_ARCH:INTERNAL=//p' "$tree/CMakeCache.txt")
source "$(dirname "$0")/wine-env.sh" "$arch" || exit 2
vantor_arch_runs || exit 0
export WINEPREFIX=${3:-$tree/wineprefix}
case "$action" in
start)
    # A fresh prefix is created by wineboot, whose server then goes away with its services;
    # a second call under a persistent server starts them for good, the desktop included.
    (wineserver -p; wine wineboot -i) </dev/null >/dev/null 2>&1
    (wineserver -p; wine rundll32 user32.dll,GetDesktopWindow) </dev/null >/dev/null 2>&1
    # A crashing program would start winedbg, which inherits the program's streams and can sit
    # there for good, holding the test runner's pipe open. A debugger that exits at once lets the
    # crash end the program and be reported as a failed test instead.
    aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    views=("")
    [[ "$arch" == x64 && "$VANTOR_32BIT" == runs ]] && views+=(/reg:32) # the 32-bit programs' own view
    (for view in "${views[@]}"; do
         wine reg add "$aedebug" /v Debugger /d 'cmd.exe /c exit' /f $view
         wine reg add "$aedebug" /v Auto /d 1 /f $view
     done
     # Xvfb runs no window manager, and Wine waits two seconds for each closed top-level window of
     # a managed program to be withdrawn; unmanaged windows close at once.
     wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f) </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
