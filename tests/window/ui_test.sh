#!/usr/bin/env bash
# The window program driven as a user drives it, on its own X server (Xvfb),
# with xdotool: the control panel, the keys, the mouse and picking.
#  1. interaction on the bundled waterbomb: the panel's look and layout, 'c' and
#     'o', folding with the space bar held ("Mdl" on: OBJ frames, creases
#     folded further frame by frame), 'b', ">>" and "<<", "CP" and "Object",
#     "Clear Fold" and "Save", a face pick that fixes the picked face, three
#     vertex picks that lay the model on the table, a save into a missing
#     directory, the spinners' limits, 'F' and 'M', 'f' framing the model,
#     and 'q' ending the program as a clean close does;
#  2. a fresh start: the first "Save" writes m00001.obj and ss00001.bmp and
#     the title counts 00001 frames; "File Open" and "Next File" ask on the
#     terminal and come back with the new pattern (the bundled single
#     vertex); Escape ends the program;
#  3. ">>" pressed k times with "Mdl" on writes the same frames as
#     plicata-fold with the same step size for k steps, on the bundled
#     waterbomb and, when the real patterns are there, on a real Miura-ori.
#
# usage: ui_test.sh PLICATA PLICATA_FOLD UI_CHECK TEXTURE EXAMPLES_DIR PATTERNS_DIR
# Screenshots (PNG) are kept in ./ui_test_shots. Exit status 77 (skip)
# without Xvfb, xdotool or ImageMagick. The real patterns are optional.
set -u

