#!/usr/bin/env python3
"""`lumbra-cli` against a misbehaving service and odd preference files.

    python3 bench/hostile_service.py LUMBRA_CLI [CASE...]   (default: every case)

Each case starts a stand-in (tests/service-emulator) with one film whose
subtitle it knows, sets one misbehaviour, runs lumbra-cli in a private home
folder under a time bound and prints one line: exit code, wall time, peak RSS
(from wait4), what the run placed beside the video or left in the preference
folder, and the last line it printed. Run it once with the old build and once
with the new one to compare.
"""

import gzip
import http.server
import json
import os
import resource
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
EMULATORS = os.path.join(HERE, "..", "tests", "service-emulator")
SIZE = 3_000_000
SUB = "1\n00:00:01,000 --> 00:00:04,000\nHello\n"


def start(script, catalogue):
    path = tempfile.mktemp(suffix=".json")
    with open(path, "w") as handle:
        json.dump(catalogue, handle)
    process = subprocess.Popen([sys.executable, "-u", os.path.join(EMULATORS, script), "--catalog", path,
                                "--port", "0", "--watch-stdin"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    return process, process.stdout.readline().split()[-1]


def control(url, path, body=None):
    parts = url.split("/", 3)
    request = urllib.request.Request("%s//%s%s" % (parts[0], parts[2], path),
                                     data=None if body is None else json.dumps(body).encode())
    with urllib.request.urlopen(request, timeout=30) as reply:
        return json.load(reply)


class Catcher(http.server.BaseHTTPRequestHandler):
    """Another port of the same host: records the headers that reach it."""
    seen = []

    def do_ANY(self):
        Catcher.seen.append({k.lower(): v for k, v in self.headers.items()})
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"{}")

    do_GET = do_POST = do_DELETE = do_ANY

    def log_message(self, *args):
        pass


def catcher():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Catcher)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def run(cli, args, env, bound):
    begin = time.monotonic()
    process = subprocess.Popen([cli] + args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               start_new_session=True)
    killed = False
    out = err = b""
    try:
        out, err = process.communicate(timeout=bound)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, err = process.communicate()
        killed = True
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return {"code": "killed" if killed else process.returncode, "seconds": time.monotonic() - begin,
            "rss_mb": usage.ru_maxrss / 1024.0, "out": out.decode(errors="replace"),
            "err": err.decode(errors="replace")}


class Case:
    def __init__(self, root):
        self.root = root
        self.home = os.path.join(root, "home")
        self.tree = os.path.join(root, "tree")
        os.makedirs(self.tree)
        self.video = os.path.join(self.tree, "Movie.One.2010.mkv")
        with open(self.video, "wb") as handle:
            handle.truncate(SIZE)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                        XDG_CACHE_HOME=os.path.join(self.home, ".cache"), QT_QPA_PLATFORM="offscreen")
        self.prefs = os.path.join(self.home, PREFS_RELATIVE)

    def catalogue(self, **extra):
        data = {"movies": [{"hash": "%016x" % SIZE, "bytesize": SIZE, "name": "Movie One",
                            "imdbid": "1000001",
                            "subtitles": [{"lang": "eng", "file": "Movie.One.en.srt", "content": SUB}]}],
                "users": {"alice": "secret"}}
        data.update(extra)
        return data

    def placed(self):
        names = []
        for name in sorted(os.listdir(self.tree)):
            if name.endswith(".mkv"):
                continue
            with open(os.path.join(self.tree, name), "rb") as handle:
                head = handle.read(12)
            names.append("%s[%d B %r]" % (name, os.path.getsize(os.path.join(self.tree, name)), head))
        return " ".join(names) or "nothing"


def get_rest(case, url, extra=()):
    return ["get", "--provider", "rest", "--server", url, "--api-key", "test-key", "--lang", "en"] + list(
        extra) + ["--", case.tree]


def get_xmlrpc(case, url, extra=()):
    return ["get", "--provider", "xmlrpc", "--server", url, "--lang", "en"] + list(extra) + ["--", case.tree]


