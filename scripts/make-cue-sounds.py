#!/usr/bin/env python3
"""Writes the two cue sounds the program ships as resources.

cue-in.wav:  one short bright tone (both readings inside a BIN).
cue-out.wav: two low buzzing pulses (either reading Out).
16-bit mono, 22050 Hz. Run again only to change the sounds; the WAV files are
committed beside this script's output folder.
"""
import math
import os
import struct
import sys
import wave

RATE = 22050


def tone(freq, ms, volume=0.5, square=False):
    n = int(RATE * ms / 1000)
    ramp = int(RATE * 0.005)  # 5 ms fade in and out, no clicks
    out = []
    for i in range(n):
        s = math.sin(2 * math.pi * freq * i / RATE)
        if square:
            s = 0.6 * (1.0 if s >= 0 else -1.0) + 0.4 * s
        env = min(1.0, i / ramp, (n - 1 - i) / ramp)
        out.append(int(32767 * volume * s * env))
    return out


def silence(ms):
    return [0] * int(RATE * ms / 1000)


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "src", "platform", "sounds")
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "cue-in.wav"), tone(1760, 110))
    write(os.path.join(folder, "cue-out.wav"),
          tone(220, 140, 0.6, True) + silence(60) + tone(220, 140, 0.6, True))


if __name__ == "__main__":
    main()
