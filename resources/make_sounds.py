#!/usr/bin/env python3
"""Writes the viewer's two recording sounds as PCM WAVE files (44,100 Hz, 16-bit
stereo): a rising pair of tones when a recording starts (1,017 ms) and a falling
pair when it stops (1,287 ms).

Usage: make_sounds.py <start.wav> <stop.wav>
"""
import math
import struct
import sys

RATE = 44100
CHANNELS = 2
BITS = 16
FADE_S = 0.012     # soft edges, so that no tone clicks
GAP_S = 0.06       # silence between the two tones
LEVEL = 0.45       # of full scale


def samples_for(ms):
    # Whole samples nearest to the duration.
    return int(round(ms * RATE / 1000.0))


def tone(freq, length):
    fade = int(FADE_S * RATE)
    out = []
    for i in range(length):
        env = min(1.0, i / fade, (length - 1 - i) / fade)
        # A little of the octave makes the tone easier to hear at low volume.
        x = 2.0 * math.pi * freq * i / RATE
        v = LEVEL * env * (0.8 * math.sin(x) + 0.2 * math.sin(2.0 * x))
        out.append(int(round(v * 32767)))
    return out


def tone_pair(total, first_hz, second_hz):
    gap = int(GAP_S * RATE)
    length = (total - gap - int(0.04 * RATE)) // 2
    out = tone(first_hz, length) + [0] * gap + tone(second_hz, length)
    return out + [0] * (total - len(out))


def write_wave(path, mono):
    frames = b"".join(struct.pack("<hh", s, s) for s in mono)
    block = CHANNELS * BITS // 8
    fmt = struct.pack("<HHIIHH", 1, CHANNELS, RATE, RATE * block, block, BITS)
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt +
            b"data" + struct.pack("<I", len(frames)) + frames)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def main(start_path, stop_path):
    write_wave(start_path, tone_pair(samples_for(1017), 660.0, 880.0))
    write_wave(stop_path, tone_pair(samples_for(1287), 880.0, 587.33))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
