#!/usr/bin/env python3
"""`lumbra-cli get` over the same videos against both service stand-ins, in one run.

    python3 bench/get_services.py LUMBRA_CLI [VIDEOS]   (default 200 videos)

Build LUMBRA_CLI in Release (cmake --preset release; build-release/bin/lumbra-cli).

Makes VIDEOS sparse videos (all zero bytes: the movie hash of such a file is its
size), a catalogue with one English subtitle for each, then runs
`lumbra-cli get --lang en` once against the XML-RPC stand-in and once against
the REST stand-in (with the real service's limit of 5 requests a second), in a
private home folder. Prints wall time, requests sent and subtitles placed per
service, and the floor that the REST client's own pacing puts under its run.
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
API_PACE_S = 0.25  # RestClient's pace for API requests (4 a second)
LOGIN_PACE_S = 1.1


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
    begin = time.monotonic()
    done = subprocess.run([cli, "get", "--lang", "en"] + args + ["--", folder], env=env,
                          capture_output=True, text=True)
    took = time.monotonic() - begin
    placed = sum(1 for line in done.stdout.splitlines() if line.startswith("placed "))
    return took, placed, done.returncode


def main():
    cli = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_DATA_HOME=os.path.join(work, "data"), XDG_CACHE_HOME=os.path.join(work, "cache"))
        catalog = os.path.join(work, "catalog.json")
        rows = []
        for name, script, args in [
                ("xmlrpc", "emulator.py", ["--provider", "xmlrpc"]),
                ("rest", "rest_emulator.py", ["--provider", "rest", "--api-key", "bench"])]:
            folder = os.path.join(work, name)
            os.makedirs(folder)
            with open(catalog, "w") as handle:
                json.dump({"movies": make_videos(folder, count), "quota": {"anonymous": count * 2}}, handle)
            process, url = start(script, catalog)
            try:
                took, placed, code = run_get(cli, env, args + ["--server", url], folder)
                sent = calls(url)
            finally:
                process.stdin.close()
                process.wait(timeout=10)
            api = sum(1 for c in sent if c.get("kind") not in ("download", "link"))
            rows.append((name, took, len(sent), api, placed, code))

        print("%d videos, %d cores, load %s" % (count, os.cpu_count(), open("/proc/loadavg").read().split()[0]))
        print("%-8s %10s %10s %10s %8s %5s" % ("service", "wall s", "requests", "api calls", "placed", "exit"))
        for name, took, sent, api, placed, code in rows:
            print("%-8s %10.2f %10d %10d %8d %5d" % (name, took, sent, api, placed, code))
        rest = rows[1]
        # The first request goes at once; each later one waits its turn.
        print("REST pacing floor: (%d API requests - 1) x %.2f s = %.2f s (the service allows 5 a second)"
              % (rest[3], API_PACE_S, (rest[3] - 1) * API_PACE_S))


if __name__ == "__main__":
    main()
