#!/usr/bin/env bash
# Contact in the window, driven as a user drives it on the program's own X
# server (Xvfb): two flaps either side of a middle face lean in until their
# edges meet. With "Contact" checked, ">>" folds them into plicata-fold
# --contact's frames, byte for byte, up to the step where they lock, and the
# Status rollout says the pair is held and the fold locked; with "thickness
# /1000" at 50 (20 file units of the 400-unit paper) and the fold cleared,
# into plicata-fold --contact --thickness 20's frames.
#
# usage: contact_test.sh PLICATA PLICATA_FOLD TEXTURE
# Screenshots (PNG) are kept in ./contact_test_shots. Exit status 77 (skip)
# without Xvfb, xdotool or ImageMagick.
set -u

if [ $# -ne 3 ]; then
  echo "usage: contact_test.sh PLICATA PLICATA_FOLD TEXTURE" >&2
  exit 2
fi
PLICATA=$1
FOLD=$2
TEXTURE=$3

for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

WORK=$(mktemp -d)
SHOTS=$PWD/contact_test_shots
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
status() { control_value statictext "$1"; }
shot() {  # $1 name: the whole window as PNG
  import -window root -depth 8 "$WORK/$1.ppm" || fail "import failed"
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  convert "$WORK/$1.ppm" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$SHOTS/$1.png"
}
frames() { ls "$RUN/save" | grep -E '^m[0-9]{5}\.obj$' | sort; }

# The two flaps (the .cp format: 1 the paper's edge, 3 a valley).
RUN=$WORK/run
mkdir -p "$RUN/save"
cp "$TEXTURE" "$RUN/papertexture.bmp"
cat >"$RUN/flaps.cp" <<'EOF'
1 -100 -100 -50 -100
1 -50 -100 50 -100
1 50 -100 200 -100
1 200 -100 100 100
1 100 100 50 100
1 50 100 -50 100
1 -50 100 -200 100
1 -200 100 -100 -100
3 -50 -100 -50 100
3 50 -100 50 100
EOF

# plicata-fold's frames: ">>" is a step of fold step 40.
K=12
for t in 0 20; do
  "$FOLD" --contact --thickness "$t" --no-triangulate --display-frame --fold-step 40 --steps 40 --out "$WORK/fold$t" \
    "$RUN/flaps.cp" >"$WORK/fold$t.txt" 2>&1 || fail "plicata-fold failed: $(tail -n 3 "$WORK/fold$t.txt")"
  grep -q "^locked step=$K\$" "$WORK/fold$t.txt" || fail "plicata-fold --thickness $t did not lock at step $K"
done

start_xvfb
mkfifo "$WORK/in"
(cd "$RUN" && PLICATA_PANEL_LAYOUT=$LAYOUT exec "$PLICATA" flaps.cp <"$WORK/in" >"$OUT" 2>&1) &
APP_PID=$!
exec 3>"$WORK/in"
echo n >&3  # no triangulation, as plicata-fold --no-triangulate
wait_for 'WIN=$(xdotool search --onlyvisible --name "^Plicata \[" 2>/dev/null | head -n 1); [ -n "$WIN" ]' 30 ||
  fail "no window"
wait_for 'grep -q "^button	Help" "$LAYOUT"' 10 || fail "no panel layout"
xdotool windowmove "$WIN" 0 0 windowsize "$WIN" 1000 1000
wait_for '[[ $(xdotool getwindowname "$WIN") == "Plicata [760, 760]"* ]]' 5 || fail "the window did not grow"
click rollout "Orientation Edit Mode"
click rollout Status
wait_for '[ "$(status contact)" = "contact: off" ]' 3 || fail "Status shows '$(status contact)' before Contact"

# ">>" K times, each step's frame compared with plicata-fold's.
fold_and_compare() {  # $1 plicata-fold's frames
  local k before
  for ((k = 1; k <= K; k++)); do
    before=$(frames | tail -n 1)
    click button ">>"
    wait_for '[ "$(frames | tail -n 1)" != "$before" ]' 10 || fail "'>>' number $k wrote no frame"
    sleep 0.2
    cmp -s "$RUN/save/$(frames | tail -n 1)" "$1/$(printf 'm%05d.obj' "$k")" ||
      fail "step $k differs from $1's"
  done
}

click checkbox Contact
click checkbox Mdl
fold_and_compare "$WORK/fold0"
wait_for '[ "$(status contact)" = "contact: 1 pair held, locked" ]' 3 || fail "Status shows '$(status contact)'"
[ "$(status "intersecting pairs")" = "intersecting pairs: 0" ] || fail "Status shows '$(status "intersecting pairs")'"
shot locked
ok "Contact: '>>' $K times writes plicata-fold --contact's frames; '$(status contact)'"

type_into spinner "thickness /1000" 50
click button "Clear Fold"
fold_and_compare "$WORK/fold20"
cmp -s "$WORK/fold0/m$(printf '%05d' $K).obj" "$WORK/fold20/m$(printf '%05d' $K).obj" &&
  fail "the thickness changed nothing"
wait_for '[ "$(status contact)" = "contact: 1 pair held, locked" ]' 3 || fail "Status shows '$(status contact)'"
shot locked_thick
ok "thickness 50/1000: '>>' $K times writes plicata-fold --contact --thickness 20's frames"

exit 0
