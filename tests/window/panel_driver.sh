# Shared by the window test scripts that drive the control panel (sourced):
# waiting for a condition, finding a control in the layout the panel writes
# (PLICATA_PANEL_LAYOUT), clicking it and typing into it. The script sets
# LAYOUT, WIN and APP_PID and defines fail().

# Waits up to $2 seconds for the command $1 to succeed; gives up early when
# the program has ended. Waits return as soon as their condition holds; the
# slack only lengthens them on a loaded machine or in the sanitizer build.
SLACK=${PLICATA_UI_SLACK:-4}
wait_for() {
  local i
  for ((i = 0; i < $2 * 20 * SLACK; i++)); do
    eval "$1" && return 0
    # The program may end between the condition and this check: its
    # condition is asked once more before giving up.
    if [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null; then
      eval "$1"
      return
    fi
    sleep 0.05
  done
  return 1
}

# Whether the program has ended (gone, or a zombie not yet waited for).
ended() {
  local state
  state=$(ps -o stat= -p "$APP_PID" 2>/dev/null)
  [ -z "$state" ] || [ "${state:0:1}" = Z ]
}

# The centre of a control (kind, label) or of one of its parts, in the main
# window's pixels ("0 0" for a control not shown, as in a closed rollout).
control_centre() {  # $1 kind, $2 label, [$3 part]
  local line
  if [ $# -ge 3 ]; then
    line=$(awk -F'\t' -v n="$2" -v p="$3" '$1 == "part" && $2 == n && $3 == p {print $4, $5, $6, $7; exit}' "$LAYOUT")
  else
    line=$(awk -F'\t' -v k="$1" -v n="$2" '$1 == k && $2 == n {print $3, $4, $5, $6; exit}' "$LAYOUT")
  fi
  [ -n "$line" ] || return 1
  read -r x y w h <<<"$line"
  echo "$((x + w / 2)) $((y + h / 2))"
}
control_value() {  # $1 kind, $2 label
  awk -F'\t' -v k="$1" -v n="$2" '$1 == k && $2 == n {print $7; exit}' "$LAYOUT"
}
# Clicks a control once the panel shows it (a rollout just opened shows its
# controls a frame later).
click() {  # $1 kind, $2 label, [$3 part]
  local c args=("$@")
  wait_for 'c=$(control_centre "${args[@]}") && [ "$c" != "0 0" ]' 3 || fail "no control $1 '$2' ${3:-}"
  # shellcheck disable=SC2086
  xdotool mousemove --window "$WIN" $c click 1
  sleep 0.3
}
type_into() {  # $1 kind, $2 label, $3 text: replaces the text of a field
  click "$1" "$2" field
  xdotool key ctrl+a
  # Slowly: the same key twice within a millisecond looks like key repeat.
  xdotool type --delay 80 -- "$3"
  xdotool key Return
  sleep 0.3
}
