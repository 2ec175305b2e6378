#!/usr/bin/env python3
"""Throughput of `lumbra-cli get` against the service stand-in, next to a
minimal batched client (minimal_client.py) in the same run.

  throughput.py e2e     --videos N --cli PATH [--cli PATH...] [--runs R]
      Each video (a sparse 700 MiB file) has one English subtitle of about
      46 KB at the stand-in. Every client runs on the same tree in turn (the
      subtitles placed by the one before are removed first); wall time, CPU
      time (user + system) and peak resident memory of each, and a check
      that every video got its subtitle with the right bytes.
  throughput.py strace  --videos N --cli PATH [--cli PATH...]
      System calls per placed subtitle (strace -f -c), with the calls that
      tell most (file syncs, links, renames, sockets, threads) picked out.
  throughput.py nothing --videos N --cli PATH [--cli PATH...]
      `get` over N videos the service does not know: CPU, wall, peak RSS.
  throughput.py memory  --cli PATH [--cli PATH...] [--counts 400 4000]
      Peak resident memory of `get` over each count of videos (each with
      one subtitle, as in e2e), every client on the same tree in turn, and
      how much it grows per video from the smallest count to the largest:
      what a run keeps of each video once its subtitle is placed.

A --cli argument may be LABEL=PATH to name it in the tables.
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
EMULATOR = os.path.join(HERE, "..", "tests", "service-emulator", "emulator.py")
MINIMAL = os.path.join(HERE, "minimal_client.py")
VIDEO_SIZE = 700 * 1024 * 1024
PER_FOLDER = 200
SUBTITLE_BYTES = 46 * 1024

WORDS = ("the of and to a in is you that it he was for on are as with his they I at be this have from "
         "or one had by word but not what all were we when your can said there use an each which she do "
         "how their if will up other about out many then them these so some her would make like him into "
         "time has look two more write go see number no way could people my than first water been call "
         "who oil its now find long down day did get come made may part").split()


def srt_text(seed):
    rng = random.Random(seed)
    cues, size, n = [], 0, 0
    while size < SUBTITLE_BYTES:
        n += 1
        start = n * 3
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 12)))
        cue = "%d\n%02d:%02d:%02d,000 --> %02d:%02d:%02d,500\n%s\n\n" % (
            n, start // 3600, start // 60 % 60, start % 60,
            (start + 2) // 3600, (start + 2) // 60 % 60, (start + 2) % 60, line)
        cues.append(cue)
        size += len(cue)
    return "".join(cues)


def make_tree(root, count):
    """Sparse videos, PER_FOLDER to a folder; the movie hash of an all-zero
    file is its size, so each gets its own size and hash."""
    videos = []
    for i in range(count):
        folder = os.path.join(root, "folder-%03d" % (i // PER_FOLDER))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "Film.Number.%05d.2019.720p.mkv" % i)
        size = VIDEO_SIZE + i
        with open(path, "wb") as f:
            f.truncate(size)
        videos.append((path, "%016x" % size, size))
    return videos


def catalogue(videos, with_subtitles):
    texts = [srt_text(k) for k in range(16)]
    movies = []
    if with_subtitles:
        for i, (_, moviehash, size) in enumerate(videos):
            content = "0\n00:00:00,000 --> 00:00:01,000\nFilm %d\n\n" % i + texts[i % len(texts)]
            movies.append({"hash": moviehash, "bytesize": size, "name": "Film Number %d" % i,
                           "imdbid": str(1000000 + i), "year": "2019",
                           "subtitles": [{"lang": "eng", "id": str(1960000000 + i),
                                          "file": "Film.Number.%05d.en.srt" % i, "content": content}]})
    return {"movies": movies}, {v[0]: m["subtitles"][0]["content"].encode() for v, m in zip(videos, movies)}


class StandIn:
    def __init__(self, catalog_path):
        self.process = subprocess.Popen([sys.executable, EMULATOR, "--catalog", catalog_path, "--port", "0",
                                         "--watch-stdin"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True)
        line = self.process.stdout.readline()
        self.url = line.split()[-1]
        self.base = self.url.rsplit("/", 1)[0]

    def reset(self):
        urllib.request.urlopen(urllib.request.Request(self.base + "/_reset", data=b"{}"), timeout=30).read()

    def calls(self):
        return json.loads(urllib.request.urlopen(self.base + "/_calls", timeout=60).read())

    def cpu_ms(self):
        """CPU time the stand-in has used so far (user + system)."""
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) * 1000.0 / os.sysconf("SC_CLK_TCK")

    def stop(self):
        self.process.stdin.close()
        self.process.wait(timeout=10)


def run_measured(command, env, work):
    """Wall ms, CPU ms (user + system), peak RSS KiB, output, exit status.
    GNU time measures the client, so that the memory of this script is not
    counted in the client's peak."""
    report = os.path.join(work, "time.txt")
    start = time.monotonic()
    process = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%U %S %M"] + command, env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    wall = (time.monotonic() - start) * 1000.0
    with open(report) as f:
        user, system, rss = f.read().split()[-3:]
    return wall, (float(user) + float(system)) * 1000.0, int(rss), process.stdout, process.returncode


