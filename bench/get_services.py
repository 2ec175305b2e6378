#!/usr/bin/env python3
"""`lumbra-cli get` over the same videos against both service stand-ins, in one run.

    python3 bench/get_services.py LUMBRA_CLI [VIDEOS] [--baseline OLD_LUMBRA_CLI]

Build LUMBRA_CLI in Release (cmake --preset release; build-release/bin/lumbra-cli).

Makes VIDEOS sparse videos (all zero bytes: the movie hash of such a file is its
size), a catalogue with one English subtitle for each, then runs
`lumbra-cli get --lang en` once against the XML-RPC stand-in and once against
the REST stand-in (with the real service's limit of 5 requests a second, which
it enforces with 429s), in a private home folder. With --baseline, both runs
are made with that build too, first, as the figures to compare with.

Prints wall time, peak resident memory, requests sent (API requests and GETs of download links apart),
requests the stand-in refused with 429, and subtitles placed per run; for REST
runs also the floor the service's limit puts under a run, API requests / 5
seconds, and how far above it the run was (the goal: within 1.1x, no 429).
"""

import json
import os
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
EMULATORS = os.path.join(HERE, "..", "tests", "service-emulator")


def make_videos(folder, count):
    movies = []
    for i in range(count):
        size = 1_000_000 + i * 4096
        path = os.path.join(folder, "Film.%03d.2020.mkv" % i)
        with open(path, "wb") as handle:
            handle.truncate(size)
        movies.append({"hash": "%016x" % size, "bytesize": size, "name": "Film %03d" % i,
                       "imdbid": str(2000000 + i),
                       "subtitles": [{"lang": "eng", "file": "Film.%03d.en.srt" % i}]})
    return movies


def start(script, catalog):
    process = subprocess.Popen([sys.executable, "-u", os.path.join(EMULATORS, script), "--catalog", catalog,
                                "--port", "0", "--watch-stdin"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline().split()
    return process, line[-1]


def calls(url):
    base = url.split("/", 3)
    with urllib.request.urlopen("%s//%s/_calls" % (base[0], base[2]), timeout=30) as reply:
        return json.load(reply)


def run_get(cli, env, args, folder):
    """Wall seconds, subtitles placed, exit status and peak RSS (KiB, from
    GNU time, so that only the client is counted)."""
    report = folder + ".time"
    begin = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M", cli, "get", "--lang", "en"] + args +
                          ["--", folder], env=env, capture_output=True, text=True)
    took = time.monotonic() - begin
    placed = sum(1 for line in done.stdout.splitlines() if line.startswith("placed "))
    with open(report) as handle:
        rss = int(handle.read().split()[-1])
    return took, placed, done.returncode, rss


def run_service(cli, env, work, name, script, args, count):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    catalog = os.path.join(work, name + ".json")
    with open(catalog, "w") as handle:
        json.dump({"movies": make_videos(folder, count), "quota": {"anonymous": count * 2}}, handle)
    process, url = start(script, catalog)
    try:
        took, placed, code, rss = run_get(cli, env, args + ["--server", url], folder)
        sent = calls(url)
    finally:
        process.stdin.close()
        process.wait(timeout=10)
    links = sum(1 for c in sent if c.get("kind") in ("download", "link"))
    limited = sum(1 for c in sent if c.get("rate_limited"))
    return {"name": name, "wall": took, "api": len(sent) - links, "links": links, "limited": limited,
            "placed": placed, "exit": code, "rss": rss}


def main():
    args = sys.argv[1:]
    baseline = None
    if "--baseline" in args:
        at = args.index("--baseline")
        baseline = os.path.abspath(args[at + 1])
        del args[at:at + 2]
    cli = os.path.abspath(args[0])
    count = int(args[1]) if len(args) > 1 else 200
    rest_args = ["--provider", "rest", "--api-key", "bench"]
    runs = []
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_DATA_HOME=os.path.join(work, "data"), XDG_CACHE_HOME=os.path.join(work, "cache"))
        if baseline:
            runs.append(run_service(baseline, env, work, "xmlrpc-base", "emulator.py", ["--provider", "xmlrpc"],
                                    count))
            runs.append(run_service(baseline, env, work, "rest-base", "rest_emulator.py", rest_args, count))
        runs.append(run_service(cli, env, work, "xmlrpc", "emulator.py", ["--provider", "xmlrpc"], count))
        runs.append(run_service(cli, env, work, "rest", "rest_emulator.py", rest_args, count))

    print("%d videos, %d cores, load %s" % (count, os.cpu_count(), open("/proc/loadavg").read().split()[0]))
    print("%-11s %8s %9s %9s %6s %7s %5s %9s %7s %9s" % ("run", "wall s", "api reqs", "link GETs", "429s",
                                                         "placed", "exit", "floor s", "x floor", "RSS KiB"))
    for run in runs:
        rest = run["name"].startswith("rest")
        floor = run["api"] / 5.0 if rest else 0
        print("%-11s %8.2f %9d %9d %6d %7d %5d %9s %7s %9d" % (
            run["name"], run["wall"], run["api"], run["links"], run["limited"], run["placed"], run["exit"],
            "%.1f" % floor if rest else "-", "%.3f" % (run["wall"] / floor) if rest and floor else "-", run["rss"]))


if __name__ == "__main__":
    main()
