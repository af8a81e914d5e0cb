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

work=$(mktemp -d /tmp/qx375-loss.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)

mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" HOME="$work/run"
export PULSE_SERVER="unix:$work/run/native"
start_server() {
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix socket=$work/run/native auth-anonymous=1" \
        -L "module-null-sink sink_name=listener rate=44100" >>"$work/pulse.log" 2>&1 &
    server=$!
    pids+=($server)
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
}
start_server
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done

cp -r "$build/stage" "$work/program"
cd "$work/program"
printf '[setup]\nPatternMode=0\nLoopMode=0\nSpeed=100\nautoload_0=demo.drm\n[main]\nfirstuse=0\n' \
    >qx375.ini
export DISPLAY=":$display"
QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=pulseaudio ./qx375 >"$work/program.log" 2>&1 &
program=$!
pids+=($program)
window=$(xdotool search --sync --onlyvisible --name '^QX375$' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"

# The rim shot on every fourth step of the demo song's blank 24-step pattern.
px() { echo $(((($1) * 4 + 2) / 5)); }
menu=$((HEIGHT - $(px 650)))
cell_left=(331 361 390 420 447 476 508 538 569 597 626 657 684 715 745 773 801 832 860 890 921 950 980 1010)
for step in 1 5 9 13 17 21; do
    xdotool mousemove $((X + $(px "${cell_left[step - 1]}") + 6)) \
        $((Y + menu + $(px 356) + 7)) click 1
    sleep 0.1
done
start_stop() { xdotool windowfocus "$window" key Return; }
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
