#!/bin/sh
# Runs a cross-built test program under Wine, in a private prefix kept in the
# build tree, so that tests neither need nor touch the user's ~/.wine.
set -e
wine=$(dirname "$0")/../tools/wine/wine  # the 64-bit loader, wine32 installed or not
build_dir=${CHKORT_WINE_BUILD:-$(dirname "$1")}
export WINEPREFIX="${CHKORT_WINEPREFIX:-$build_dir/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi
exec "$wine" "$@"
