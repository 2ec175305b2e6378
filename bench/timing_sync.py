#!/usr/bin/env python3
"""How well and how fast `lumbra-cli sync` lines subtitles up with speech.

  timing_sync.py --cli build-release/bin/lumbra-cli [--cases 20] [--minutes 5 10] [--work DIR]

Makes --cases videos of speech (espeak-ng, several voices, pink noise from
none to loud, passages of tones, aac/opus/ac3) with tests/timing/speech_case.py,
each with a subtitle put out of step by a known transform: offsets up to
±60 s, some stretched by a frame-rate ratio, some with lines missing, and
every fifth one in step. For each case it reports whether the measured
transform puts the median cue start within 100 ms of the truth, the wall and
CPU time of `sync` and of `ffmpeg` decoding the same audio alone to 8 kHz mono
(the floor of any audio method), and the peak RSS. Then it loops the first
case into a 2-hour film and measures that once.

Cases are kept in --work between runs (delete it to make new ones).
"""
import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MAKER = os.path.join(HERE, "..", "tests", "timing", "speech_case.py")
VOICES = ["en-us", "en-gb+f3", "en-gb-scotland+m3", "en-029+f2", "en-us+m7", "en-gb-x-rp+f4"]
NOISE = [0.0, 0.02, 0.05, 0.1, 0.2, 0.3]
CODECS = ["aac", "opus", "ac3"]
RATIOS = [25 / (24000 / 1001), (24000 / 1001) / 25, 24 / (24000 / 1001), 25 / 24]