def with_service(script, arguments, case, rules, catalogue, extra, bound, cli):
    process, url = start(script, catalogue or case.catalogue())
    try:
        for rule in rules:
            control(url, "/_fail", rule)
        result = run(cli, arguments(case, url, extra), case.env, bound)
        result["calls"] = control(url, "/_calls")
        return result
    finally:
        process.kill()


def with_rest(case, rules, catalogue=None, extra=(), bound=60, cli=None):
    return with_service("rest_emulator.py", get_rest, case, rules, catalogue, extra, bound, cli)


def with_xmlrpc(case, rules, catalogue=None, extra=(), bound=60, cli=None):
    return with_service("emulator.py", get_xmlrpc, case, rules, catalogue, extra, bound, cli)


def prefs_run(case, cli, args, bound=60):
    return run(cli, ["prefs"] + args, case.env, bound)


def seed_prefs(case, cli):
    prefs_run(case, cli, ["--set", "OSUsername=alice", "--set", "OSPassword=secret", "--set",
                          "RestApiKey=KEY123"])


def damaged_prefs(case, cli):
    seed_prefs(case, cli)
    with open(case.prefs) as handle:
        lines = handle.read().splitlines(True)
    with open(case.prefs, "w") as handle:
        handle.writelines(lines[:-1])
    result = prefs_run(case, cli, ["--set", "addLanguageExt=false"])
    kept = [n for n in os.listdir(os.path.dirname(case.prefs))]
    text = open(case.prefs).read()
    result["note"] = "files %s; user kept: %s; key kept: %s" % (kept, "alice" in text, "KEY123" in text)
    return result


def symlinked_prefs(case, cli):
    seed_prefs(case, cli)
    # The preference file kept elsewhere (a dotfiles folder), linked in.
    target = os.path.join(case.root, "dotfiles.plist")
    os.rename(case.prefs, target)
    os.chmod(target, 0o644)
    before = open(target).read()
    os.symlink(target, case.prefs)
    result = prefs_run(case, cli, ["--set", "addLanguageExt=false"])
    result["note"] = "target changed: %s, mode %o; link still a link: %s" % (
        open(target).read() != before, os.stat(target).st_mode & 0o777, os.path.islink(case.prefs))
    return result


def fifo_prefs(case, cli):
    os.makedirs(os.path.dirname(case.prefs))
    os.mkfifo(case.prefs)
    return prefs_run(case, cli, [], bound=20)


def huge_prefs(case, cli):
    os.makedirs(os.path.dirname(case.prefs))
    with open(case.prefs, "wb") as handle:
        handle.write(b"<?xml version=\"1.0\"?>\n<plist>\n<dict>\n<key>pad</key>\n<string>")
        block = b"x" * (1 << 20)
        for _ in range(int(os.environ.get("HUGE_PREFS_MB", "100"))):
            handle.write(block)
        handle.write(b"</string>\n</dict>\n</plist>\n")
    result = prefs_run(case, cli, [], bound=300)
    result["note"] = "files %s" % os.listdir(os.path.dirname(case.prefs))
    return result


def prefs_folder_blocked(case, cli):
    os.makedirs(os.path.dirname(os.path.dirname(case.prefs)))
    with open(os.path.dirname(case.prefs), "w") as handle:
        handle.write("a file where the folder belongs")
    return prefs_run(case, cli, ["--set", "addLanguageExt=false"])


def rest_link(mode, **options):
    return lambda case, cli: with_rest(case, [dict(mode=mode, on="link", **options)], cli=cli)


def xmlrpc_download(mode):
    return lambda case, cli: with_xmlrpc(case, [dict(mode=mode, on="download")], cli=cli)


def refresh_over_junk(case, cli):
    with open(os.path.join(case.tree, "Movie.One.2010.srt"), "w") as handle:
        handle.write(SUB.replace("Hello", "Mine"))
    return with_rest(case, [dict(mode="junk", on="link")], extra=["--refresh"], cli=cli)


