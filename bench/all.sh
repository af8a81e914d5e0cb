#!/usr/bin/env bash
# Runs every benchmark of bench/ on a build and prints one table of figures.
#   bench/all.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: bench/all.sh BUILD_DIR}" && pwd)
bench=$build/bench
export QT_QPA_PLATFORM=offscreen
# No sound card for the live figures: the null clock plays in real time.
export SDL_AUDIODRIVER=none

rows=()
row() { rows+=("| $1 | $2 |"); }

# A Google Benchmark figure: COLUMN of benchmark NAME of the program BENCH,
# times in nanoseconds whatever unit the benchmark chose.
gbench() {
    "$bench/$1" --benchmark_filter="^$2\$" --benchmark_format=csv 2>/dev/null |
        awk -F, -v column="$3" '
            { gsub(/"/, "") }
            NR == 1 { for (i = 1; i <= NF; i++) at[$i] = i; next }
            {
                value = $(at[column])
                if (column ~ /_time$/) {
                    unit = $(at["time_unit"])
                    value *= unit == "ms" ? 1e6 : unit == "us" ? 1e3 : unit == "s" ? 1e9 : 1
                }
                print value
            }'
}
# Lines "FIGURE|what|value" of the other programs.
figures() {
    while IFS='|' read -r tag what value; do
        [ "$tag" = FIGURE ] && row "$what" "$value"
    done
}

echo "Running the benchmarks of $build (a few minutes)..." >&2
mix=BM_MixBlock16Voices/min_time:2.000
voices=$(gbench mixer_bench $mix voices_per_core | awk '{printf "%.0f", $1}')
callback=$(gbench mixer_bench $mix callback_core_pct | awk '{printf "%.2f", $1}')
row "mixer, 16 voices of mixed formats and rates" \
    "$voices voices per core; a 256-frame audio callback $callback % of a core"
row "grid refresh (getpatern), all 360 controls changing" \
    "$(gbench ui_bench BM_GridRefresh real_time | awk '{printf "%.2f ms", $1 / 1e6}')"
row "sequencer tick at the fastest tempo, 16 sounds; with a pattern start's refresh" \
    "$(gbench ui_bench BM_Tick/refresh:0 real_time | awk '{printf "%.1f µs", $1 / 1e3}'); $(
        gbench ui_bench BM_Tick/refresh:1 real_time | awk '{printf "%.2f ms", $1 / 1e6}')"
row "editing history: a thousand grid clicks, then all undone" \
    "$(gbench ui_bench BM_EditHistory real_time | awk '{printf "%.0f ms", $1 / 1e6}'); $(
        gbench ui_bench BM_EditHistory bytes_per_step | awk '{printf "%.1f KiB a step", $1 / 1024}')"
row "song save, 256 patterns, flushed to disk" \
    "$(gbench song_bench BM_SaveSong real_time | awk '{printf "%.1f ms", $1 / 1e6}')"
row "song load, with its 16 samples" \
    "$(gbench song_bench BM_LoadSongWith16Samples real_time | awk '{printf "%.1f ms", $1 / 1e6}')"
kit_read=$(gbench kit_bench BM_ReadLargestDebianKit real_time | awk '$1 > 0 {printf "%.2f ms", $1 / 1e6}')
kit_load=$(gbench kit_bench BM_LoadLargestDebianKit real_time | awk '$1 > 0 {printf "%.0f ms", $1 / 1e6}')
row "kit load, Debian's largest: read and mapped; with its samples decoded into buffers" \
    "${kit_read:-hydrogen-drumkits not installed}${kit_load:+; $kit_load}"
row "kit archive of 16 one-second drums, unpacked and mapped" \
    "$(gbench kit_bench BM_ReadGeneratedArchive real_time | awk '{printf "%.1f ms", $1 / 1e6}')"
figures < <("$bench/onset_bench" 30 | sed -n 's/^stamped starts: \([0-9]*\).*on their exact frame: \([0-9]*\)/FIGURE|starts stamped 23 ms apart by a thread woken up to 8 ms late, 30 s, null clock|\2 of \1 on their exact frame/p')
recorder=$("$bench/recorder_bench")
figures < <(sed -n 's/^save: \(.*\) written and flushed in \([0-9]* ms\).*/FIGURE|saving a 5-minute export (\1)|\2/p' <<<"$recorder")
figures < <(sed -n 's/^finish_at: returned to the window thread in \([0-9]*\) us/FIGURE|ending that export: time on the window thread|\1 µs/p' <<<"$recorder")
figures < <("$bench/render_bench" "$build/tools/render/qx375-render" "$build/stage" 5)
figures < <("$bench/export_bench" "$build/tools/render/qx375-render" "$build/stage" 2>/dev/null)
figures < <("$bench/program_bench" "$build/stage" startup 11)
figures < <("$bench/program_bench" "$build/stage" playing 20)
figures < <("$bench/program_bench" "$build/stage" idle 20)
figures < <("$bench/timing_check" 20 | sed -n 's/^largest distance from the ideal grid: \(.*\)/FIGURE|20 s of a looped song through the window, its timer and the null clock: largest distance of a hit from the grid|\1/p')
figures < <("$bench/export_live" 8 | sed -n 's/^largest distance of a click from the grid: \(.*\)/FIGURE|an export of 128 steps in real time on the null clock: largest distance of a click from the grid|\1/p')
# Through JACK, on private servers of the benchmark's own.
for period in 64 128 256; do
    figures < <("$bench/jack_bench" midi $period 200)
done
for period in 64 128 512; do
    figures < <("$bench/jack_bench" watch $period "the program playing the dense song, window repainting" \
        "$bench/program_bench" "$build/stage" playing 600 "through JACK at $period frames")
done
figures < <("$bench/jack_bench" flood 60)
figures < <("$bench/jack_bench" watch 128 "JACK's example client jack_metro, to compare" \
    timeout 123 jack_metro -b 120)
# Keeping time with others: MIDI clock out for ten minutes, clock in, the
# transport, and Link between two instances on a network of their own.
figures < <("$bench/sync_bench" clock-out 600 16)
figures < <("$bench/sync_bench" clock-out 60 14)
figures < <("$bench/sync_bench" clock-in 60)
figures < <("$bench/sync_bench" transport 100)
figures < <(bash "$(dirname "$0")/../tests/support/private_network.sh" "$bench/sync_bench" link 300)
# What SDL itself tries when no card answers, not the silent driver above.
figures < <(env -u SDL_AUDIODRIVER "$bench/device_probe" 10 2>/dev/null | sed -n 's/^trying a card that is not there: median \([0-9.]* ms\).*/FIGURE|trying the sound card again at a start of playback, without one|\1/p')

echo
echo "| what | figure |"
echo "|---|---|"
printf '%s\n' "${rows[@]}"
