#!/usr/bin/env python3
"""Python baselines and fixtures for run-codec-hash.sh.

  baseline.py make-synthetic FIXTURE OUT N   a SearchSubtitles reply of N entries of the fixture's shape
  baseline.py make-files DIR N SIZE          N files of SIZE random bytes
  baseline.py decode FILE...                 xmlrpc.client.loads time per document (JSON)
  baseline.py moviehash DIR                  plain movie hash of every file in DIR (JSON)
  baseline.py report OURS_DECODE PY_DECODE OURS_HASH PY_HASH   the comparison table
"""
import json
import os
import statistics
import struct
import sys
import time
import timeit
import xmlrpc.client

REPEATS = 5


def make_synthetic(fixture, out, n):
    with open(fixture, "rb") as f:
        params, _ = xmlrpc.client.loads(f.read())
    data = params[0]["data"]
    params[0]["data"] = [data[i % len(data)] for i in range(n)]
    with open(out, "w", encoding="utf-8") as f:
        f.write(xmlrpc.client.dumps(params, methodresponse=True, encoding="utf-8"))


def make_files(directory, n, size):
    os.makedirs(directory, exist_ok=True)
    for i in range(n):
        with open(os.path.join(directory, "video-%04d.avi" % i), "wb") as f:
            f.write(os.urandom(size))


def decode(files):
    out = {}
    for path in files:
        with open(path, "rb") as f:
            data = f.read()
        number = max(1, int(0.5 / max(timeit.timeit(lambda: xmlrpc.client.loads(data), number=1), 1e-6)))
        runs = timeit.repeat(lambda: xmlrpc.client.loads(data), number=number, repeat=REPEATS)
        name = os.path.splitext(os.path.basename(path))[0]
        out[name] = statistics.median(runs) / number * 1000.0  # ms per document
    json.dump(out, sys.stdout)


def moviehash(path):
    with open(path, "rb") as f:
        f.seek(0, os.SEEK_END)
        size = f.tell()
        if size < 65536:
            return ""
        f.seek(0)
        h = size + sum(struct.unpack("<8192Q", f.read(65536)))
        f.seek(size - 65536)
        h += sum(struct.unpack("<8192Q", f.read(65536)))
        return "%016x" % (h & 0xFFFFFFFFFFFFFFFF)


def hash_folder(directory):
    files = sorted(os.path.join(directory, n) for n in os.listdir(directory))
    for p in files:  # warm the page cache
        moviehash(p)
    runs = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        for p in files:
            moviehash(p)
        runs.append(time.perf_counter() - start)
    json.dump({"files": len(files), "files_per_second": len(files) / statistics.median(runs)}, sys.stdout)


def medians(bench_json):
    with open(bench_json) as f:
        results = json.load(f)["benchmarks"]
    return {r["run_name"]: r for r in results if r.get("aggregate_name") == "median"}


def report(ours_decode, py_decode, ours_hash, py_hash):
    ours = medians(ours_decode)
    with open(py_decode) as f:
        python = json.load(f)
    print("Decode a reply (median ms per document; lower is better)")
    print("%-28s %10s %10s %10s %12s %12s" % ("document", "ours", "ours DOM", "python", "python/ours", "python/DOM"))
    for name, py_ms in python.items():
        stream = ours["ParseDocument/" + name]["real_time"]
        dom = ours["DomDecode/" + name]["real_time"]
        print("%-28s %10.3f %10.3f %10.3f %11.1fx %11.1fx" % (name, stream, dom, py_ms, py_ms / stream, py_ms / dom))
    hashes = list(medians(ours_hash).values())[0]
    with open(py_hash) as f:
        py = json.load(f)
    print()
    print("Movie hash of %d files, warm cache (files per second; higher is better)" % py["files"])
    print("%10s %10s %10s" % ("ours", "python", "ours/py"))
    print("%10.0f %10.0f %9.1fx" % (hashes["items_per_second"], py["files_per_second"],
                                     hashes["items_per_second"] / py["files_per_second"]))


def main():
    mode, args = sys.argv[1], sys.argv[2:]
    if mode == "make-synthetic":
        make_synthetic(args[0], args[1], int(args[2]))
    elif mode == "make-files":
        make_files(args[0], int(args[1]), int(args[2]))
    elif mode == "decode":
        decode(args)
    elif mode == "moviehash":
        hash_folder(args[0])
    elif mode == "report":
        report(*args)
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()