def run(cmd):
    """Runs cmd; returns (exit code, stdout, wall s, cpu s, peak RSS KiB)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    return os.waitstatus_to_exitcode(status), out.decode(), wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def case_plan(i, minutes):
    rng = random.Random(1000 + i)
    plan = {
        "seconds": rng.uniform(minutes[0], minutes[1]) * 60,
        "voices": [VOICES[i % len(VOICES)], VOICES[(i + 2) % len(VOICES)]],
        "noise": NOISE[i % len(NOISE)],
        "music": i % 3 == 1,
        "codec": CODECS[i % len(CODECS)],
        "offset": 0.0 if i % 5 == 0 else round(rng.uniform(-60, 60), 3),
        "ratio": RATIOS[(i // 4) % len(RATIOS)] if i % 4 == 3 else 1.0,
        "drop": 10 if i % 3 == 2 else 0,
        "notes": i % 6 == 4,
    }
    return plan


def make_case(folder, i, plan):
    if os.path.exists(os.path.join(folder, "truth.json")):
        return
    options = f":drop={plan['drop']}" + (":notes" if plan["notes"] else "")
    cmd = [sys.executable, MAKER, "--out", folder, "--seconds", str(plan["seconds"]), "--seed", str(i),
           "--noise", str(plan["noise"]), "--codec", plan["codec"],
           "--subtitle", f"sub.srt:{plan['offset']}:{plan['ratio']:.10f}{options}"]
    for v in plan["voices"]:
        cmd += ["--voice", v]
    if plan["music"]:
        cmd.append("--music")
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


def median_error(truth_starts, plan, measured):
    """Median |measured(subtitle start) - true start| over the spoken cues."""
    r, o = plan["ratio"], plan["offset"]
    mr, mo = measured
    errors = []
    for t in truth_starts:
        s = max(0.0, (t - o) / r)
        if (t - o) / r < 0:
            continue  # cut at zero in the subtitle: not a fair judge
        errors.append(abs(s * mr + mo - t))
    return statistics.median(errors)


def decode_floor(video):
    return run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-map", "0:a:0", "-ac", "1", "-ar", "8000",
                "-f", "null", "-"])


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cli")
    p.add_argument("--cases", type=int, default=20)
    p.add_argument("--minutes", type=float, nargs=2, default=[5, 10])
    p.add_argument("--work", default="/tmp/lumbra-timing-bench")
    p.add_argument("--skip-long", action="store_true")
    p.add_argument("--make-only", action="store_true", help="only make the cases")
    args = p.parse_args()
    if args.make_only:
        for i in range(args.cases):
            make_case(os.path.join(args.work, f"case{i:02}"), i, case_plan(i, args.minutes))
        return

    rows = []
    print(f"{'case':>4} {'min':>5} {'noise':>5} {'codec':>5} {'offset':>8} {'ratio':>8} {'found':>20} "
          f"{'conf':>5} {'err ms':>7} {'ok':>3} {'sync s':>7} {'cpu s':>6} {'ffmpeg s':>8} {'cpu s':>6} {'RSS MiB':>7}")
    for i in range(args.cases):
        plan = case_plan(i, args.minutes)
        folder = os.path.join(args.work, f"case{i:02}")
        make_case(folder, i, plan)
        with open(os.path.join(folder, "truth.json")) as f:
            truth = json.load(f)
        starts = [c["start"] for c in truth["cues"] if c["kind"] == "speech"]
        code, out, wall, cpu, rss = run([args.cli, "sync", "--json", truth["video"], os.path.join(folder, "sub.srt")])
        result = json.loads(out) if out.strip() else {}
        _, _, ff_wall, ff_cpu, _ = decode_floor(truth["video"])
        sure = code == 0
        measured = (result.get("ratio", 1.0), result.get("offset_ms", 0) / 1000) if sure else (1.0, 0.0)
        error = median_error(starts, plan, measured)
        ok = sure and error <= 0.1
        in_step = plan["offset"] == 0 and plan["ratio"] == 1
        moved_wrongly = in_step and result.get("fix_advised", False) and error > 0.1
        rows.append({"ok": ok, "sure": sure, "in_step": in_step, "moved_wrongly": moved_wrongly,
                     "wall": wall, "cpu": cpu, "ff_wall": ff_wall, "ff_cpu": ff_cpu, "rss": rss})
        found = f"{result.get('offset_ms', '-')}ms x{result.get('ratio', 1):.5f}" if result else "-"
        print(f"{i:>4} {truth['seconds'] / 60:>5.1f} {plan['noise']:>5} {plan['codec']:>5} {plan['offset']:>8.2f} "
              f"{plan['ratio']:>8.5f} {found:>20} {result.get('confidence', 0):>5.2f} {error * 1000:>7.0f} "
              f"{'yes' if ok else 'NO':>3} {wall:>7.2f} {cpu:>6.2f} {ff_wall:>8.2f} {ff_cpu:>6.2f} {rss / 1024:>7.1f}",
              flush=True)

    n = len(rows)
    print()
    print(f"aligned within 100 ms: {sum(r['ok'] for r in rows)}/{n} ({100 * sum(r['ok'] for r in rows) / n:.0f} %); "
          f"not sure (left alone): {sum(not r['sure'] for r in rows)}; "
          f"correct subtitles moved by more than 100 ms: {sum(r['moved_wrongly'] for r in rows)} "
          f"of {sum(r['in_step'] for r in rows)}")
    wall_ratio = statistics.median(r["wall"] / r["ff_wall"] for r in rows)
    cpu_ratio = statistics.median(r["cpu"] / r["ff_cpu"] for r in rows)
    print(f"median time per case: sync {statistics.median(r['wall'] for r in rows):.2f} s wall, "
          f"{statistics.median(r['cpu'] for r in rows):.2f} s CPU; ffmpeg decode alone "
          f"{statistics.median(r['ff_wall'] for r in rows):.2f} s wall, {statistics.median(r['ff_cpu'] for r in rows):.2f} s CPU; "
          f"median ratio sync/ffmpeg: {wall_ratio:.2f}x wall, {cpu_ratio:.2f}x CPU")
    print(f"peak RSS over the cases: {max(r['rss'] for r in rows) / 1024:.1f} MiB")

    if args.skip_long:
        return
    # A 2-hour film: the first case looped, its subtitle repeated each loop.
    folder = os.path.join(args.work, "case00")
    with open(os.path.join(folder, "truth.json")) as f:
        truth = json.load(f)
    loops = int(7200 // truth["seconds"]) + 1
    long_video = os.path.join(args.work, "long.mkv")
    if not os.path.exists(long_video):
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-stream_loop", str(loops - 1), "-i", truth["video"],
                        "-c", "copy", long_video], check=True)
    with open(os.path.join(args.work, "long.srt"), "w") as f:
        n = 1
        for loop in range(loops):
            for c in truth["cues"]:
                if c["kind"] != "speech":
                    continue
                a, b = (c["start"] + loop * truth["seconds"] + 12.5, c["end"] + loop * truth["seconds"] + 12.5)
                f.write(f"{n}\n{srt(a)} --> {srt(b)}\n{c['text']}\n\n")
                n += 1
    code, out, wall, cpu, rss = run([args.cli, "sync", "--json", long_video, os.path.join(args.work, "long.srt")])
    _, _, ff_wall, ff_cpu, ff_rss = decode_floor(long_video)
    print(f"2-hour film ({loops * truth['seconds'] / 3600:.2f} h, subtitle 12.5 s late): exit {code} {out.strip()}")
    print(f"  sync {wall:.1f} s wall, {cpu:.1f} s CPU, peak RSS {rss / 1024:.1f} MiB; "
          f"ffmpeg decode alone {ff_wall:.1f} s wall, {ff_cpu:.1f} s CPU, peak RSS {ff_rss / 1024:.1f} MiB")


def srt(seconds):
    ms = round(seconds * 1000)
    return f"{ms // 3600000:02}:{ms // 60000 % 60:02}:{ms // 1000 % 60:02},{ms % 1000:03}"


if __name__ == "__main__":
    main()
