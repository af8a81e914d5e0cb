# Sourced by the scripts that listen to the program the way a user hears it
# (live_capture.sh, device_loss.sh): a private X server (Xvfb), a private
# PulseAudio server whose only output is the null sink "listener", and the
# program started from a copy of the staged data in pattern mode on the demo
# song's blank 24-step pattern, its rim shot clicked in on every fourth step.
# The caller sets `root` and `build`; this sets `work`, `pids`, `window`,
# `program` and the functions below.
"$root/scripts/install-deps" listening

work=$(mktemp -d /tmp/qx375-listen.XXXXXX)
pids=()
# What the caller wants done before the scratch folder goes.
at_exit() { :; }
cleanup() {
    for pid in "${pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    at_exit
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
export DISPLAY=":$display"

cp -r "$build/stage" "$work/program"
cd "$work/program"
printf '[setup]\nPatternMode=0\nLoopMode=0\nSpeed=100\nautoload_0=demo.drm\n[main]\nfirstuse=0\n' \
    >qx375.ini
program_file=$build/app/qx375
[ -x "$program_file" ] || program_file=$build/stage/qx375 # a build from before the launcher
QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=pulseaudio "$program_file" >"$work/program.log" 2>&1 &
program=$!
pids+=($program)
window=$(xdotool search --sync --onlyvisible --name '^QX375$' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"

# The rim shot, a short sound, so that every hit starts in silence. The form
# is laid out in design units shown at 0.8, under the menu bar.
px() { echo $(((($1) * 4 + 2) / 5)); }
menu=$((HEIGHT - $(px 650)))
cell_left=(331 361 390 420 447 476 508 538 569 597 626 657 684 715 745 773 801 832 860 890 921 950 980 1010)
for step in 1 5 9 13 17 21; do
    xdotool mousemove $((X + $(px "${cell_left[step - 1]}") + 6)) \
        $((Y + menu + $(px 356) + 7)) click 1
    sleep 0.1
done
start_stop() { xdotool windowfocus "$window" key Return; }

# The clicks changed the song: on SIGTERM the program asks whether to save
# it, and nobody answers.
end_program() {
    kill -TERM "$program"
    for _ in $(seq 30); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
}
