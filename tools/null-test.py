#!/usr/bin/env python3
"""Null test between two sets of float WAV renders (as written by tools/render-hashes.sh): prints,
for each file in BASE_DIR that NEW_DIR also holds, the peak of the sample-by-sample difference in
dBFS, and exits non-zero when any exceeds the limit (default -100 dBFS).
Usage: tools/null-test.py BASE_DIR NEW_DIR [LIMIT_DBFS]"""
import array
import math
import pathlib
import struct
import sys


def float_samples(path):
    data = path.read_bytes()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif chunk == b"data":
            samples = array.array("f")
            samples.frombytes(body[: len(body) // 4 * 4])
        pos += 8 + size + (size & 1)
    # 3 is IEEE float; 0xFFFE (extensible) carries it as its sub-format
    if fmt is None or samples is None or fmt[0] not in (3, 0xFFFE) or fmt[5] != 32:
        sys.exit(f"{path}: not a 32-bit float WAV file")
    return samples


def peak_difference_dbfs(base, new):
    if len(base) != len(new):
        return math.inf
    peak = max((abs(a - b) for a, b in zip(base, new)), default=0.0)
    return 20.0 * math.log10(peak) if peak > 0.0 else -math.inf


def main():
    base_dir, new_dir = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else -100.0
    worst = -math.inf
    for base in sorted(base_dir.glob("*.wav")):
        new = new_dir / base.name
        if not new.exists() or base.name in ("demo.wav", "noise.wav"):
            continue
        db = peak_difference_dbfs(float_samples(base), float_samples(new))
        worst = max(worst, db)
        print(f"{base.name:40s} {db:8.1f} dBFS")
    print(f"{'worst':40s} {worst:8.1f} dBFS (limit {limit:.0f})")
    return 0 if worst < limit else 1


if __name__ == "__main__":
    sys.exit(main())
