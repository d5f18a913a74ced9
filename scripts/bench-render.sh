#!/usr/bin/env bash
# The render tool against ffmpeg's loudness normaliser on the same file, side by side: 180 s of stereo
# 48 kHz pink noise, each run several times, alternately, so that both see the same machine state.
# Prints every run's wall time and peak memory, and the median ratio of the wall times.
# Usage: scripts/bench-render.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$1
runs=${2:-5}
work=$build/bench-render
mkdir -p "$work"

input=$work/pink-180s.wav
if [[ ! -f $input ]]; then
    # Two independent pink noises, one per channel, at about -20 dBFS RMS, 24-bit.
    ffmpeg -v error -y -f lavfi -i "anoisesrc=color=pink:sample_rate=48000:duration=180:amplitude=0.3:seed=1" \
        -f lavfi -i "anoisesrc=color=pink:sample_rate=48000:duration=180:amplitude=0.3:seed=2" \
        -filter_complex "[0:a][1:a]join=inputs=2:channel_layout=stereo" -c:a pcm_s24le "$input"
fi

timed() { # prints "seconds peak-KiB" of the command
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || { cat "$work/stderr.txt"; exit 1; }
    cat "$work/time.txt"
}

vantora=() ffmpeg_times=()
for ((run = 1; run <= runs; ++run)); do
    read -r v vmem < <(timed "$build/tools/vantora-render" "$input" "$work/vantora.wav" --report)
    read -r f fmem < <(timed ffmpeg -v error -y -i "$input" -af loudnorm=I=-14:TP=-1 -ar 48000 "$work/ffmpeg.wav")
    printf 'run %d: vantora-render %6.2f s (%d MiB), ffmpeg loudnorm %6.2f s (%d MiB)\n' \
        "$run" "$v" $((vmem / 1024)) "$f" $((fmem / 1024))
    vantora+=("$v") ffmpeg_times+=("$f")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
mv_=$(median "${vantora[@]}")
mf=$(median "${ffmpeg_times[@]}")
printf 'input %d MiB; median wall time: vantora-render %.2f s, ffmpeg loudnorm %.2f s, ratio %.2f\n' \
    $(( $(stat -c %s "$input") / 1048576 )) "$mv_" "$mf" "$(awk -v a="$mv_" -v b="$mf" 'BEGIN { print a / b }')"