def other_port(kind):
    def probe(case, cli):
        Catcher.seen = []
        other = catcher()
        where = "http://127.0.0.1:%d" % other.server_address[1]
        if kind == "base_url":
            result = with_rest(case, [], catalogue=case.catalogue(base_url=where + "/api/v1"),
                               extra=["--user", "alice", "--password", "secret"], cli=cli)
        else:
            result = with_rest(case, [dict(mode="redirect", on="subtitles", code=307,
                                           location=where + "/api/v1/subtitles")],
                               extra=["--user", "alice", "--password", "secret"], cli=cli)
        leaked = [sorted(k for k in h if k in ("api-key", "authorization")) for h in Catcher.seen]
        result["note"] = "other port got %d requests, credentials %s" % (len(Catcher.seen), leaked)
        other.shutdown()
        return result
    return probe


def injected_token(case, cli):
    result = with_rest(case, [dict(mode="token", on="login", token="abc\r\nX-Injected: yes")],
                       extra=["--user", "alice", "--password", "secret"], cli=cli)
    injected = sum(1 for c in result["calls"] if "x-injected" in c["headers"])
    result["note"] = "requests carrying X-Injected: %d" % injected
    return result


def local_file_link(case, cli):
    secret = os.path.join(case.root, "secret.gz")
    with open(secret, "wb") as handle:
        handle.write(gzip.compress(b"1\n00:00:01,000 --> 00:00:02,000\nLOCAL SECRET\n"))
    result = with_xmlrpc(case, [dict(mode="status", on="DownloadSubtitles", text="407 Download limit reached")],
                         catalogue=case.catalogue(download_link="file://" + secret), cli=cli)
    result["note"] = "DownloadSubtitles calls: %d" % sum(
        1 for c in result["calls"] if c.get("method") == "DownloadSubtitles")
    return result


def trickle(api, on):
    def probe(case, cli):
        rule = dict(mode="trickle", on=on, interval=0.5)
        if api == "rest":
            return with_rest(case, [rule], bound=400 if on == "link" else 200, cli=cli)
        return with_xmlrpc(case, [rule], bound=200, cli=cli)
    return probe


def chunked(api, on):
    def probe(case, cli):
        rule = dict(mode="chunked", on=on, size=1 << 30)
        if api == "rest":
            return with_rest(case, [rule], bound=300, cli=cli)
        return with_xmlrpc(case, [rule], bound=300, cli=cli)
    return probe


def xmlrpc_files_chunked(on):
    """A gigabyte without a length in answer to DownloadSubtitles, or from
    the download link the run falls back to when the call fails."""
    def probe(case, cli):
        rules = [dict(mode="chunked", on=on, size=1 << 30)]
        if on == "download":
            rules.insert(0, dict(mode="status", on="DownloadSubtitles", text="500 Internal"))
        return with_xmlrpc(case, rules, bound=300, cli=cli)
    return probe


def hash_search_fails(case, cli):
    # The film is known by hash only: the name search finds nothing.
    catalogue = case.catalogue()
    catalogue["movies"][0]["name"] = "Unrelated Title"
    return with_rest(case, [dict(mode="http503", on="subtitles", times=1)], catalogue=catalogue, cli=cli)


def long_retry_after(value, on, videos=3):
    def probe(case, cli):
        catalogue = case.catalogue()
        for i in range(1, videos):
            size = SIZE + i
            with open(os.path.join(case.tree, "Movie.One.Copy%d.mkv" % i), "wb") as handle:
                handle.truncate(size)
            catalogue["movies"].append({"hash": "%016x" % size, "bytesize": size, "name": "Copy %d" % i,
                                        "subtitles": [{"lang": "eng", "file": "Copy%d.en.srt" % i,
                                                       "content": SUB}]})
        result = with_rest(case, [dict(mode="http429", on=on, retry_after=value)], catalogue=catalogue,
                           cli=cli)
        result["note"] = "requests to %s: %d" % (on, sum(1 for c in result["calls"] if c["endpoint"] == on))
        return result
    return probe


def redirect_loop(case, cli):
    return with_rest(case, [dict(mode="redirectloop", on="subtitles")], cli=cli)


def xmlrpc_429(case, cli):
    return with_xmlrpc(case, [dict(mode="http429", on="SearchSubtitles")], cli=cli)


