#!/usr/bin/env bash
# The window program on its own X server (Xvfb):
#  0. --version and --help answer without a display, and without one the
#     program says so and ends before asking anything;
#  1. started without a pattern, it asks for the file name on the terminal
#     before any window exists, and opens the window once given one (a
#     bundled example's bare name);
#  2. started with a missing file, it says why and asks for the name
#     instead of retrying;
#  3. on the bundled Miura-ori (and on a real one when the real patterns are
#     there), the drawing window shows the paper in the colours of the paper
#     rule, with black lines, centred on a white background, and the window
#     at rest takes almost no processor time;
#  4. a capture written by ScreenSaveBMP (from capture_probe, which opens the
#     same windows) is a 24-bit BMP of the drawing window's size whose pixels
#     are those on the screen, for a folded model and for a textured one;
#  5. a picture that plicata-fold draws without a window (--png) is the
#     window's capture of the same fold, view and size, pixel for pixel
#     (both are Mesa's llvmpipe running the same drawing functions; measured
#     identical, so no tolerance is given), in the turned Object view with
#     the paper texture and in the crease-pattern view.
#
# usage: window_test.sh PLICATA CAPTURE_PROBE SHOT_CHECK TEXTURE EXAMPLES_DIR PATTERNS_DIR PLICATA_FOLD
# Screenshots are kept in ./window_test_shots. Exit status 77 (skip) without
# Xvfb, xdotool or ImageMagick. The real patterns are optional.
set -u

