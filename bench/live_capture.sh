#!/usr/bin/env bash
# Listens to the drum machine the way a user hears it (listening_session.sh:
# Xvfb, a private PulseAudio server with a null sink, a pattern clicked in),
# starts it with Enter, records the sink's monitor with parecord for SECONDS
# and reports what a listener would notice: dropouts
# (runs of exact silence cutting into a sound), hits and beat jumps, with the
# program's CPU and memory while it played.
#   bench/live_capture.sh [SECONDS] [BUILD_DIR] [KEEP.wav]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${2:-$root/build}" && pwd)
keep=${3:-}
. "$root/bench/listening_session.sh"
at_exit() {
    if [ -n "$keep" ] && [ -f "$work/heard.wav" ]; then
        cp "$work/heard.wav" "$keep"
    fi
}
start_stop

ticks() { awk '{print $14 + $15}' "/proc/$program/stat"; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$program/status"; }
sleep 3
# The listener must not be the one that drops sound: the recorder runs at the
# sound server's priority where it may (as root), above the load under test.
nice -n -11 parecord -d listener.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav \
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
end_program

echo "program: $(basename "$build")/stage, SDL on PulseAudio (null sink), $seconds s recorded"
"$build/bench/capture_check" "$work/heard.wav" || true
echo "output latency: ${buffered} ms queued by the server + ${sink} ms in the sink; a sound asked for waits up to one block more"
echo "cpu while playing: $(echo "scale=1; 100 * $used / $(getconf CLK_TCK) / $elapsed" | bc) % of a core"
echo "resident memory: $((peak_rss / 1024)) MiB at most"
