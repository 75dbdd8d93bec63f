#!/usr/bin/env bash
# What the window tells of the fold, and its Files rollout, driven as a user
# drives them on the program's own X server (Xvfb):
#  1. a single vertex of three creases, left untriangulated, cannot fold and
#     tears: with "Closure" on its picture shows the closure scale above its
#     floor, and "Exact" keeps its steps back (the Status rollout counts them);
#  2. with "fold to %" at 50 and "Exact" kept, the bundled Miura-ori opened
#     from the Files rollout folds by ">>" into the frames of plicata-fold
#     --exact --fold-to 50, byte for byte, and its picture shows nothing above
#     the closure scale's floor; the Status rollout counts its degrees of
#     freedom (6 flat, 1 folded), "mode" 1 folds along its mode as
#     plicata-fold --mode 1 does, and a mode it lacks is refused in one line;
#  3. a file that cannot be read shows its reason and leaves the model as it
#     was; "Next" opens a pattern onto the folded model, a click on its name
#     opens it flat;
#  4. the bundled waterbomb folded far has faces passing through each other:
#     the Status rollout counts the pairs and the picture shows the warning;
#  5. 'h' and "Help" show and hide the help box;
#  6. the pleated hyperbolic paraboloid, which cannot fold rigidly, folded by
#     ">>" with "Compliant" chosen writes plicata-fold --solver compliant's
#     frames, the Status rollout tells of its Newton iterations, and with
#     "Strain" on its picture shows the strain colours.
#  7. "Colour" draws the crease pattern's mountains and valleys in their two
#     colours with a legend, and only then; "Quit" ends the program with
#     status 0 and writes the FOLD recording, as closing the window does.
#
# usage: readout_test.sh PLICATA PLICATA_FOLD PLICATA_GEN SHOT_CHECK UI_CHECK TEXTURE EXAMPLES_DIR
# Screenshots (PNG) are kept in ./readout_test_shots. Exit status 77 (skip)
# without Xvfb, xdotool or ImageMagick.
set -u

if [ $# -ne 7 ]; then
  echo "usage: readout_test.sh PLICATA PLICATA_FOLD PLICATA_GEN SHOT_CHECK UI_CHECK TEXTURE EXAMPLES_DIR" >&2
  exit 2
fi
PLICATA=$1
FOLD=$2
GEN=$3
SHOT_CHECK=$4
CHECK=$5
TEXTURE=$6
EXAMPLES=$7

for tool in Xvfb xdotool import convert compare; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -f "$EXAMPLES/miura_4x4.opx" ] && [ -f "$EXAMPLES/waterbomb_3x3.opx" ] || { echo "FAIL: no bundled examples in $EXAMPLES"; exit 1; }