def subtitles_beside(videos):
    """video -> the subtitle files beside it (name starts with its base and a dot)."""
    found = {}
    folders = {}
    for path, _, _ in videos:
        folder = os.path.dirname(path)
        if folder not in folders:
            folders[folder] = [n for n in os.listdir(folder) if n.endswith(".srt")]
        base = os.path.splitext(os.path.basename(path))[0] + "."
        found[path] = [os.path.join(folder, n) for n in folders[folder] if n.startswith(base)]
    return found


def check_and_clean(videos, expected):
    """How many videos got exactly their subtitle; removes every subtitle."""
    good = 0
    for video, subs in subtitles_beside(videos).items():
        if len(subs) == 1 and video in expected:
            with open(subs[0], "rb") as f:
                good += f.read() == expected[video]
        for s in subs:
            os.remove(s)
    return good


def client_env(work):
    home = os.path.join(work, "home")
    env = dict(os.environ)
    for key, sub in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"), ("XDG_DATA_HOME", ".local/share"),
                     ("XDG_CACHE_HOME", ".cache"), ("XDG_RUNTIME_DIR", "run")):
        env[key] = os.path.join(home, sub) if sub else home
        os.makedirs(env[key], mode=0o700, exist_ok=True)
    env.pop("QT_LOGGING_RULES", None)
    return env


def parse_clis(values):
    clis = []
    for value in values:
        label, _, path = value.rpartition("=")
        clis.append((label or "lumbra-cli %d" % (len(clis) + 1), os.path.abspath(path)))
    return clis


def get_command(cli, url, root):
    # Builds that choose between services are told to use the XML-RPC one.
    usage = subprocess.run([cli, "get", "--help"], capture_output=True, text=True).stdout
    provider = ["--provider", "xmlrpc"] if "--provider" in usage else []
    return [cli, "get", "--server", url, "--lang", "en"] + provider + ["--", root]


def setup(args, with_subtitles):
    work = tempfile.mkdtemp(prefix="lumbra-throughput-")
    root = os.path.join(work, "videos")
    made = time.monotonic()
    videos = make_tree(root, args.videos)
    data, expected = catalogue(videos, with_subtitles)
    catalog_path = os.path.join(work, "catalog.json")
    with open(catalog_path, "w") as f:
        json.dump(data, f)
    print("%d sparse videos of 700 MiB in %s (made in %.1f s)" % (len(videos), root, time.monotonic() - made))
    return work, root, videos, expected, StandIn(catalog_path)


def flush_latency_ms(folder, count=50):
    """What one write and fdatasync of a subtitle-sized file costs on this disk now:
    Lumbra flushes each placed subtitle once, the minimal client does not."""
    os.makedirs(folder, exist_ok=True)
    start = time.monotonic()
    for i in range(count):
        fd = os.open(os.path.join(folder, "f%d" % i), os.O_CREAT | os.O_WRONLY, 0o644)
        os.write(fd, b"x" * SUBTITLE_BYTES)
        os.fdatasync(fd)
        os.close(fd)
    shutil.rmtree(folder, ignore_errors=True)
    return (time.monotonic() - start) * 1000.0 / count


def e2e(args):
    work, root, videos, expected, stand_in = setup(args, True)
    print("write + fdatasync of one subtitle on this disk now: %.2f ms" % flush_latency_ms(os.path.join(work, "flush")))
    env = client_env(work)
    wrap = args.wrap.split() if args.wrap else []
    clients = [(label, wrap + get_command(cli, stand_in.url, root)) for label, cli in parse_clis(args.cli)]
    clients.append(("minimal client (Python)",
                    [sys.executable, MINIMAL, stand_in.url, "eng"] + [v[0] for v in videos]))
    rows = {label: [] for label, _ in clients}
    try:
        # Warm-up, not counted: the stand-in packs each subtitle once, the
        # videos' first blocks come into the page cache.
        run_measured(clients[-1][1], env, work)
        check_and_clean(videos, expected)
        for _ in range(args.runs):
            for label, command in clients:
                stand_in.reset()
                served = stand_in.cpu_ms()
                wall, cpu, rss, _, code = run_measured(command, env, work)
                served = stand_in.cpu_ms() - served
                requests = stand_in.calls()
                placed = check_and_clean(videos, expected)
                rows[label].append((wall, cpu, rss, placed, code, len(requests), served))
    finally:
        stand_in.stop()
        shutil.rmtree(work, ignore_errors=True)
    minimal = min(r[0] for r in rows["minimal client (Python)"])
    print("%-28s %10s %10s %10s %8s %9s %6s %10s %14s" % ("client (best of %d)" % args.runs, "wall ms", "CPU ms",
                                                          "RSS KiB", "placed", "requests", "exit", "wall/min.",
                                                          "stand-in CPU"))
    for label, _ in clients:
        wall, cpu, rss, placed, code, requests, served = min(rows[label])
        print("%-28s %10.0f %10.0f %10d %4d/%-4d %9d %6d %10.2f %14.0f" % (
            label, wall, cpu, rss, placed, len(videos), requests, code, wall / minimal, served))


