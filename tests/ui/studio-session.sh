#!/bin/bash
# One session of the real studio on its own accessibility bus (run it inside
# dbus-run-session): starts zolvex-studio with the given project, drives it with
# drive_studio.py, sends the keys, takes a screenshot and ends the studio.
#   studio-session.sh STUDIO PROJECT SHOT LOG STEP...
# Steps are drive_studio.py's, plus key:KEYS (xdotool key names) and shot (the
# screenshot, taken where it stands in the steps). DISPLAY and the data folder
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
      xdotool mousemove 640 300 && xdotool key --delay 100 "${step#key:}" || status=1 ;;
    shot)
      ffmpeg -v error -y -f x11grab -video_size 1280x800 -i "$DISPLAY" -frames:v 1 "$shot" || status=1 ;;
    *)
      /usr/bin/python3 "$here/drive_studio.py" "$step" || { status=1; break; } ;;
  esac
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
kill "$launcher" 2>/dev/null
exit $status