WORK=$(mktemp -d)
SHOTS=$PWD/readout_test_shots
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
# The number in a line of the Status rollout ("steps: 12" gives 12).
status() { control_value statictext "$1" | sed -E 's/^[^:]*: ([-0-9.e+]+).*/\1/'; }
hold() {  # $1 key, $2 seconds, with the pointer on the drawing
  xdotool mousemove --window "$WIN" 200 200 keydown "$1"
  sleep "$2"
  xdotool keyup "$1"
  sleep 0.3
}
S=0
shot() {  # $1 name: the drawing window as PPM (measured) and PNG (to look at); $2 "whole": the whole window
  import -window root -depth 8 "$WORK/$1.ppm" || fail "import failed"
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  [[ $(xdotool getwindowname "$WIN") =~ ^Plicata\ \[([0-9]+), ]] && S=${BASH_REMATCH[1]}
  local size=${S}x$S
  [ "${2:-}" = whole ] && size=${WIDTH}x$HEIGHT
  convert "$WORK/$1.ppm" -crop "$size+$X+$Y" +repage "$SHOTS/$1.png"
}
marks() { "$SHOT_CHECK" marks "$WORK/$1.ppm" "$X" "$Y" "$S" "$S"; }  # after shot $1
creases() { "$SHOT_CHECK" creases "$WORK/$1.ppm" "$X" "$Y" "$S" "$S"; }  # after shot $1
last_frame() { ls "$1" | grep -E '^m[0-9]{5}\.obj$' | sort | tail -n 1; }
save_frame() {  # "Save" and wait for the next frame; prints its path
  local before
  before=$(last_frame "$RUN/save")
  click button Save
  wait_for '[ "$(last_frame "$RUN/save")" != "$before" ]' 5 || fail "Save wrote no frame"
  sleep 0.2
  echo "$RUN/save/$(last_frame "$RUN/save")"
}

start_xvfb
RUN=$WORK/run
mkdir -p "$RUN/save"
cp "$TEXTURE" "$RUN/papertexture.bmp"
"$GEN" vertex --sectors 120,120,120 --types 3,3,3 -o "$RUN/three_creases.opx" || fail "plicata-gen failed"
"$GEN" hypar --rings 4 -o "$RUN/hypar.opx" || fail "plicata-gen failed"
printf 'not a crease pattern\n' >"$RUN/bad.opx"

mkfifo "$WORK/in"
(cd "$RUN" && PLICATA_PANEL_LAYOUT=$LAYOUT exec "$PLICATA" three_creases.opx <"$WORK/in" >"$OUT" 2>&1) &
APP_PID=$!
exec 3>"$WORK/in"
echo n >&3  # no triangulation: the vertex keeps its three creases
wait_for 'WIN=$(xdotool search --onlyvisible --name "^Plicata \[" 2>/dev/null | head -n 1); [ -n "$WIN" ]' 30 ||
  fail "no window"
wait_for 'grep -q "^button	Help" "$LAYOUT"' 10 || fail "no panel layout"
# Tall enough for the open Status and Files rollouts, and on the screen.
xdotool windowmove "$WIN" 0 0 windowsize "$WIN" 1000 1000
wait_for '[[ $(xdotool getwindowname "$WIN") == "Plicata [760, 760]"* ]]' 5 || fail "the window did not grow"
click rollout "Orientation Edit Mode"
click rollout Status
click rollout Files

# --- 1. The torn vertex.
click checkbox Closure
click checkbox Exact
hold space 1
wait_for '[ "$(status "exact kept back")" -gt 0 ]' 3 || fail "exact mode kept no step back on the torn vertex"
shot torn
read -r _ scale _ above _ warning <<<"$(marks torn)"
echo "torn vertex: $scale pixels on the closure scale, $above above its floor, $warning warning"
[ "$above" -gt 2000 ] || fail "the torn vertex shows no closure colours above the floor"
[ "$warning" -eq 0 ] || fail "a single vertex shows the collision warning"
ok "the torn vertex shows its closure error ($(control_value statictext "worst vertex"))"

# --- 2. Fold to 50 %, exact, opened from the Files rollout.
type_into spinner "fold to %" 50
click item miura_4x4.opx
wait_for '[ "$(status steps)" = 0 ] && [ "$(status "fold progress")" = 0.0 ]' 5 || fail "the Miura-ori did not open flat"
dof() { control_value statictext "degrees of freedom"; }
# A flat n x n Miura-ori has 2(n - 1) first-order motions.
wait_for '[ "$(dof)" = "degrees of freedom: 6 (flat)" ]' 5 || fail "the flat Miura-ori shows '$(dof)'"
click checkbox Mdl
K=4
for ((k = 1; k <= K; k++)); do
  click button ">>"
  wait_for "[ -f '$RUN/save/$(printf 'm%05d.obj' "$k")' ]" 10 || fail "'>>' number $k wrote no frame"
done
sleep 0.3
"$FOLD" --exact --fold-to 50 --display-frame --fold-step 40 --steps "$K" --out "$WORK/fold" "$EXAMPLES/miura_4x4.opx" \
  >"$WORK/fold.txt" 2>&1 || fail "plicata-fold failed: $(tail -n 3 "$WORK/fold.txt")"
for ((k = 0; k <= K; k++)); do
  f=$(printf 'm%05d.obj' "$k")
  cmp -s "$RUN/save/$f" "$WORK/fold/$f" || fail "$f differs from plicata-fold --exact --fold-to 50's"
done
ok "fold to 50 % and Exact: '>>' $K times writes plicata-fold --exact --fold-to 50's frames"
shot rigid
read -r _ scale _ above _ warning <<<"$(marks rigid)"
echo "rigid Miura-ori: $scale pixels on the closure scale, $above above its floor"
[ "$scale" -gt 5000 ] && [ "$above" -eq 0 ] || fail "the rigidly folding Miura-ori shows closure colours"
ok "the rigidly folding Miura-ori shows none above the scale's floor"
wait_for '[ "$(dof)" = "degrees of freedom: 1" ]' 5 || fail "the folded Miura-ori shows '$(dof)'"
type_into spinner mode 1
click button ">>"
wait_for "[ -f '$RUN/save/$(printf 'm%05d.obj' $((K + 1)))' ]" 10 || fail "'>>' along mode 1 wrote no frame"
sleep 0.3
"$FOLD" --exact --fold-to 50 --display-frame --fold-step 40 --steps "$K" --mode 1 --steps 1 --out "$WORK/mode" \
  "$EXAMPLES/miura_4x4.opx" >"$WORK/mode.txt" 2>&1 || fail "plicata-fold --mode 1 failed: $(tail -n 3 "$WORK/mode.txt")"
f=$(printf 'm%05d.obj' $((K + 1)))
cmp -s "$RUN/save/$f" "$WORK/mode/$f" || fail "$f along mode 1 differs from plicata-fold --mode 1's"
wait_for '[ "$(dof)" = "degrees of freedom: 1" ]' 5 || fail "along its mode the Miura-ori shows '$(dof)'"
type_into spinner mode 3
click button ">>"
wait_for 'grep -q "^mode 3 does not exist: the state has 1 mode$" "$OUT"' 5 || fail "mode 3 was not refused"
[ "$(status steps)" = $((K + 1)) ] || fail "the refused step was counted"
shot dof_panel whole
type_into spinner mode 0
wait_for '[ "$(control_value spinner mode)" = 0 ]' 3 || fail "mode did not go back to 0"
ok "degrees of freedom 6 flat and 1 folded; '>>' along mode 1 is plicata-fold --mode 1's; mode 3 refused"

# --- 3. A bad file, then "Next" and a click on a name.
before=$(save_frame)
click item bad.opx
wait_for '[[ "$(control_value statictext "")" == "bad.opx: "* ]]' 3 || fail "no reason shown for bad.opx"
shot bad_file_panel whole
after=$(save_frame)
cmp -s "$before" "$after" || fail "the bad file changed the model"
ok "bad.opx: '$(control_value statictext "")', the model untouched"
click part miura_4x4.opx Next
wait_for '[ -z "$(control_value statictext "")" ] && [ "$(status steps)" = 0 ]' 5 || fail "Next did not open"
read -r onto _ <<<"$("$CHECK" creases "$(save_frame)")"
click item miura_4x4.opx
wait_for '[ "$(status "fold progress")" = 0.0 ]' 5 || fail "a click on the name did not open the pattern flat"
read -r flat _ <<<"$("$CHECK" creases "$(save_frame)")"
[ "$onto" -gt 100 ] && [ "$flat" -eq 0 ] || fail "Next opened at $onto degrees, a click at $flat"
ok "Next keeps the folded shape ($onto degrees of folds), a click opens flat"
click checkbox Mdl

# --- 4. Faces passing through each other.
click checkbox Closure
# 150, which the spinner clamps to 100: on a busy X server the two zeros of
# "100" can arrive at one timestamp and the second is taken for key repeat.
type_into spinner "fold to %" 150
wait_for '[ "$(control_value spinner "fold to %")" = 100 ]' 3 || fail "fold to % did not go back to 100"
click item waterbomb_3x3.opx
# Folded until faces meet (about 32 steps), and a little further.
xdotool mousemove --window "$WIN" 200 200 keydown space
wait_for '[ "$(status "intersecting pairs")" -gt 0 ]' 10
sleep 0.5
xdotool keyup space
sleep 0.3
[ "$(status "intersecting pairs")" -gt 0 ] || fail "the waterbomb folded far shows no intersecting pairs"
shot collision
read -r _ _ _ _ _ warning <<<"$(marks collision)"
[ "$warning" -gt 500 ] || fail "the intersecting faces are not drawn in the warning colour ($warning pixels)"
ok "the waterbomb: $(control_value statictext "intersecting pairs"), $warning pixels of warning"

# --- 5. The help box.
xdotool mousemove --window "$WIN" 200 200 key h
sleep 0.5
shot help
differing=$(compare -metric AE "$SHOTS/collision.png" "$SHOTS/help.png" null: 2>&1)
[ "$differing" -gt 20000 ] || fail "'h' showed no help box ($differing pixels changed)"
click rollout Files  # so that "Help" below it is on the screen
click button Help
shot help_closed
differing=$(compare -metric AE "$SHOTS/collision.png" "$SHOTS/help_closed.png" null: 2>&1)
[ "$differing" -lt 100 ] || fail "Help did not hide the box ($differing pixels differ)"
ok "'h' shows the help box and Help hides it"

# --- 6. Compliant folding and the strain map.
click rollout Files
type_into spinner "fold to %" 90
click item hypar.opx
wait_for '[ "$(status steps)" = 0 ]' 5 || fail "the hypar did not open"
click radiobutton Compliant
click checkbox Strain
click checkbox Mdl
K=3
first=$(last_frame "$RUN/save")
for ((k = 1; k <= K; k++)); do
  click button ">>"
  wait_for '[ "$(status steps)" = '$k' ]' 10 || fail "'>>' number $k took no compliant step"
done
sleep 0.3
"$FOLD" --solver compliant --fold-to 90 --display-frame --fold-step 40 --steps "$K" --out "$WORK/hypar" \
  "$RUN/hypar.opx" >"$WORK/hypar.txt" 2>&1 || fail "plicata-fold failed: $(tail -n 3 "$WORK/hypar.txt")"
cmp -s "$RUN/save/$(last_frame "$RUN/save")" "$WORK/hypar/$(printf 'm%05d.obj' "$K")" ||
  fail "the compliant fold's last frame (after $first) differs from plicata-fold --solver compliant's"
[[ "$(control_value statictext "last step")" == "last step: compliant, "*" Newton"* ]] ||
  fail "the Status rollout tells no compliant step: $(control_value statictext "last step")"
shot compliant
read -r _ scale _ above _ warning <<<"$(marks compliant)"
echo "compliant hypar: $scale pixels on the scale, $above above its floor; $(control_value statictext "largest strain")"
[ "$above" -gt 2000 ] || fail "the compliantly folded hypar shows no strain colours"
ok "Compliant: '>>' $K times writes plicata-fold --solver compliant's frame; Strain shows the strain map"
# Back as part 7 starts: rigid, no strain map, no frames, Files closed.
click radiobutton Rigid
click checkbox Strain
click checkbox Mdl
click rollout Files
# --- 7. Crease colours, then "Quit".
click rollout Files
click item miura_4x4.opx
wait_for '[ "$(status steps)" = 0 ]' 5 || fail "the Miura-ori did not open"
click checkbox Mdl
click button ">>"
click radiobutton CP
click checkbox Colour
sleep 0.5
shot colour_cp
read -r _ mountain _ valley _ legend <<<"$(creases colour_cp)"
[ "$mountain" -gt 300 ] && [ "$valley" -gt 150 ] && [ "$legend" -gt 20 ] ||
  fail "Colour: $mountain mountain, $valley valley and $legend legend pixels"
click checkbox Colour
sleep 0.5
shot black_cp
read -r _ m _ v _ l <<<"$(creases black_cp)"
[ $((m + v + l)) -lt 20 ] || fail "without Colour: $m mountain, $v valley, $l legend pixels"
ok "Colour: $mountain mountain and $valley valley pixels with a legend; none without it"
click rollout Files  # so that "Quit" is on the screen
rm -f "$RUN/save/fold.fold"
click button Quit
wait_for ended 5 || fail "Quit did not end the program"
wait "$APP_PID"
status=$?
APP_PID=""
[ "$status" -eq 0 ] || fail "Quit: exit status $status"
[ -s "$RUN/save/fold.fold" ] || fail "Quit did not write the FOLD recording"
ok "Quit ends the program (status 0) and writes the FOLD recording"

exit 0
