#!/usr/bin/env bash
# Takes the sound server away from the drum machine while it plays, and gives
# it back. On a private X server (Xvfb) and a private PulseAudio server whose
# only output is a null sink, it starts the program, plays a pattern, kills
# the server, and reports whether the program kept running and how many
# message boxes it showed; then it starts the server again, closes the box,
# stops and starts playback, records the sink's monitor and reports whether
# the beat came back whole.
#   bench/device_loss.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
"$root/scripts/install-deps" listening

. "$root/bench/listening_session.sh"
boxes() { xdotool search --onlyvisible --name '^QX375$' | grep -vc "^$window$" || true; }
alive() { kill -0 "$program" 2>/dev/null && echo running || echo gone; }
record() {
    parecord -d listener.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav \
        "$work/$1.wav" &
    local recorder=$!
    sleep "$2"
    kill -INT "$recorder"
    wait "$recorder" 2>/dev/null || true
}

start_stop
sleep 3
record before 4
kill "$server"
wait "$server" 2>/dev/null || true
sleep 3
echo "server killed while playing: program $(alive), message boxes: $(boxes)"
sleep 3
echo "3 s later: program $(alive), message boxes: $(boxes)"

start_server
box=$(xdotool search --onlyvisible --name '^QX375$' | grep -v "^$window$" | head -n 1 || true)
[ -n "$box" ] && xdotool windowfocus --sync "$box" key Return
sleep 0.5
start_stop
sleep 1
# From silence, so that every sound heard is a whole hit. A new stream on the
# null sink stays silent for a second or two.
record after 7 &
listening=$!
sleep 0.5
start_stop
wait "$listening"
echo "server back, playback stopped and started: program $(alive), message boxes: $(boxes)"
echo "== heard before the kill"
"$build/bench/capture_check" "$work/before.wav" || true
echo "== heard after the restart"
"$build/bench/capture_check" "$work/after.wav" || true
