#!/bin/bash
# One session of the real studio on its own accessibility bus (run it inside
# dbus-run-session): starts zolvex-studio with the given project, drives it with
# drive_studio.py, sends the keys, takes a screenshot and ends the studio.
#   studio-session.sh STUDIO PROJECT SHOT LOG STEP...
# Steps are drive_studio.py's, plus key:KEYS (xdotool key names), dblclick:X,Y, shotto:PATH, shot (the
# screenshot, taken where it stands in the steps), autosaved (waits up to 30 s for a
# whole autosave in the data folder) and crash (kills the studio outright there and
# then, as a crash would). DISPLAY and the data folder
# come from the environment.
set -u
studio=$1 project=$2 shot=$3 log=$4
shift 4
here=$(dirname "$0")
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
launcher=$!
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
"$studio" "$project" 2>"$log" &
pid=$!
status=0
for step in "$@"; do
  case "$step" in
    key:*)
      # No window manager gives the window the focus: the keys need it.
      window=$(xdotool search --name '^Zolvex Video Studio' 2>/dev/null | head -1)
      { [ -n "$window" ] && xdotool windowfocus --sync "$window" && xdotool key --delay 100 "${step#key:}"; } ||
        status=1 ;;
    dblclick:*)
      # A double click at X,Y of the screen.
      xy=${step#dblclick:}
      xdotool mousemove --sync "${xy%,*}" "${xy#*,}" click --repeat 2 --delay 80 1 || status=1 ;;
    autosaved)
      # The side record is written after the copy, so its presence means both are whole.
      found=
      for _ in $(seq 300); do
        if compgen -G "$ZOLVEX_DATA_DIR/Autosave/*.info" >/dev/null; then found=1; break; fi
        sleep 0.1
      done
      [ -n "$found" ] || { echo "studio-session: no autosave appeared" >&2; status=1; break; } ;;
    crash)
      kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null ;;
    shot)
      ffmpeg -v error -y -f x11grab -video_size 1280x800 -i "$DISPLAY" -frames:v 1 "$shot" || status=1 ;;
    shotto:*)
      ffmpeg -v error -y -f x11grab -video_size 1280x800 -i "$DISPLAY" -frames:v 1 "${step#shotto:}" || status=1 ;;
    *)
      /usr/bin/python3 "$here/drive_studio.py" "$step" || { status=1; break; } ;;
  esac
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
kill "$launcher" 2>/dev/null
exit $status
