#!/bin/sh
# Opens chkort.exe under Wine on a generated sample practice.
#
# The practice lives in a private Wine prefix under build/demo: a host of
# version 14.0 at the root of drive C, the data in C:\ortavo\data, and C:\tmp
# for the integrity test. With a display ($DISPLAY) the program opens there
# and stays until its window is closed. Without one it runs in Xvfb: the
# script shows patient 1's clinical chart, saves a screenshot of the window
# to build/demo/chkort-demo.png, and closes the program.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$top/build
demo=$build/demo
export WINEPREFIX=$demo/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

mkdir -p "$demo"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the demo's Wine prefix (once)..."
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # Without a window manager Wine waits at every closing dialog otherwise.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
fi

c=$WINEPREFIX/drive_c
rm -rf "$c/ortavo"
mkdir -p "$c/ortavo/data" "$c/tmp"
cp "$build/win64/tools/fakehost/14.0/ortavo.exe" "$c/ortavo/ortavo.exe"
"$build/native/tools/mkpractice" "$c/ortavo/data" --patients 60 --lines 900 >/dev/null
cp "$build/win64/shell/chkort.exe" "$c/ortavo/data/chkort.exe"

if [ -n "${DISPLAY:-}" ]; then
    echo "chkort.exe on $DISPLAY, in C:\\ortavo\\data; close its window to end."
    cd "$c/ortavo/data"
    exec wine chkort.exe
fi

# No display: a private Xvfb, the chart shown through the menu, a screenshot.
display=:$((90 + $$ % 50))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
export DISPLAY=$display
sleep 1

shot=$demo/chkort-demo.png
log=$demo/driver.log
rm -f "$shot"
# The driver shows the chart, says "ready" and waits while the window is
# photographed, then closes the program.
wine "$build/win64/tests/e2e/driver.exe" -c \
    "timeout 20000" \
    "start C:\\ortavo\\data\\chkort.exe C:\\ortavo\\data" \
    "wait-window CHKORT \"Utilitaire de ORTAVO\"" \
    "command 102" \
    "dialog \"Num\\xe9ro du patient\"" \
    "set 1000 1" \
    "click 1" \
    "wait-closed" \
    "idle" \
    "echo ready" \
    "sleep 4000" \
    "close" \
    "wait-exit" >"$log" 2>&1 &
driver=$!
tries=0
until grep -q ready "$log" 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -gt 600 ] || ! kill -0 $driver 2>/dev/null; then
        echo "The demo run failed; see $log" >&2
        exit 1
    fi
    sleep 0.1
done
sleep 0.5
import -window root -crop 800x600+0+0 "$shot"
wait $driver || { echo "The demo run failed; see $log" >&2; exit 1; }
echo "Screenshot of patient 1's clinical chart: $shot"
