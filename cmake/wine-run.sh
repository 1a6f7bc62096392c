#!/bin/sh
# Runs a cross-built Windows program under Wine: CTest's emulator for the mingw32 and mingw64 builds.
# usage: wine-run.sh win32|win64 <wine prefix> <program.exe> [args...]
# The prefix is made on first use (under a lock, as CTest starts several at once). No debug chatter,
# and no offer to install Mono or Gecko, which no program here needs.
set -eu
if [ "$#" -lt 3 ]; then
    echo "usage: $0 win32|win64 <wine prefix> <program> [args...]" >&2
    exit 2
fi
arch=$1
WINEPREFIX=$2
shift 2
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
case "$arch" in
    win32) loader=/usr/lib/wine/wine ;;
    # Straight to the 64-bit loader: Debian's wine wrapper prefers the 32-bit one when it is there.
    win64) loader=/usr/lib/wine/wine64 ;;
    *)
        echo "wine-run: unknown architecture $arch" >&2
        exit 2
        ;;
esac
if [ ! -x "$loader" ]; then
    echo "wine-run: $loader is missing (scripts/prereqs --wine installs Wine)" >&2
    exit 1
fi
export WINEARCH="$arch" WINELOADER="$loader"
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$loader" wineboot --init >/dev/null 2>&1 || true
            wineserver --wait || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$@"