if [ $# -ne 6 ]; then
  echo "usage: ui_test.sh PLICATA PLICATA_FOLD UI_CHECK TEXTURE EXAMPLES_DIR PATTERNS_DIR" >&2
  exit 2
fi
PLICATA=$1
FOLD=$2
CHECK=$3
TEXTURE=$4
EXAMPLES=$5
PATTERNS=$6

skip() {
  echo "SKIP: $*"
  exit 77
}
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (tools/install-deps.sh installs it)"
done
# Square sheets: the checks below find the sheet's corners at the quarters
# of the drawing window.
PATTERN=$EXAMPLES/waterbomb_3x3.opx
OTHER=$EXAMPLES/degree4_vertex.opx
[ -f "$PATTERN" ] && [ -f "$OTHER" ] || { echo "FAIL: no bundled examples in $EXAMPLES"; exit 1; }
[ -f "$TEXTURE" ] || skip "no paper texture at $TEXTURE"
STEPPED=("$PATTERN")
if [ -f "$PATTERNS/opx/oripa_miura-ori.opx" ]; then
  STEPPED+=("$PATTERNS/opx/oripa_miura-ori.opx")
else
  echo "no real patterns at $PATTERNS: the bundled examples only"
fi

WORK=$(mktemp -d)
SHOTS=$PWD/ui_test_shots
mkdir -p "$SHOTS"
XVFB_PID=""
APP_PID=""

source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

OUT=""  # the program's standard output of the present run
fail() {
  echo "FAIL: $*"
  [ -n "$OUT" ] && [ -f "$OUT" ] && { echo "--- program output"; tail -n 20 "$OUT"; }
  [ -s "$WORK/xvfb.log" ] && { echo "--- Xvfb"; tail -n 5 "$WORK/xvfb.log"; }
  exit 1
}
ok() { echo "ok: $*"; }

source "$(dirname "${BASH_SOURCE[0]}")/panel_driver.sh"

start_xvfb

LAYOUT=$WORK/layout.txt
WIN=""
S=0  # side of the (square) drawing window

# Starts the program in directory $1 on pattern $2, reading the terminal
# answers from a pipe on fd 3; waits for the window and the panel.
start() {
  rm -f "$WORK/in" "$LAYOUT"
  mkfifo "$WORK/in"
  OUT=$WORK/out_$(basename "$1").txt
  (cd "$1" && PLICATA_PANEL_LAYOUT=$LAYOUT exec "$PLICATA" "$2" <"$WORK/in" >"$OUT" 2>&1) &
  APP_PID=$!
  exec 3>"$WORK/in"
  echo y >&3
  wait_for 'WIN=$(xdotool search --onlyvisible --name "^Plicata \[" 2>/dev/null | head -n 1); [ -n "$WIN" ]' 30 ||
    fail "no window"
  wait_for '[ -s "$LAYOUT" ] && grep -q "^button	Clear Fold" "$LAYOUT"' 10 || fail "no panel layout"
  sleep 0.5
  title_size
}
finish() {
  exec 3>&-
  stop "$APP_PID"
  APP_PID=""
}
# Ends the run by the key $1 pressed over the drawing: the program ends
# with status 0, having written its FOLD recording ("Mdl" is on) as when
# its window is closed.
quit_by_key() {
  rm -f "$RUN/save/fold.fold"
  pointer_on_drawing
  xdotool key "$1"
  wait_for ended 5 || fail "'$1' did not end the program"
  wait "$APP_PID"
  local status=$?
  APP_PID=""
  exec 3>&-
  [ "$status" -eq 0 ] || fail "'$1': exit status $status"
  [ -s "$RUN/save/fold.fold" ] || fail "'$1' did not write the FOLD recording"
  ok "'$1' ends the program and writes the FOLD recording"
}

title() { xdotool getwindowname "$WIN"; }
# Sets S from the drawing size in the title.
title_size() {
  [[ $(title) =~ ^Plicata\ \[([0-9]+),\ ([0-9]+)\]\ \ ([0-9]{5})\ frames$ ]] || fail "unexpected title '$(title)'"
  S=${BASH_REMATCH[1]}
}
frames_in_title() {
  [[ $(title) =~ \ \ ([0-9]{5})\ frames$ ]] && echo "${BASH_REMATCH[1]}"
}

# Waits for a control to show a value: $1 kind, $2 label, $3 value.
shows() { wait_for '[ "$(control_value "'"$1"'" "'"$2"'")" = "'"$3"'" ]' 3; }
click_at() {  # a point of the drawing window
  xdotool mousemove --window "$WIN" "$1" "$2" click 1
  sleep 0.3
}
pointer_on_drawing() { xdotool mousemove --window "$WIN" $((S / 2)) $((S / 2)); }
hold() {  # $1 key, $2 seconds
  pointer_on_drawing
  xdotool keydown "$1"
  sleep "$2"
  xdotool keyup "$1"
  sleep 0.3
}

shot() {  # $1 name: a screenshot as PPM for measuring and PNG to look at
  import -window root -depth 8 "$WORK/$1.ppm" || fail "import failed"
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  convert "$WORK/$1.ppm" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$SHOTS/$1.png"
}
# Bounding box "x0 y0 x1 y1" of what is drawn in the drawing window.
drawn_box() {
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  "$CHECK" box "$WORK/$1.ppm" "$X" "$Y" "$S" "$S"
}
panel_visible() { awk -F'\t' '$1 == "window" {print $6}' "$LAYOUT"; }
near() { [ $(($1 - $2)) -le "$3" ] && [ $(($2 - $1)) -le "$3" ]; }

last_frame() { ls "$1" | grep -E '^m[0-9]{5}\.obj$' | sort | tail -n 1; }
frame_count() { ls "$1" | grep -cE '^m[0-9]{5}\.obj$'; }
folded() { "$CHECK" creases "$1" | cut -d' ' -f1; }

# Clicks a button that records a frame into $SAVE and waits for the frame.
click_frame() {  # $1 label
  local n
  n=$(frame_count "$SAVE")
  click button "$1"
  wait_for '[ "$(frame_count "$SAVE")" -gt '"$n"' ]' 10 || fail "'$1' wrote no frame"
  sleep 0.2  # and for the file to be complete
}
# Takes screenshot $1 until the test $2 on its drawn box (x0 y0 x1 y1)
# holds, for up to three seconds.
shoot_until() {
  local i
  for ((i = 0; i < 15; i++)); do
    shot "$1"
    read -r x0 y0 x1 y1 <<<"$(drawn_box "$1")"
    [ "$x0" != none ] && eval "$2" && return 0
    sleep 0.2
  done
  return 1
}

# ---------------------------------------------------------------------------
# 1. Interaction on one run.
RUN=$WORK/run1
SAVE=$RUN/save
mkdir -p "$SAVE"
cp "$TEXTURE" "$RUN/papertexture.bmp"
start "$RUN" "$PATTERN"
shot panel
[ "$(panel_visible)" = 1 ] || fail "the panel is not shown"
for c in "rollout	View Mode" "rollout	Orientation Edit Mode" "rollout	Fold Simulation" "radiobutton	CP" \
  "checkbox	Draw Face" "spinner	line width" "spinner	fold step" "button	>>" "checkbox	Mdl" "edittext	SaveDir" \
  "button	File Open" "button	Clear Fold"; do
  grep -q "^$c	" "$LAYOUT" || fail "the panel has no $c"
done
ok "panel built, drawing window ${S}x$S"

# 'c': the flat sheet seen straight down by the orthographic camera fills
# half the drawing's width; 'o': the perspective camera shows it smaller
# (40 degrees from 3 units: 0.5 / (3 tan 20°) of the half-width).
pointer_on_drawing
xdotool key c
shoot_until key_c 'near $((x1 - x0)) $((S / 2)) 3' || fail "'c': the sheet is $((x1 - x0)) wide, not $((S / 2))"
wait_for '[ "$(control_value radiobutton CP)" = 1 ]' 3 || fail "'c': the panel does not show the top view"
xdotool key o
want=$((S * 458 / 1000))
shoot_until key_o 'near $((x1 - x0)) $want 3' || fail "'o': the sheet is $((x1 - x0)) wide, not $want"
wait_for '[ "$(control_value radiobutton Object)" = 1 ]' 3 || fail "'o': the panel does not show the Object view"
ok "'c' and 'o' switch the camera"

# Folding with the space bar held, recording OBJ frames.
click checkbox Mdl
wait_for '[ "$(control_value checkbox Mdl)" = 1 ]' 3 || fail "Mdl did not check"
hold space 1
n=$(frame_count "$SAVE")
[ "$n" -ge 3 ] || fail "holding space for a second wrote $n frames"
prev=-1
for ((k = 0; k < n; k++)); do
  f=$(printf '%s/m%05d.obj' "$SAVE" "$k")
  [ -f "$f" ] || fail "frame $k missing"
  d=$(folded "$f")
  [ "$d" -gt "$prev" ] || [ "$d" -ge 5000 ] || fail "frame $k is not folded further ($d after $prev degrees)"
  prev=$d
done
wait_for '[ "$(frames_in_title)" = "$(printf %05d $((n - 1)))" ]' 3 || fail "title '$(title)' after $((n - 1)) frames"
shot folded
ok "space folds: frames 0 to $((n - 1)), creases from 0 to $prev degrees"

hold b 0.4
last=$(last_frame "$SAVE")
[ "$(folded "$SAVE/$last")" -lt "$prev" ] || fail "'b' did not unfold"
prev=$(folded "$SAVE/$last")
click_frame ">>"
last=$(last_frame "$SAVE")
[ "$(folded "$SAVE/$last")" -gt "$prev" ] || fail "'>>' did not fold"
prev=$(folded "$SAVE/$last")
click_frame "<<"
last2=$(last_frame "$SAVE")
[ "$last2" != "$last" ] && [ "$(folded "$SAVE/$last2")" -lt "$prev" ] || fail "'<<' did not unfold"
ok "'b' unfolds, '>>' and '<<' step"

# Clearing "Mdl" ends the recording: the folding so far is written as a
# FOLD animation, one folded frame per recorded step.
steps=$((10#$(last_frame "$SAVE" | tr -dc 0-9)))
click checkbox Mdl
wait_for "[ -f '$SAVE/fold.fold' ]" 4 || fail "clearing Mdl wrote no fold.fold"
folded_frames=$(grep -o '"foldedForm"' "$SAVE/fold.fold" | wc -l)
[ "$folded_frames" -eq "$steps" ] || fail "fold.fold holds $folded_frames folded frames for $steps steps"
click checkbox Mdl
wait_for '[ "$(control_value checkbox Mdl)" = 1 ]' 3 || fail "Mdl did not check again"
ok "clearing Mdl writes the folding as fold.fold ($steps frames)"

# The crease pattern in the panel's top view: the flat square, while the
# folded model seen from above is narrower.
for _ in 1 2 3; do click_frame ">>"; done
pointer_on_drawing
xdotool key c
wait_for '[ "$(control_value radiobutton CP)" = 1 ]' 3 || fail "'c' did not switch to the top view"
sleep 0.5
shot folded_top
read -r x0 y0 x1 y1 <<<"$(drawn_box folded_top)"
folded_w=$((x1 - x0 < y1 - y0 ? x1 - x0 : y1 - y0))
[ "$folded_w" -lt $((S / 2 - 10)) ] || fail "the folded model ($folded_w across) is as large as the flat sheet"
click radiobutton CP
shoot_until crease_pattern 'near $((x1 - x0)) $((S / 2)) 3 && near $((y1 - y0)) $((S / 2)) 3' ||
  fail "CP: the pattern spans $((x1 - x0)) x $((y1 - y0)), not the flat square $((S / 2))"
click radiobutton Object
ok "CP shows the crease pattern"

# "Clear Fold" flattens; "Save" writes the next frame.
click button "Clear Fold"
before=$(frame_count "$SAVE")
click_frame Save
last=$(last_frame "$SAVE")
[ "$(frame_count "$SAVE")" -eq $((before + 1)) ] || fail "Save wrote more than one frame"
read -r d z <<<"$("$CHECK" creases "$SAVE/$last")"
[ "$d" = 0 ] && [ "$z" = "0.000" ] || fail "Clear Fold left $d degrees, depth $z"
ok "Clear Fold flattens, Save writes $last"

# A face pick near the top left corner of the pattern (in the top view,
# where the pattern's point (-0.4, 0.4) is shown) fixes that face.
click radiobutton CP
click_at $((S * 3 / 10)) $((S * 3 / 10))
click radiobutton Object
click_frame ">>"
a=$(last_frame "$SAVE")
click_frame ">>"
b=$(last_frame "$SAVE")
"$CHECK" fixed "$SAVE/$a" "$SAVE/$b" 0.1 0.9 || fail "the picked face moved"
"$CHECK" fixed "$SAVE/$a" "$SAVE/$b" 0.9 0.1 >/dev/null && fail "the far corner's face did not move"
shot face_pick
ok "a face pick fixes the picked face"

# Three vertex picks at three corners of the pattern lay the model on the
# table.
click radiobutton "XY by 3 Vert (Axial)"
click radiobutton CP
printed=$(wc -l <"$OUT")
click_at $((S / 4)) $((S / 4))
click_at $((S * 3 / 4)) $((S / 4))
click_at $((S * 3 / 4)) $((S * 3 / 4))
picked=$(tail -n +$((printed + 1)) "$OUT" | grep -E '^[0-9]+$' | tr '\n' ' ')
# shellcheck disable=SC2086
set -- $picked
[ $# -eq 3 ] || fail "three vertex picks printed '$picked'"
shot three_vertices_cp
click radiobutton Object
sleep 0.3
click_frame Save
last=$(last_frame "$SAVE")
"$CHECK" table "$SAVE/$last" "$1" "$2" "$3" || fail "the picked vertices $picked are not on the table"
shot three_vertices
ok "three vertex picks ($picked) lay the model on the table"

# A save into a missing directory is reported, writes nothing, and the
# program goes on.
type_into edittext SaveDir "$WORK/missing"
shows edittext SaveDir "$WORK/missing" || fail "SaveDir shows '$(control_value edittext SaveDir)'"
no=$(frames_in_title)
click button Save
next=$(printf '%05d' $((10#$no + 1)))
wait_for 'grep -qF "cannot save frame $WORK/missing/m$next.obj: No such file or directory" "$OUT"' 3 ||
  fail "no message for the missing directory"
[ ! -e "$WORK/missing" ] || fail "the missing directory was created"
type_into edittext SaveDir ./save
click_frame ">>"
[ -f "$SAVE/m$(printf '%05d' $((10#$next + 1))).obj" ] || fail "no frame after the failed save"
ok "a save into a missing directory reports and goes on"

# The spinners' limits.
type_into spinner "fold step" 99
shows spinner "fold step" 50 || fail "fold step took 99: shows $(control_value spinner "fold step")"
type_into spinner "fold step" -3
shows spinner "fold step" 0 || fail "fold step took -3"
click spinner "fold step" down
shows spinner "fold step" 0 || fail "fold step went below 0"
type_into spinner "fold step" 10
for _ in 1 2 3 4 5; do click spinner "line width" up; done
shows spinner "line width" 5 || fail "line width went past 5: shows $(control_value spinner "line width")"
type_into spinner "line width" 0
shows spinner "line width" 1 || fail "line width went below 1: shows $(control_value spinner "line width")"
ok "fold step stays within 0 to 50, line width within 1 to 5"

# 'F' hides the panel and 'F' again brings the window back as it was; 'M'
# fits the drawing to 640 x 480 and 'M' again undoes it.
before=$(xdotool getwindowgeometry "$WIN" | tail -n 2 | tr -s ' ')
pointer_on_drawing
xdotool key F
wait_for '[ "$(panel_visible)" = 0 ]' 3 || fail "'F' left the panel shown"
pointer_on_drawing
xdotool key F
wait_for '[ "$(panel_visible)" = 1 ]' 3 || fail "'F' again left the panel hidden"
wait_for '[ "$(xdotool getwindowgeometry "$WIN" | tail -n 2 | tr -s " ")" = "$before" ]' 3 ||
  fail "'F' twice left the window at $(xdotool getwindowgeometry "$WIN" | tail -n 2 | tr -s ' ')"
pointer_on_drawing
xdotool key M
wait_for '[[ "$(title)" == "Plicata [640, 480]"* ]]' 3 || fail "'M' gave '$(title)'"
shot fitted
xdotool key M
wait_for '[ "$(xdotool getwindowgeometry "$WIN" | tail -n 2 | tr -s " ")" = "$before" ]' 3 ||
  fail "'M' twice did not restore the window"
ok "'F' and 'M' toggle and restore"

# 'f' frames the model: seen from above it then spans nine tenths of the
# drawing (give or take the axis markers' 6-pixel points at its corners
# and a line's width); in the Object camera it grows and stays inside.
pointer_on_drawing
xdotool key o
sleep 0.5
shot before_fit
read -r x0 y0 x1 y1 <<<"$(drawn_box before_fit)"
before_w=$((x1 - x0))
xdotool key c
xdotool key f
want=$((S * 9 / 10))
shoot_until fit_top 'w=$((x1 - x0 > y1 - y0 ? x1 - x0 : y1 - y0)); near "$w" "$want" 8' ||
  fail "'f' from above: the model spans $((x1 - x0)) x $((y1 - y0)), not $want"
xdotool key o
xdotool key f
shoot_until fit_object '[ $((x1 - x0)) -gt $((before_w * 3 / 2)) ] && [ "$x0" -gt 0 ] && [ "$y0" -gt 0 ] &&
  [ "$x1" -lt $((S - 1)) ] && [ "$y1" -lt $((S - 1)) ]' ||
  fail "'f' in the Object camera: the model spans $x0..$x1 x $y0..$y1 (was $before_w wide) in $S"
ok "'f' frames the model: $want across from above, $before_w to $((x1 - x0)) in the Object camera"
quit_by_key q

# ---------------------------------------------------------------------------
# 2. The first save of a run, then File Open and Next File.
RUN=$WORK/run2
mkdir -p "$RUN/save"
cp "$TEXTURE" "$RUN/papertexture.bmp"
start "$RUN" "$PATTERN"
click checkbox Mdl
click checkbox Scr
click button Save
wait_for '[ -s "$RUN/save/m00001.obj" ] && [ -s "$RUN/save/ss00001.bmp" ]' 10
sleep 0.2
[ -s "$RUN/save/m00001.obj" ] && [ -s "$RUN/save/ss00001.bmp" ] || fail "Save wrote $(ls "$RUN/save")"
[ "$(ls "$RUN/save" | wc -l)" -eq 2 ] || fail "Save wrote $(ls "$RUN/save")"
wait_for '[ "$(frames_in_title)" = 00001 ]' 3 || fail "title after the first save: '$(title)'"
convert "$RUN/save/ss00001.bmp" "$SHOTS/ss00001.png"
ok "the first Save writes m00001.obj and ss00001.bmp, the title counts 00001 frames"

for button in "File Open" "Next File"; do
  asked=$(grep -c 'file name? ' "$OUT")
  click button "$button"
  wait_for '[ "$(grep -c "file name? " "$OUT")" -gt "$asked" ]' 5 || fail "$button: no prompt"
  [ -z "$(xdotool search --onlyvisible --name '^Plicata' 2>/dev/null)" ] || fail "$button: the window stays up"
  questions=$(grep -c 'triangulate polygons' "$OUT")
  echo "$OTHER" >&3
  # The triangulation question comes only for a pattern with larger facets.
  wait_for '[ -n "$(xdotool search --onlyvisible --name "^Plicata \[" 2>/dev/null)" ] ||
    [ "$(grep -c "triangulate polygons" "$OUT")" -gt "$questions" ]' 10 || fail "$button: nothing after the name"
  [ "$(grep -c 'triangulate polygons' "$OUT")" -gt "$questions" ] && echo y >&3
  wait_for '[ -n "$(xdotool search --onlyvisible --name "^Plicata \[" 2>/dev/null)" ]' 10 ||
    fail "$button: the window did not come back"
done
sleep 0.5
shot next_file
ok "File Open and Next File ask on the terminal and come back"

# Rollouts close and open: closed, their controls are gone and the
# controls below move up.
fold_y=$(control_centre rollout "Fold Simulation" | cut -d' ' -f2)
click rollout "Orientation Edit Mode"
shows rollout "Orientation Edit Mode" 0 || fail "the rollout did not close"
[ "$(control_centre radiobutton None | cut -d' ' -f1)" = 0 ] || fail "a closed rollout still shows its buttons"
[ "$(control_centre rollout "Fold Simulation" | cut -d' ' -f2)" -lt "$fold_y" ] || fail "nothing moved up"
shot rollout_closed
click rollout "Orientation Edit Mode"
shows rollout "Orientation Edit Mode" 1 || fail "the rollout did not open again"
[ "$(control_centre rollout "Fold Simulation" | cut -d' ' -f2)" = "$fold_y" ] || fail "the panel did not come back"
ok "rollouts close and open"

# Keys typed over the panel (no field being edited) reach the program: the
# space bar held there folds, and its release there stops the folding.
before=$(frame_count "$RUN/save")
# shellcheck disable=SC2046
xdotool mousemove --window "$WIN" $(control_centre rollout "Fold Simulation")
xdotool keydown space
sleep 0.5
xdotool keyup space
sleep 0.3
after=$(frame_count "$RUN/save")
[ "$after" -gt "$before" ] || fail "space held over the panel did not fold"
sleep 0.3
[ "$(frame_count "$RUN/save")" -eq "$after" ] || fail "folding went on after space was released over the panel"
ok "keys over the panel reach the program"
quit_by_key Escape

# ---------------------------------------------------------------------------
# 3. ">>" k times against plicata-fold: ">>" steps by fold step x 0.2, the
# held space bar (and plicata-fold) by fold step x 0.05, so the window's
# default 10 matches plicata-fold's 40.
K=4
for stepped in "${STEPPED[@]}"; do
  label=$(basename "$stepped" .opx)
  RUN=$WORK/run3_$label
  mkdir -p "$RUN/save"
  start "$RUN" "$stepped"
  click checkbox Mdl
  for ((k = 1; k <= K; k++)); do
    click button ">>"
    wait_for "[ -f '$RUN/save/$(printf 'm%05d.obj' "$k")' ]" 5 || fail "$label: '>>' number $k wrote no frame"
  done
  sleep 0.3
  finish
  "$FOLD" --display-frame --fold-step 40 --steps "$K" --out "$WORK/fold_$label" "$stepped" >"$WORK/fold.txt" 2>&1 ||
    fail "plicata-fold failed: $(tail -n 3 "$WORK/fold.txt")"
  # The window writes each frame in the display frame that lays three corners
  # of the sheet on the table; plicata-fold does so with --display-frame, and
  # the frames are then the same files.
  for ((k = 0; k <= K; k++)); do
    f=$(printf 'm%05d.obj' "$k")
    if ! cmp -s "$RUN/save/$f" "$WORK/fold_$label/$f"; then
      "$CHECK" same_shape "$RUN/save/$f" "$WORK/fold_$label/$f" >"$WORK/shape.txt"
      fail "$label: $f differs from plicata-fold's: $(cat "$WORK/shape.txt")"
    fi
  done
  [ "$(frame_count "$RUN/save")" -eq $((K + 1)) ] || fail "$label: the window wrote $(frame_count "$RUN/save") frames"
  ok "$label: '>>' $K times writes the frames of plicata-fold --display-frame --fold-step 40 --steps $K, byte for byte"
done

exit 0
