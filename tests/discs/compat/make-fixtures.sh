#!/bin/sh
# Makes the MP3 fixtures of the sdl12-compat test with Debian's lame (3.100).
# They are committed; run this only to remake them. Each is a quiet sine tone
# of an exact number of samples; the test's expectations follow from those
# numbers and from how LAME frames them (see CompatTest.cpp).
set -eu
cd "$(dirname "$0")"
tone() { # name rate channels samples
    python3 - "$@" <<'PY'
import math, struct, sys, wave
name, rate, channels, samples = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
with wave.open(name, "wb") as w:
    w.setnchannels(channels)
    w.setsampwidth(2)
    w.setframerate(rate)
    frame = lambda i: struct.pack("<h", int(3000 * math.sin(2 * math.pi * 440 * i / rate)))
    w.writeframes(b"".join(frame(i) * channels for i in range(samples)))
PY
}
tone t1.wav 44100 2 132300 && lame --quiet -b 128 t1.wav track01.mp3
printf 'not audio\n' > track02.dat
tone t3.wav 44100 1 88200 && lame --quiet -b 64 t3.wav track03.mp3
tone t4.wav 48000 2 67200 && lame --quiet -b 128 t4.wav track04.mp3
rm -f t1.wav t3.wav t4.wav
