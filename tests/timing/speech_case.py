#!/usr/bin/env python3
"""Makes a video whose speech is known to the millisecond, and subtitles for it.

espeak-ng speaks random lines at chosen times; the audio can carry pink noise
and passages of music-like tones; ffmpeg muxes it with a tiny video track.
Subtitles are written from the true cue times through the inverse of a
transform, so that the transform t' = t * ratio + offset is what a correct
measurement finds.

    speech_case.py --out DIR --seconds 40 --seed 1 \
        --subtitle late.srt:2.5:1 --subtitle stretched.srt:0:1.0427:drop=3

Writes DIR/video.<container> and DIR/truth.json (the true cues); prints the
video's path.
"""
import argparse
import array
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import wave

RATE = 22050
WORDS = ("time people year way day thing man world life hand part child eye woman place work week case point "
         "number group problem fact night water money story month lot right study book word business issue "
         "side kind head house service friend father power hour game line end member law car city name "
         "president team minute idea kid body information back parent face others level office door health "
         "person art war history party result change morning reason research girl guy moment air teacher "
         "force education going never always maybe tomorrow really listen quickly remember together").split()


def speak(text, voice, speed, workdir, index):
    path = os.path.join(workdir, f"line{index}.wav")
    subprocess.run(["espeak-ng", "-v", voice, "-s", str(speed), "-w", path, text], check=True)
    with wave.open(path, "rb") as w:
        assert w.getframerate() == RATE and w.getsampwidth() == 2 and w.getnchannels() == 1
        samples = array.array("h", w.readframes(w.getnframes()))
    # espeak pads each line with silence; the cue covers the voiced part only.
    loud = [i for i, s in enumerate(samples) if abs(s) > 300]
    if not loud:
        return array.array("h")
    return samples[loud[0]:loud[-1] + 1]


def tones(seconds, rng):
    """Held notes of a few partials, changing every half second or so."""
    out = array.array("h")
    while len(out) < seconds * RATE:
        freq = rng.choice([220, 262, 294, 330, 349, 392, 440, 494])
        length = int(RATE * rng.uniform(0.3, 0.8))
        for i in range(length):
            t = i / RATE
            v = math.sin(2 * math.pi * freq * t) + 0.5 * math.sin(4 * math.pi * freq * t)
            out.append(int(6000 * v))
    return out[: int(seconds * RATE)]


def build_audio(args, rng, workdir):
    voices = args.voice or ["en-us"]
    samples = array.array("h")
    cues = []

    def pad(seconds):
        samples.extend(array.array("h", bytes(2 * int(seconds * RATE))))

    pad(rng.uniform(1.0, 3.0))
    index = 0
    while len(samples) < args.seconds * RATE:
        if args.music and index % 6 == 5:
            start = len(samples) / RATE
            samples.extend(tones(rng.uniform(3, 6), rng))
            cues.append({"start": start, "end": len(samples) / RATE, "text": "[MUSIC]", "kind": "music"})
            pad(rng.uniform(0.5, 1.5))
        text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 9))).capitalize() + "."
        voice = voices[index % len(voices)]
        spoken = speak(text, voice, rng.randint(140, 190), workdir, index)
        start = len(samples) / RATE
        samples.extend(spoken)
        cues.append({"start": start, "end": len(samples) / RATE, "text": text, "kind": "speech"})
        pad(rng.uniform(0.4, 3.5))
        index += 1
    path = os.path.join(workdir, "speech.wav")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())
    return path, len(samples) / RATE, cues


def mux(args, speech, seconds, out):
    codec = {"aac": ["-c:a", "aac", "-b:a", "64k"], "opus": ["-c:a", "libopus", "-b:a", "32k"],
             "ac3": ["-c:a", "ac3", "-b:a", "96k"]}[args.codec]
    video = ["-f", "lavfi", "-i", f"color=c=black:s=32x32:r={args.fps}:d={seconds:.3f}"]
    cmd = ["ffmpeg", "-nostdin", "-loglevel", "error", "-y"] + video
    if args.no_audio:
        cmd += ["-map", "0:v"]
    elif args.noise > 0:
        cmd += ["-i", speech, "-f", "lavfi", "-i",
                f"anoisesrc=color=pink:amplitude={args.noise}:sample_rate={RATE}:duration={seconds:.3f}:seed={args.seed}",
                "-filter_complex", "[1:a][2:a]amix=inputs=2:duration=first:normalize=0[a]",
                "-map", "0:v", "-map", "[a]"] + codec
    else:
        cmd += ["-i", speech, "-map", "0:v", "-map", "1:a"] + codec
    cmd += ["-c:v", "mpeg4", "-shortest", out]
    subprocess.run(cmd, check=True)


def srt_time(seconds):
    ms = max(0, round(seconds * 1000))
    return f"{ms // 3600000:02}:{ms // 60000 % 60:02}:{ms // 1000 % 60:02},{ms % 1000:03}"


def write_subtitle(path, cues, offset, ratio, options, rng):
    drop = int(options.get("drop", 0))
    spoken = [i for i, c in enumerate(cues) if c["kind"] == "speech"]
    dropped = set(rng.sample(spoken, min(drop, len(spoken))))
    kept = [c for i, c in enumerate(cues) if i not in dropped]
    with open(path, "w", encoding="utf-8", newline="\r\n" if "crlf" in options else "\n") as f:
        for n, c in enumerate(kept, 1):
            text = "♪ la la la ♪" if c["kind"] == "music" and "notes" in options else c["text"]
            start, end = (c["start"] - offset) / ratio, (c["end"] - offset) / ratio
            f.write(f"{n}\n{srt_time(start)} --> {srt_time(end)}\n{text}\n\n")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--seconds", type=float, default=30)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--voice", action="append")
    p.add_argument("--noise", type=float, default=0.0, help="pink noise amplitude, 0 to 1")
    p.add_argument("--music", action="store_true", help="passages of tones between lines, cued [MUSIC]")
    p.add_argument("--codec", default="aac", choices=["aac", "opus", "ac3"])
    p.add_argument("--container", default="mkv")
    p.add_argument("--fps", default="25")
    p.add_argument("--no-audio", action="store_true")
    p.add_argument("--subtitle", action="append", default=[],
                   help="NAME:OFFSET:RATIO[:drop=N][:notes][:crlf] written from the true cues")
    args = p.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as workdir:
        speech, seconds, cues = build_audio(args, rng, workdir)
        video = os.path.join(args.out, "video." + args.container)
        mux(args, speech, seconds, video)
    for wanted in args.subtitle:
        name, offset, ratio, *rest = wanted.split(":")
        options = dict(o.split("=") if "=" in o else (o, "1") for o in rest)
        write_subtitle(os.path.join(args.out, name), cues, float(offset), float(ratio), options, rng)
    with open(os.path.join(args.out, "truth.json"), "w") as f:
        json.dump({"video": video, "seconds": seconds, "cues": cues}, f)
    print(video)


if __name__ == "__main__":
    sys.exit(main())
