#!/usr/bin/env bash
# Listens to the drum machine the way a user hears it. On a private X server
# (Xvfb) and a private PulseAudio server whose only output is a null sink, it
# starts the program in a copy of the staged data, programs a
# pattern by clicking its cells, starts it with Enter, records the sink's
# monitor with parecord and reports what a listener would notice: dropouts
# (runs of exact silence cutting into a sound), hits and beat jumps, with the
# program's CPU and memory while it played.
#   bench/live_capture.sh [SECONDS] [BUILD_DIR] [KEEP.wav]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${2:-$root/build}" && pwd)
keep=${3:-}
"$root/scripts/install-deps" listening

work=$(mktemp -d /tmp/qx375-live.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if [ -n "$keep" ] && [ -f "$work/heard.wav" ]; then
        cp "$work/heard.wav" "$keep"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# A display nobody uses.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)

mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" HOME="$work/run"
export PULSE_SERVER="unix:$work/run/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    -L "module-native-protocol-unix socket=$work/run/native auth-anonymous=1" \
    -L "module-null-sink sink_name=listener rate=44100" >"$work/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done

cp -r "$build/stage" "$work/program"
cd "$work/program"
# Pattern mode on the demo song's measure 0, a blank 24-step pattern, with no
# language question at the start.
printf '[setup]\nPatternMode=0\nLoopMode=0\nSpeed=100\nautoload_0=demo.drm\n[main]\nfirstuse=0\n' \
    >qx375.ini
program_file=$build/app/qx375
[ -x "$program_file" ] || program_file=$build/stage/qx375 # a build from before the launcher
DISPLAY=":$display" QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=pulseaudio "$program_file" \
    >"$work/program.log" 2>&1 &
program=$!
pids+=($program)
export DISPLAY=":$display"
window=$(xdotool search --sync --onlyvisible --name '^QX375$' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"

# The form is laid out in design units shown at 0.8; the menu bar sits above.
px() { echo $(((($1) * 4 + 2) / 5)); }
menu=$((HEIGHT - $(px 650)))
cell_left=(331 361 390 420 447 476 508 538 569 597 626 657 684 715 745 773 801 832 860 890 921 950 980 1010)
rim_row_top=356 # row 8, the rim shot: a short sound, so every hit starts in silence
for step in 1 5 9 13 17 21; do
    xdotool mousemove $((X + $(px "${cell_left[step - 1]}") + 6)) \
        $((Y + menu + $(px $rim_row_top) + 7)) click 1
    sleep 0.1
done
xdotool windowfocus "$window" key Return

ticks() { awk '{print $14 + $15}' "/proc/$program/stat"; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$program/status"; }
sleep 3
parecord -d listener.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav \
    "$work/heard.wav" &
recorder=$!
pids+=($recorder)
start_ticks=$(ticks)
start_time=$(date +%s.%N)
peak_rss=0
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
    rss=$(rss_kib)
    [ "$rss" -gt "$peak_rss" ] && peak_rss=$rss
    sleep 1
done
used=$(($(ticks) - start_ticks))
# What the server queues of ours, and its own buffer after that.
latency() { pactl list sink-inputs | awk -v what="$1" '$0 ~ what {print $3 / 1000}'; }
buffered=$(latency "Buffer Latency")
sink=$(latency "Sink Latency")
elapsed=$(echo "$(date +%s.%N) - $start_time" | bc)
kill -INT "$recorder"
wait "$recorder" 2>/dev/null || true
# The clicks changed the song: the program asks whether to save it.
kill -TERM "$program"
for _ in $(seq 30); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
kill -KILL "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true

echo "program: $(basename "$build")/stage, SDL on PulseAudio (null sink), $seconds s recorded"
"$build/bench/capture_check" "$work/heard.wav" || true
echo "output latency: ${buffered} ms queued by the server + ${sink} ms in the sink; a sound asked for waits up to one block more"
echo "cpu while playing: $(echo "scale=1; 100 * $used / $(getconf CLK_TCK) / $elapsed" | bc) % of a core"
echo "resident memory: $((peak_rss / 1024)) MiB at most"
