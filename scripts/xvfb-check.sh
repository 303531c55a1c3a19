#!/usr/bin/env bash
# Starts the built tagsmith on a virtual X server (no notification area
# there, so its window opens at start), checks that the window appears on the
# screen, then ends it with SIGTERM and checks that it ended cleanly: status
# 0, within a second, no temporary files and no lock files of the settings
# store left. Runs in a temporary home; optionally saves a screenshot.
#
#   scripts/install-deps.sh --xvfb && scripts/xvfb-check.sh [build/bin/tagsmith] [SCREENSHOT.xwd]
set -euo pipefail

program=${1:-build/bin/tagsmith}
shot=${2:-}
[ -x "$program" ] || { echo "xvfb-check: $program is not built (make build)" >&2; exit 2; }
for tool in Xvfb xwininfo xdotool; do
  command -v "$tool" >/dev/null || { echo "xvfb-check: $tool is missing (scripts/install-deps.sh --xvfb)" >&2; exit 2; }
done

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  case "$work" in /tmp/tmp.*) rm -rf -- "$work" ;; esac
}
trap cleanup EXIT

# A free display number: Xvfb writes the one it took.
exec 7> "$work/display"
Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -n1 "$work/display")"
[ "$display" != ":" ] || { echo "xvfb-check: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
       XDG_DATA_HOME="$work/home/.local/share" DISPLAY="$display"
mkdir -p "$HOME"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

"$program" >"$work/out" 2>"$work/err" &
app_pid=$!
found=""
for _ in $(seq 200); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Tagsmith v1.1"'; then found=yes; break; fi
  sleep 0.05
done
[ -n "$found" ] || { echo "xvfb-check: no window \"Tagsmith v1.1\" appeared" >&2; cat "$work/err" >&2; exit 1; }
echo "xvfb-check: the window appeared on $display:"
xwininfo -root -tree | grep '"Tagsmith v1.1"' | head -n1
sleep 0.5

# It answers: a click on the menu bar's first menu opens that menu, a window
# of its own.
geometry=$(xwininfo -root -tree | grep '"Tagsmith v1.1"' | head -n1 | grep -oE '[0-9]+x[0-9]+\+[0-9]+\+[0-9]+' | head -n1)
wx=$(echo "$geometry" | sed -E 's/.*\+([0-9]+)\+([0-9]+)$/\1/')
wy=$(echo "$geometry" | sed -E 's/.*\+([0-9]+)\+([0-9]+)$/\2/')
before=$(xwininfo -root -children | grep -c '0x' || true)
xdotool mousemove $((wx + 18)) $((wy + 10)) click 1
answered=""
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"File"\|QMenu\|qt-menu'; then answered=yes; break; fi
  now=$(xwininfo -root -children | grep -c '0x' || true)
  if [ "$now" -gt "$before" ]; then answered=yes; break; fi
  sleep 0.05
done
[ -n "$answered" ] || { echo "xvfb-check: the window did not answer a click on its menu bar" >&2; exit 1; }
echo "xvfb-check: a click on the menu bar opened the File menu"
if [ -n "$shot" ] && command -v xwd >/dev/null; then xwd -root -silent > "$shot"; echo "xvfb-check: screen in $shot"; fi

start=$(date +%s%N)
kill -TERM "$app_pid"
status=0
wait "$app_pid" || status=$?
app_pid=""
took=$(( ($(date +%s%N) - start) / 1000000 ))
echo "xvfb-check: ended with status $status ${took} ms after SIGTERM"
[ "$status" -eq 0 ] || { cat "$work/err" >&2; exit 1; }
[ "$took" -lt 1000 ] || { echo "xvfb-check: took longer than a second" >&2; exit 1; }
left=$(find "$XDG_CACHE_HOME/Quorindo" -mindepth 3 2>/dev/null; ls "$XDG_CONFIG_HOME"/Quorindo/registry.sqlite3-* 2>/dev/null || true)
[ -z "$left" ] || { echo "xvfb-check: left behind:" >&2; echo "$left" >&2; exit 1; }
echo "xvfb-check: nothing left behind"
