#!/usr/bin/env bash
# The flat-folded state in the window, driven on the program's own X server
# (Xvfb):
#  1. a single vertex whose sectors miss Kawasaki by 20 degrees: the "CP"
#     view rings it in the failing-vertex colour; the "Folded form" view
#     shows the x-ray with the reason there is no stacking, and no ring;
#  2. the bird base opened from the Files rollout into the "Folded form"
#     view is the picture plicata-fold --view folded --window-camera draws
#     at the same size, pixel for pixel.
#
# usage: folded_view_test.sh PLICATA PLICATA_FOLD PLICATA_GEN TEXTURE PATTERNS_DIR
# Screenshots (PNG) are kept in ./folded_view_test_shots. Exit status 77
# (skip) without Xvfb, xdotool or ImageMagick.
set -u

if [ $# -ne 5 ]; then
  echo "usage: folded_view_test.sh PLICATA PLICATA_FOLD PLICATA_GEN TEXTURE PATTERNS_DIR" >&2
  exit 2
fi
PLICATA=$1
FOLD=$2
GEN=$3
TEXTURE=$4
BIRD=$5/opx/oripa_crane_base_mitani.opx

for tool in Xvfb xdotool import convert compare; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

WORK=$(mktemp -d)
SHOTS=$PWD/folded_view_test_shots
mkdir -p "$SHOTS"
XVFB_PID=""
APP_PID=""
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

OUT=$WORK/out.txt
fail() {
  echo "FAIL: $*"
  [ -f "$OUT" ] && { echo "--- program output"; tail -n 20 "$OUT"; }
  exit 1
}
ok() { echo "ok: $*"; }
LAYOUT=$WORK/layout.txt
source "$(dirname "${BASH_SOURCE[0]}")/panel_driver.sh"
S=0
shot() {  # $1 name: the drawing window as PPM and PNG
  import -window root -depth 8 "$WORK/$1.ppm" || fail "import failed"
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  [[ $(xdotool getwindowname "$WIN") =~ ^Plicata\ \[([0-9]+), ]] && S=${BASH_REMATCH[1]}
  convert "$WORK/$1.ppm" -crop "${S}x$S+$X+$Y" +repage "$SHOTS/$1.png"
}
# Pixels of the failing-vertex colour (0.85, 0, 0.85) in a shot.
ringed() {
  convert "$SHOTS/$1.png" -fuzz 6% -fill black +opaque "rgb(217,0,217)" -fill white -opaque "rgb(217,0,217)" \
    -format "%[fx:round(mean*w*h)]" info: 2>/dev/null
}

start_xvfb
RUN=$WORK/run
mkdir -p "$RUN"
cp "$TEXTURE" "$RUN/papertexture.bmp"
"$GEN" vertex --sectors 60,100,110,90 --types 2,3,2,2 -o "$RUN/off_by_20.opx" || fail "plicata-gen failed"
[ -f "$BIRD" ] && cp "$BIRD" "$RUN/bird_base.opx"

mkfifo "$WORK/in"
(cd "$RUN" && PLICATA_PANEL_LAYOUT=$LAYOUT exec "$PLICATA" off_by_20.opx <"$WORK/in" >"$OUT" 2>&1) &
APP_PID=$!
exec 3>"$WORK/in"
echo y >&3
wait_for 'WIN=$(xdotool search --onlyvisible --name "^Plicata \[" 2>/dev/null | head -n 1); [ -n "$WIN" ]' 30 ||
  fail "no window"
wait_for 'grep -q "^button	Help" "$LAYOUT"' 10 || fail "no panel layout"
xdotool windowmove "$WIN" 0 0 windowsize "$WIN" 1000 1000
wait_for '[[ $(xdotool getwindowname "$WIN") == "Plicata [760, 760]"* ]]' 5 || fail "the window did not grow"
sleep 1
view() {  # $1 the view's radio button
  local name=$1
  click radiobutton "$name"
  wait_for '[ "$(control_value radiobutton "$name")" = 1 ]' 3 || fail "the panel did not take the view $name"
  sleep 0.5
}

# --- 1. The vertex that misses Kawasaki.
view CP
shot cp_failing
ring=$(ringed cp_failing)
[ "$ring" -gt 60 ] || fail "the CP view does not ring the failing vertex ($ring pixels)"
ok "the CP view rings the failing vertex ($ring pixels)"
view "Folded form"
shot folded_failing
differing=$(compare -metric AE "$SHOTS/cp_failing.png" "$SHOTS/folded_failing.png" null: 2>&1)
[ "$differing" -gt 5000 ] || fail "'Folded form' looks like the CP view ($differing pixels differ)"
[ "$(ringed folded_failing)" -lt 10 ] || fail "the folded form shows the CP view's ring"
ok "'Folded form' shows the x-ray and its reason ($differing pixels differ from the CP view)"

# --- 2. The bird base, against plicata-fold's picture of it.
if [ ! -f "$BIRD" ]; then
  echo "no bird base under the patterns folder: step 2 left out"
  exit 0
fi
click rollout Files
click item bird_base.opx
sleep 1
shot folded_bird
(cd "$RUN" && env -u DISPLAY "$FOLD" bird_base.opx --steps 0 --png "$WORK/pictures" --size "${S}x$S" \
  --view folded --window-camera >"$WORK/fold.txt" 2>&1) || fail "plicata-fold failed: $(tail -n 2 "$WORK/fold.txt")"
cp "$WORK/pictures/p00000.png" "$SHOTS/folded_bird_offscreen.png"
differing=$(compare -metric AE "$SHOTS/folded_bird.png" "$SHOTS/folded_bird_offscreen.png" null: 2>&1)
[ "$differing" = 0 ] || fail "the window's folded bird base differs from plicata-fold's in $differing pixels"
ok "the window's folded bird base is plicata-fold --view folded's picture (${S}x$S, every pixel)"
exit 0