if [ $# -ne 7 ]; then
  echo "usage: window_test.sh PLICATA CAPTURE_PROBE SHOT_CHECK TEXTURE EXAMPLES_DIR PATTERNS_DIR PLICATA_FOLD" >&2
  exit 2
fi
PLICATA=$1
PROBE=$2
SHOT_CHECK=$3
TEXTURE=$4
EXAMPLES=$5
PATTERNS=$6
FOLD=$7

skip() {
  echo "SKIP: $*"
  exit 77
}
for tool in Xvfb xdotool import convert compare; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (tools/install-deps.sh installs it)"
done
PATTERN=$EXAMPLES/miura_4x4.opx
[ -f "$PATTERN" ] || { echo "FAIL: no bundled example $PATTERN"; exit 1; }
[ -f "$TEXTURE" ] || skip "no paper texture at $TEXTURE"
REAL=$PATTERNS/opx/oripa_miura-ori.opx
if [ -f "$REAL" ]; then
  SHOWN=("$PATTERN" "$REAL")
else
  echo "no real patterns at $PATTERNS: the bundled examples only"
  SHOWN=("$PATTERN")
fi

WORK=$(mktemp -d)
SHOTS=$PWD/window_test_shots
mkdir -p "$SHOTS"
XVFB_PID=""
APP_PID=""
status=1

source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

fail() {
  echo "FAIL: $*"
  for f in "$WORK"/*.txt; do
    [ -f "$f" ] && { echo "--- $(basename "$f")"; tail -n 20 "$f"; }
  done
  exit 1
}

# Waits up to $3 seconds for the text $2 in the file $1, giving up early
# when the program ($APP_PID) has ended.
wait_text() {
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    # The program may write the text and end between the two checks.
    if [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null; then
      grep -qF -- "$2" "$1" 2>/dev/null
      return
    fi
    sleep 0.1
  done
  return 1
}

# Prints the id of the main window once its title carries the drawing size,
# waiting up to $1 seconds.
wait_window() {
  local i id
  for ((i = 0; i < $1 * 10; i++)); do
    id=$(xdotool search --name '^Plicata \[' 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

any_window() { [ -n "$(xdotool search --name 'Plicata' 2>/dev/null)" ]; }

# --- 0: without a display.
mkdir -p "$WORK/plain" "$WORK/textured"
version=$(env -u DISPLAY "$PLICATA" --version) || fail "--version failed"
[[ $version =~ ^plicata\ [0-9]+\.[0-9]+ ]] || fail "--version gave '$version'"
env -u DISPLAY "$PLICATA" --help | grep -q '^usage: plicata' || fail "--help gave no usage"
env -u DISPLAY "$PLICATA" miura_4x4.opx </dev/null >"$WORK/no_display.txt" 2>&1 && fail "no display: exit status 0"
grep -q 'DISPLAY is not set' "$WORK/no_display.txt" || fail "no display: not said"
grep -qE 'file name|triangulate' "$WORK/no_display.txt" && fail "no display: asked before ending"
echo "ok: $version; --help; without a display it ends before asking"

start_xvfb

cp "$TEXTURE" "$WORK/textured/papertexture.bmp"

# --- 1 and 2: the name is asked for on the terminal before any window.
ask_test() {  # $1: label, $2: the name typed, then the command line arguments
  local label=$1 typed=$2
  shift 2
  rm -f "$WORK/in"
  mkfifo "$WORK/in"
  (cd "$WORK/plain" && exec "$PLICATA" "$@" <"$WORK/in" >"$WORK/$label.txt" 2>&1) &
  APP_PID=$!
  exec 3>"$WORK/in"
  wait_text "$WORK/$label.txt" "file name? " 20 || fail "$label: no prompt for the file name"
  sleep 0.5
  any_window && fail "$label: a window exists while the name is asked for"
  [ "$(grep -o 'file name? ' "$WORK/$label.txt" | wc -l)" -eq 1 ] || fail "$label: asked more than once"
  printf '%s\ny\n' "$typed" >&3
  wait_window 30 >/dev/null || fail "$label: no window after the name was given"
  exec 3>&-
  stop "$APP_PID"
  APP_PID=""
  echo "ok: $label"
}
ask_test no_argument miura_4x4.opx
ask_test missing_file "$PATTERN" "no such pattern.opx"
grep -q "^no such pattern.opx: no such file here ($WORK/plain/no such pattern.opx) nor in the examples folder" \
  "$WORK/missing_file.txt" || fail "missing_file: the reason is not given"

# Position and drawing size of the main window $1 as "X Y W H": the drawing
# window sits at the main window's top left corner, its size is in the title.
drawing_area() {
  local title x y
  title=$(xdotool getwindowname "$1")
  eval "$(xdotool getwindowgeometry --shell "$1")"
  x=$X
  y=$Y
  [[ $title =~ ^Plicata\ \[([0-9]+),\ ([0-9]+)\]\ \ [0-9]{5}\ frames$ ]] || return 1
  echo "$x $y ${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
}

# Processor time (user and system, clock ticks) the process $1 has used,
# from /proc/PID/stat (the fields after the command's closing parenthesis).
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat") || fail "no process $1"
  read -r -a f <<<"${stat##*) }"
  echo $((f[11] + f[12]))
}

# --- 3: a pattern in the folded view, without texture: the paper rule.
for shown in "${SHOWN[@]}"; do
  label=$(basename "$shown" .opx)
  (cd "$WORK/plain" && exec "$PLICATA" "$shown" <<<"y" >"$WORK/$label.txt" 2>&1) &
  APP_PID=$!
  win=$(wait_window 30) || fail "$label: no window"
  sleep 1.5
  area=$(drawing_area "$win") || fail "$label: unexpected title '$(xdotool getwindowname "$win")'"
  import -window root -depth 8 "$SHOTS/$label.ppm" || fail "import failed"
  if [ "$shown" = "$PATTERN" ]; then
    # At rest the window waits for events: over 3 s it takes well under a
    # fifth of a processor (a window redrawing whenever idle takes a whole one).
    used=$(($(cpu_ticks "$APP_PID") + 0))
    sleep 3
    used=$(($(cpu_ticks "$APP_PID") - used))
    [ "$used" -lt $((3 * $(getconf CLK_TCK) / 5)) ] || fail "$label: at rest the window used $used ticks in 3 s"
    echo "ok: at rest the window used $used of $((3 * $(getconf CLK_TCK))) ticks in 3 s"
  fi
  stop "$APP_PID"
  APP_PID=""
  echo "$label, drawing area (x y w h): $area"
  # shellcheck disable=SC2086
  "$SHOT_CHECK" paper "$SHOTS/$label.ppm" $area || fail "$label: the drawing area does not show the paper"
  echo "ok: $label shows the paper"
done

# --- 4: captures. A three-crease accordion folded half way (facets at
# different angles to the light), then the last pattern shown with the
# texture.
ACCORDION=$WORK/plain/accordion.opx
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<java version="1.5.0_05" class="java.beans.XMLDecoder">'
  echo ' <object class="oripa.DataSet">'
  echo '  <void property="lines">'
  echo '   <array class="oripa.OriLineProxy" length="13">'
  n=0
  line() {
    echo "    <void index=\"$n\">"
    echo "     <object class=\"oripa.OriLineProxy\">"
    echo "      <void property=\"type\">"
    echo "       <int>$1</int>"
    echo "      </void>"
    for p in "x0 $2" "x1 $4" "y0 $3" "y1 $5"; do
      echo "      <void property=\"${p% *}\">"
      echo "       <double>${p#* }</double>"
      echo "      </void>"
    done
    echo "     </object>"
    echo "    </void>"
    n=$((n + 1))
  }
  for x in -200 -100 0 100; do
    line 1 "$x.0" -200.0 "$((x + 100)).0" -200.0
    line 1 "$x.0" 200.0 "$((x + 100)).0" 200.0
  done
  line 1 -200.0 -200.0 -200.0 200.0
  line 1 200.0 -200.0 200.0 200.0
  line 2 -100.0 -200.0 -100.0 200.0
  line 3 0.0 -200.0 0.0 200.0
  line 2 100.0 -200.0 100.0 200.0
  echo '   </array>'
  echo '  </void>'
  echo '  <void property="paperSize">'
  echo '   <double>400.0</double>'
  echo '  </void>'
  echo ' </object>'
  echo '</java>'
} >"$ACCORDION"

capture_test() {  # $1: label, $2: directory to run in, then the probe's arguments
  local label=$1 dir=$2 line w h x y
  shift 2
  (cd "$dir" && exec "$PROBE" "$@" <<<"y" >"$WORK/$label.txt" 2>&1) &
  APP_PID=$!
  wait_text "$WORK/$label.txt" "capture " 40 || fail "$label: no capture reported"
  line=$(grep '^capture ' "$WORK/$label.txt" | head -n 1)
  read -r _ w h x y <<<"$line"
  sleep 0.5
  win=$(wait_window 5) || fail "$label: no window"
  area=$(drawing_area "$win") || fail "$label: unexpected title"
  import -window root -depth 8 "$SHOTS/$label.ppm" || fail "import failed"
  stop "$APP_PID"
  APP_PID=""
  [ "$area" = "$x $y $w $h" ] || fail "$label: drawing window at $x $y size $w x $h, title and main window say $area"
  cp "$dir/capture.bmp" "$SHOTS/$label.bmp" 2>/dev/null
  echo "$label, drawing area (x y w h): $area"
  "$SHOT_CHECK" capture "$SHOTS/$label.ppm" "$x" "$y" "$dir/capture.bmp" "$w" "$h" ||
    fail "$label: the capture is not the picture on the screen"
  LAST_AREA="$x $y $w $h"
}
capture_test folded "$WORK/plain" "$ACCORDION" capture.bmp --fold 0.5 --delay 1500 --hold 20000
# shellcheck disable=SC2086
"$SHOT_CHECK" paper "$SHOTS/folded.ppm" $LAST_AREA --min-range 30 ||
  fail "folded: the facets are not shaded by the paper rule"
echo "ok: folded capture"
capture_test textured "$WORK/textured" "${SHOWN[-1]}" capture.bmp --delay 1500 --hold 20000
echo "ok: textured capture"

# --- 5: off-screen pictures against the window's captures.
offscreen_test() {  # $1: label, $2: the probe's view options, $3: plicata-fold's
  local label=$1 line w h
  # shellcheck disable=SC2086
  (cd "$WORK/textured" && exec "$PROBE" "$PATTERN" "$label.bmp" --steps 12 --delay 800 --hold 100 $2 <<<"y" \
    >"$WORK/$label.txt" 2>&1)
  line=$(grep '^capture ' "$WORK/$label.txt" | head -n 1)
  read -r _ w h _ <<<"$line"
  [ -n "$line" ] && [ -f "$WORK/textured/$label.bmp" ] || fail "$label: no capture"
  # shellcheck disable=SC2086
  (cd "$WORK/textured" && env -u DISPLAY "$FOLD" --steps 12 --png "$label" --size "${w}x$h" $3 "$PATTERN" \
    >"$WORK/${label}_fold.txt" 2>&1) || fail "$label: plicata-fold --png failed: $(tail -n 2 "$WORK/${label}_fold.txt")"
  cp "$WORK/textured/$label/p00012.png" "$SHOTS/${label}_offscreen.png"
  convert "$WORK/textured/$label.bmp" "$SHOTS/${label}_window.png" || fail "convert failed"
  differing=$(compare -metric AE "$SHOTS/${label}_window.png" "$SHOTS/${label}_offscreen.png" null: 2>&1)
  [ "$differing" = 0 ] || fail "$label: the off-screen picture differs from the window's capture in $differing pixels"
  echo "ok: $label: the off-screen picture is the window's capture (${w}x$h, every pixel)"
}
if "$FOLD" --help | grep -q "built without off-screen"; then
  echo "plicata-fold was built without off-screen pictures: step 5 left out"
else
  offscreen_test offscreen_object "--azimuth 30 --elevation 40" "--view object --azimuth 30 --elevation 40 --window-camera"
  offscreen_test offscreen_cp "--view 2 --cp 1" "--view cp --window-camera"
fi

status=0
exit $status