STRACE_PICK = ("fdatasync", "fsync", "linkat", "link", "unlink", "unlinkat", "rename", "renameat", "renameat2",
               "openat", "write", "socket", "connect", "clone", "clone3", "futex", "poll", "ppoll")


def strace_counts(path):
    counts = {}
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 5 and re.fullmatch(r"[\d.]+", fields[0]) and fields[-1] != "total":
                counts[fields[-1]] = int(fields[3])
    counts["total"] = sum(counts.values())
    return counts


def strace(args):
    work, root, videos, expected, stand_in = setup(args, True)
    env = client_env(work)
    results = []
    try:
        for label, cli in parse_clis(args.cli):
            out = os.path.join(work, "strace.txt")
            stand_in.reset()
            run_measured(["strace", "-f", "-c"] + (["-w"] if args.wall else []) + ["-o", out] +
                         get_command(cli, stand_in.url, root), env, work)
            placed = check_and_clean(videos, expected)
            results.append((label, placed, strace_counts(out)))
            if args.wall:
                with open(out) as f:
                    print(label, "".join(f.readlines()[:12]))
    finally:
        stand_in.stop()
        shutil.rmtree(work, ignore_errors=True)
    names = ["total"] + [n for n in STRACE_PICK if any(n in c for _, _, c in results)]
    print("system calls per placed subtitle (%d videos)" % len(videos))
    print("%-12s" % "call" + "".join("%22s" % label[:21] for label, _, _ in results))
    print("%-12s" % "placed" + "".join("%22d" % placed for _, placed, _ in results))
    for name in names:
        print("%-12s" % name + "".join("%22.2f" % (c.get(name, 0) / max(placed, 1)) for _, placed, c in results))


def nothing(args):
    work, root, videos, _, stand_in = setup(args, False)
    env = client_env(work)
    try:
        print("%-28s %10s %10s %10s %6s" % ("client", "wall ms", "CPU ms", "RSS KiB", "exit"))
        for label, cli in parse_clis(args.cli):
            stand_in.reset()
            wrap = ["env"] + args.env.split() if args.env else []
            wrap += args.wrap.split() if args.wrap else []
            wall, cpu, rss, output, code = run_measured(wrap + get_command(cli, stand_in.url, root), env, work)
            methods = [c.get("method") for c in stand_in.calls()]
            lines = output.count(b"\n")
            print("%-28s %10.0f %10.0f %10d %6d   %d lines; requests: %s" % (label, wall, cpu, rss, code, lines,
                                                                           " ".join(map(str, methods))))
    finally:
        stand_in.stop()
        shutil.rmtree(work, ignore_errors=True)


def memory(args):
    counts = sorted(args.counts)
    clis = parse_clis(args.cli)
    rss = {label: {} for label, _ in clis}
    for count in counts:
        args.videos = count
        work, root, videos, expected, stand_in = setup(args, True)
        env = client_env(work)
        try:
            for label, cli in clis:
                stand_in.reset()
                wall, _, peak, _, code = run_measured(get_command(cli, stand_in.url, root), env, work)
                placed = check_and_clean(videos, expected)
                rss[label][count] = peak
                print("  %-26s %6d videos: %8d KiB peak, %4d/%-4d placed, exit %d, %.1f s" % (
                    label, count, peak, placed, count, code, wall / 1000.0))
        finally:
            stand_in.stop()
            shutil.rmtree(work, ignore_errors=True)
    low, high = counts[0], counts[-1]
    print("%-28s" % "client" + "".join("%14s" % ("RSS KiB @%d" % n) for n in counts) +
          "%18s" % ("KB/video %d-%d" % (low, high)))
    for label, _ in clis:
        growth = (rss[label][high] - rss[label][low]) * 1024.0 / 1000.0 / max(high - low, 1)
        print("%-28s" % label + "".join("%14d" % rss[label][n] for n in counts) + "%18.1f" % growth)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=("e2e", "strace", "nothing", "memory"))
    parser.add_argument("--videos", type=int, default=200)
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--counts", type=int, nargs="+", default=[400, 4000], help="memory: video counts")
    parser.add_argument("--cli", action="append", required=True, help="lumbra-cli to measure (LABEL=PATH)")
    parser.add_argument("--wall", action="store_true", help="strace: also write the table of wall time per call")
    parser.add_argument("--env", help="nothing: NAME=VALUE settings for the client's run")
    parser.add_argument("--wrap", help="e2e, nothing: a command to run lumbra-cli under (a profiler)")
    args = parser.parse_args()
    {"e2e": e2e, "strace": strace, "nothing": nothing, "memory": memory}[args.what](args)


if __name__ == "__main__":
    main()
