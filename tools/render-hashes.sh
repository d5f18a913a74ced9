#!/usr/bin/env bash
# Renders the demo take and a fixed stereo noise through every factory preset in both chain modes and
# prints one SHA-256 per render, so that two builds can be shown to sound bit-identical (or, with
# --keep, compared sample by sample).
# Usage: tools/render-hashes.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
mkdir -p "$work"

"$build/tools/vantora-demo-take" "$work/demo.wav"
# 20 s of uniform white noise at -12 dBFS peak, 48 kHz stereo 24-bit, from a fixed seed.
python3 - "$work/noise.wav" <<'PY'
import random, struct, sys, wave
rng = random.Random(20261210)
frames = bytearray()
for _ in range(48000 * 20):
    for _ in range(2):
        v = int(round(rng.uniform(-0.25, 0.25) * 8388607))
        frames += struct.pack('<i', v)[:3]
with wave.open(sys.argv[1], 'wb') as w:
    w.setnchannels(2); w.setsampwidth(3); w.setframerate(48000); w.writeframes(bytes(frames))
PY

for input in demo noise; do
    for preset in "Mix Clean" "YT Punch" "Streaming Safe" "Minimal" "Beatbox Tight"; do
        for mode in 0 1; do
            out="$work/$input-${preset// /-}-mode$mode.wav"
            "$build/tools/vantora-render" "$work/$input.wav" "$out" --preset "$preset" --set "chainmode=$mode" --float >/dev/null
            printf '%s  %s\n' "$(sha256sum "$out" | cut -d' ' -f1)" "$(basename "$out")"
        done
    done
done
