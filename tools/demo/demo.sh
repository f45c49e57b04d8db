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
# The 64-bit loader, whether or not wine32 is installed (see tools/wine/wine).
wine=$top/tools/wine/wine
export WINEPREFIX=$demo/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

mkdir -p "$demo"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the demo's Wine prefix (once)..."
    "$wine" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # Without a window manager Wine waits at every closing dialog otherwise.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A server left running from here, without a display, would keep the
    # program below from opening its window.
    wineserver -w
fi

c=$WINEPREFIX/drive_c
# The practice's screen font, "OrtText", stood in for by a font made here
# (see ortext_font.py); without it Wine draws the column separator as "³".
# Wine loads every font of the prefix's Fonts folder: no registry entry.
font=$demo/OrtText.ttf
if [ ! -f "$font" ] || [ "$top/tools/demo/ortext_font.py" -nt "$font" ]; then
    /usr/bin/python3 "$top/tools/demo/ortext_font.py" /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf "$font"
fi
mkdir -p "$c/windows/Fonts"
cp "$font" "$c/windows/Fonts/OrtText.ttf"
rm -rf "$c/ortavo"
mkdir -p "$c/ortavo/data" "$c/tmp"
cp "$build/win64/tools/fakehost/14.0/ortavo.exe" "$c/ortavo/ortavo.exe"
"$build/native/tools/mkpractice" "$c/ortavo/data" --patients 60 --lines 900 >/dev/null
cp "$build/win64/shell/chkort.exe" "$c/ortavo/data/chkort.exe"

if [ -n "${DISPLAY:-}" ]; then
    echo "chkort.exe on $DISPLAY, in C:\\ortavo\\data; close its window to end."
    cd "$c/ortavo/data"
    exec "$wine" chkort.exe
fi

# No display: a private Xvfb, the chart shown through the menu, a screenshot.
rm -f "$demo/display"
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$demo/display" 2>"$demo/xvfb.log" &
xvfb=$!
cleanup() {
    wineserver -k 2>/dev/null && wineserver -w || true
    kill "$xvfb" 2>/dev/null && wait "$xvfb" || true
}
trap cleanup EXIT INT TERM
until [ -s "$demo/display" ]; do
    kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start; see $demo/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=:$(cat "$demo/display")

shot=$demo/chkort-demo.png
log=$demo/driver.log
rm -f "$shot"
# The driver's script: one step a line, tab-separated, in Windows-1252. It
# shows the chart, marks "ready" on its stderr and waits for the program to
# end, which taskkill asks of it (WM_CLOSE) once the window is photographed.
printf 'start\t%s\t%s\nwindow\ncommand\t102\ndialog\tNum\351ro du patient\nset\t1000\t1\nclick\t1\nidle\nmark\tready\nexit\n' \
    'C:\ortavo\data\chkort.exe' 'C:\ortavo\data' >"$c/tmp/demo.txt"
: >"$demo/driver.err"
"$wine" "$build/win64/tests/e2e/driver.exe" 'C:\tmp\demo.txt' >"$log" 2>"$demo/driver.err" &
driver=$!
until grep -q 'e2e-mark ready' "$demo/driver.err" 2>/dev/null; do
    kill -0 $driver 2>/dev/null || { echo "The demo run failed; see $log" >&2; exit 1; }
    sleep 0.1
done
import -window root -crop 800x600+0+0 "$shot"
"$wine" taskkill /im chkort.exe >/dev/null || true
wait $driver && grep -q "^exit	0" "$log" || { echo "The demo run failed; see $log" >&2; exit 1; }
echo "Screenshot of patient 1's clinical chart: $shot"