def stalled_search(case, cli):
    result = with_xmlrpc(case, [dict(mode="stall", on="SearchSubtitles", seconds=400)], bound=200, cli=cli)
    result["note"] = "SearchSubtitles requests: %d" % sum(
        1 for c in result["calls"] if c.get("method") == "SearchSubtitles")
    return result


CASES = {
    "1-damaged-prefs": damaged_prefs,
    "2-symlinked-prefs": symlinked_prefs,
    "3-rest-gzip-file": rest_link("gzipfile"),
    "3-rest-encoding-bomb": rest_link("gzipbomb"),
    "3-rest-junk": rest_link("junk"),
    "3-rest-empty": rest_link("empty"),
    "3-xmlrpc-gzip-junk": xmlrpc_download("junk"),
    "3-xmlrpc-gzip-nothing": xmlrpc_download("nothing"),
    "3-refresh-over-junk": refresh_over_junk,
    "5-base-url-other-port": other_port("base_url"),
    "5-redirect-other-port": other_port("redirect"),
    "6-token-crlf": injected_token,
    "7-file-link-after-407": local_file_link,
    "8-rest-search-trickle": trickle("rest", "subtitles"),
    "8-rest-link-trickle": trickle("rest", "link"),
    "8-xmlrpc-search-trickle": trickle("xmlrpc", "SearchSubtitles"),
    "9-fifo-prefs": fifo_prefs,
    "10-rest-search-1g-chunked": chunked("rest", "subtitles"),
    "10-rest-link-1g-chunked": chunked("rest", "link"),
    "10-xmlrpc-search-1g-chunked": chunked("xmlrpc", "SearchSubtitles"),
    "10-xmlrpc-files-1g-chunked": xmlrpc_files_chunked("DownloadSubtitles"),
    "10-xmlrpc-link-1g-chunked": xmlrpc_files_chunked("download"),
    "11-huge-prefs": huge_prefs,
    "12-hash-search-503": hash_search_fails,
    "13-download-429-hour": long_retry_after("3600", "download"),
    "13-search-429-date": long_retry_after("Wed, 21 Oct 2099 07:28:00 GMT", "subtitles"),
    "13-search-429-negative": long_retry_after("-5", "subtitles"),
    "14-redirect-loop": redirect_loop,
    "14-xmlrpc-429": xmlrpc_429,
    "14-prefs-folder-blocked": prefs_folder_blocked,
    "26-stalled-search": stalled_search,
}


PREFS_RELATIVE = ""


def find_prefs_relative(cli):
    """Where the build keeps its preference file, below the home folder."""
    with tempfile.TemporaryDirectory() as home:
        case_env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        out = subprocess.run([cli, "prefs"], env=case_env, capture_output=True, text=True).stdout
        path = next(line[6:] for line in out.splitlines() if line.startswith("file: "))
        return os.path.relpath(path, home)


def main():
    global PREFS_RELATIVE
    cli = os.path.abspath(sys.argv[1])
    PREFS_RELATIVE = find_prefs_relative(cli)
    names = sys.argv[2:] or list(CASES)
    for name in names:
        with tempfile.TemporaryDirectory() as root:
            case = Case(root)
            # Peak RSS per case: each case runs in a child of its own.
            reader, writer = os.pipe()
            child = os.fork()
            if child == 0:
                os.close(reader)
                result = CASES[name](case, cli)
                result["placed"] = case.placed()
                with os.fdopen(writer, "w") as pipe:
                    json.dump({k: v for k, v in result.items() if k != "calls"}, pipe)
                os._exit(0)
            os.close(writer)
            with os.fdopen(reader) as pipe:
                result = json.loads(pipe.read() or "{}")
            os.waitpid(child, 0)
        last = (result.get("err", "").strip().splitlines() or [""])[-1][:200]
        out = (result.get("out", "").strip().splitlines() or [""])[-1][:200]
        print("%-28s exit %-6s %6.1f s %7.1f MB | placed: %s | out: %s | err: %s%s" % (
            name, result.get("code"), result.get("seconds", 0), result.get("rss_mb", 0), result.get("placed"),
            out, last, " | " + result["note"] if result.get("note") else ""), flush=True)


if __name__ == "__main__":
    main()
