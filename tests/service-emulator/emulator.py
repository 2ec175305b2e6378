#!/usr/bin/env python3
"""A local stand-in for the OpenSubtitles XML-RPC service.

Lumbra's tests talk to it over 127.0.0.1; a user can run it by hand to try
Lumbra without an account on the real service. Standard library only.

    python3 emulator.py --catalog CATALOG.json [--port N] [--verbose]

It prints one line, "listening http://127.0.0.1:PORT/xml-rpc", once it accepts
connections (with --port 0, the default, the system picks a free port).

XML-RPC methods (POST to any path that does not start with "/_"):
  ServerInfo, LogIn, LogOut, NoOperation, SearchSubtitles, CheckMovieHash2.
Replies have the real service's shapes: one struct with "status" and
"seconds", numbers as strings, "data" false or an empty array when nothing is
found, the real "MatchedBy" values and a "QueryParameters" echo with the query
lower-cased. A wrong password gets a normal reply with "401 Unauthorized".

Download links: GET /download/<IDSubtitleFile>.gz serves the subtitle as a
gzip file.

Control interface for tests (JSON):
  GET  /_calls    every request received so far, oldest first (see record())
  POST /_fail     add a failure rule (see FailureRule)
  POST /_reset    forget all rules and recorded calls
  POST /_catalog  replace the catalogue with the JSON body

The catalogue format is described in README.md beside this script.
"""

import argparse
import base64
import gzip
import hashlib
import http.server
import json
import os
import re
import sys
import threading
import time
import xmlrpc.client
import xmlrpc.server
import zlib
from base64 import b64encode
from datetime import datetime

# Three-letter service codes -> (two-letter code, English name).
LANGUAGES = {
    "eng": ("en", "English"), "fre": ("fr", "French"), "ger": ("de", "German"),
    "spa": ("es", "Spanish"), "ita": ("it", "Italian"), "dut": ("nl", "Dutch"),
    "por": ("pt", "Portuguese"), "pob": ("pb", "Portuguese (BR)"),
    "hun": ("hu", "Hungarian"), "pol": ("pl", "Polish"), "rus": ("ru", "Russian"),
    "swe": ("sv", "Swedish"), "dan": ("da", "Danish"), "fin": ("fi", "Finnish"),
    "nor": ("no", "Norwegian"), "cze": ("cs", "Czech"), "gre": ("el", "Greek"),
    "tur": ("tr", "Turkish"), "rum": ("ro", "Romanian"), "scc": ("sr", "Serbian"),
    "hrv": ("hr", "Croatian"), "ara": ("ar", "Arabic"), "heb": ("he", "Hebrew"),
    "chi": ("zh", "Chinese (simplified)"), "jpn": ("ja", "Japanese"),
    "kor": ("ko", "Korean"), "bul": ("bg", "Bulgarian"), "slv": ("sl", "Slovenian"),
}

DOWNLOAD_ONLY_MODES = {"html", "brokengzip", "gzipbomb", "junk", "nothing"}
# Ways a DownloadSubtitles reply goes wrong (for rules "on" that method; its
# default). "brokengzip" there damages every file of the reply.
FILE_CALL_MODES = {"dropids", "foreignids", "badbase64", "status", "brokengzip"}
XMLRPC_MODES = {"fault", "empty", "malformed", "notrpc", "gzip", "redirect",
                "redirectloop", "stall", "close", "trickle", "chunked"}


def tokens(text):
    """Lower-case words of a name, file name or query ("Marvel's" reads "marvels")."""
    return [t for t in re.split(r"[^0-9a-z]+", str(text).lower().replace("'", "")) if t]


def strip_extension(name):
    name = str(name)
    dot = name.rfind(".")
    return name[:dot] if dot > 0 else name


def as_int(value, default=0):
    try:
        return int(float(value))
    except (TypeError, ValueError):
        return default


def wrap32(n):
    """Newer replies echo moviebytesize as an int wrapped to 32 bits."""
    n &= 0xFFFFFFFF
    return n - 0x100000000 if n >= 0x80000000 else n


def fault_code(value):
    """A fault code: a whole number, or text such as "1e10", "inf" or "nan" sent as a double."""
    return float(value) if isinstance(value, str) else as_int(value, 401)


def json_default(value):
    if isinstance(value, datetime):
        return value.isoformat()
    if isinstance(value, (bytes, bytearray)):
        return b64encode(bytes(value)).decode("ascii")
    return str(value)


def packed_bytes(sub):
    """The subtitle file gzip-compressed, made once: benchmarks fetch thousands."""
    packed = sub.get("packed")
    if packed is None:
        packed = sub["packed"] = gzip.compress(sub["bytes"])
    return packed


LIMIT_PAGE = (b"<!DOCTYPE html><html><head><title>Download limit reached</title></head>"
              b"<body><p>You have reached your download limit.</p></body></html>")


def junk_gzip(rule):
    """Gzip of random bytes ("junk", "size" default 4096) or of nothing ("nothing")."""
    if rule.mode == "nothing":
        return gzip.compress(b"")
    return gzip.compress(os.urandom(as_int(rule.settings.get("size"), 4096)))


def send_chunked(handler, code, content_type, chunks, extra=None):
    """Answers with a chunked body made of `chunks` (an iterable of bytes),
    stopping quietly when the client hangs up."""
    try:
        handler.send_response(code)
        handler.send_header("Content-Type", content_type)
        handler.send_header("Transfer-Encoding", "chunked")
        for name, value in (extra or {}).items():
            handler.send_header(name, value)
        handler.end_headers()
        for chunk in chunks:
            if chunk:
                handler.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                handler.wfile.flush()
        handler.wfile.write(b"0\r\n\r\n")
        handler.wfile.flush()
    except (BrokenPipeError, ConnectionResetError, OSError):
        pass
    handler.close_connection = True


def misbehaving_body(rule):
    """The chunks of the body-level misbehaviours shared by both stand-ins:
    "trickle" sends one byte every "interval" seconds (default 0.5) for
    "seconds" (default 600); "chunked" sends "size" bytes (default 1 GiB) of
    filler as fast as the client takes them."""
    if rule.mode == "trickle":
        interval = float(rule.settings.get("interval", 0.5))
        end = time.monotonic() + float(rule.settings.get("seconds", 600))
        while time.monotonic() < end:
            yield b" "
            time.sleep(interval)
        return
    left = as_int(rule.settings.get("size"), 1 << 30)
    block = b"x" * (1 << 16)
    while left > 0:
        yield block[: min(left, len(block))]
        left -= len(block)


def broken_gzip(packed):
    """A gzip stream cut short, its magic kept and the rest damaged."""
    broken = bytearray(packed[: max(12, len(packed) // 2)])
    broken[10:] = bytes(b ^ 0x5A for b in broken[10:])
    return bytes(broken)


def subtitle_hash(sub):
    digest = sub.get("md5")
    if digest is None:
        digest = sub["md5"] = hashlib.md5(sub["bytes"]).hexdigest()
    return digest


class FailureRule:
    """One way to fail, posted as JSON to /_fail:

    {"mode": M, "on": WHAT, "times": N, ...mode options}

    mode  "http" with "code" (or the short form "http503", "http500", ...):
              that HTTP status with a short text body
          "fault": an XML-RPC fault, "code" (default 401) and "text"
          "empty": status 200 with an empty body
          "malformed": status 200 with a body that is not well-formed XML
          "notrpc": status 200 with well-formed XML that is not a methodResponse
          "gzip": the normal reply, gzip-compressed ("Content-Encoding: gzip")
          "redirect": "code" (default 302) to "location" (default: the same
              path under /_redirected, which answers normally)
          "redirectloop": "code" (default 302) to a path that redirects again,
              for ever
          "stall": wait "seconds" (default 30) before answering normally
          "trickle": a chunked body of one byte every "interval" seconds
              (default 0.5) for "seconds" (default 600)
          "chunked": a chunked body of "size" bytes (default 1 GiB), no length
          "close": close the connection without any reply
          "html", "brokengzip", "gzipbomb" (download links only): an HTML
              page instead of the file, a gzip stream cut short, a gzip
              stream that unpacks to "size" bytes (default 200 MiB), gzip of
              "size" random bytes ("junk", default 4096) or of nothing ("nothing")
          "dropids", "foreignids", "badbase64", "status" (DownloadSubtitles
              only): every second file left out, every file under an id
              nobody asked for, data that is not base64, or "text" (default
              "407 Download limit reached") as the status with the files
              all the same; "brokengzip" there damages every file
    on    an XML-RPC method name, "download" for download links, or absent:
          every XML-RPC call (every download for the download-only modes,
          DownloadSubtitles for the modes that only it has)
    times how many requests it applies to; absent means until /_reset
    subtitle  (download links) only the link of this IDSubtitleFile, so that
          a test of downloads under way together knows which one fails

    A download rule also holds for DownloadSubtitles, without being used up
    there: the file it names is left out of the reply ("html", "brokengzip"
    and "gzipbomb": sent that way), so that a client that falls back to the
    file's link meets the failure there.
    """

    def __init__(self, settings):
        self.settings = dict(settings)
        mode = str(self.settings.get("mode", ""))
        short = re.fullmatch(r"http(\d{3})", mode)
        if short:
            mode = "http"
            self.settings.setdefault("code", int(short.group(1)))
        if mode != "http" and mode not in XMLRPC_MODES | DOWNLOAD_ONLY_MODES | FILE_CALL_MODES:
            raise ValueError("unknown failure mode: %r" % mode)
        self.mode = mode
        self.on = self.settings.get("on")
        if self.on is None and mode in DOWNLOAD_ONLY_MODES:
            self.on = "download"
        elif self.on is None and mode in FILE_CALL_MODES:
            self.on = "DownloadSubtitles"
        self.times = self.settings.get("times")

    def matches(self, kind, method, subtitle=None):
        if self.times is not None and self.times <= 0:
            return False
        if kind == "download":
            wanted = self.settings.get("subtitle")
            return self.on == "download" and (wanted is None or str(wanted) == subtitle)
        return self.on is None or self.on == method


class Catalogue:
    def __init__(self, data):
        self.data = data or {}
        self.users = self.data.get("users")
        self.agents = self.data.get("agents")
        self.require_token = self.data.get("require_token", True)
        self.answer_every_hash = self.data.get("answer_every_hash", False)
        self.movies = []
        self.subtitles = {}
        self.next_id = 1950000000
        for index, movie in enumerate(self.data.get("movies", [])):
            movie = dict(movie)
            movie.setdefault("idmovie", str(100000 + index))
            movie["subtitles"] = [self._complete_subtitle(movie, s)
                                  for s in movie.get("subtitles", [])]
            for sub in movie["subtitles"]:
                self.subtitles[sub["id"]] = sub
            self.movies.append(movie)
        # Hash searches of thousands of videos must not scan the catalogue per query.
        self.by_hash = {}
        for movie in self.movies:
            if movie.get("hash"):
                self.by_hash.setdefault(str(movie["hash"]).lower(), []).append(movie)

    def _complete_subtitle(self, movie, sub):
        sub = dict(sub)
        if "id" not in sub:
            self.next_id += 1
            sub["id"] = self.next_id
        sub["id"] = str(sub["id"])
        sub.setdefault("lang", "eng")
        encoding = sub.get("encoding", "UTF-8")
        content = sub.get("content")
        if content is None:
            content = "1\n00:00:01,000 --> 00:00:04,000\n%s (%s)\n" % (movie.get("name", "Movie"), sub["lang"])
        python_encoding = {"CP1252": "cp1252", "CP1250": "cp1250"}.get(encoding.upper(), encoding)
        sub["bytes"] = content.encode(python_encoding)
        sub["encoding"] = encoding
        sub.setdefault("file", strip_extension(movie.get("release") or movie.get("name", "movie")) + ".srt")
        return sub

    def match_hash(self, moviehash, bytesize):
        found = []
        for movie in self.by_hash.get(str(moviehash).lower(), []):
            size = as_int(movie.get("bytesize"), 0)
            if size and bytesize is not None and as_int(bytesize, -1) != size:
                continue
            found.append(movie)
        return found

    def match_imdb(self, imdbid):
        wanted = as_int(imdbid, -1)
        return [m for m in self.movies if wanted > 0 and as_int(m.get("imdbid"), 0) == wanted]

    def match_tag(self, tag):
        wanted = strip_extension(tag).lower()
        return [m for m in self.movies
                if any(strip_extension(t).lower() == wanted for t in m.get("tags", []))]

    def match_query(self, query, season, episode):
        words = set(tokens(query))
        if not words:
            return []
        found = []
        for movie in self.movies:
            if season is not None or episode is not None:
                if as_int(movie.get("season")) != as_int(season) or as_int(movie.get("episode")) != as_int(episode):
                    continue
                names = [movie.get("show", "")]
            else:
                names = [movie.get("name", ""), movie.get("show", "")]
            for name in names:
                name_words = set(tokens(name))
                if name_words and (name_words <= words or words <= name_words):
                    found.append(movie)
                    break
        return found


class Emulator:
    """Shared state of the server: catalogue, rules, recorded calls, tokens."""

    def __init__(self, catalogue, verbose=False):
        self.lock = threading.Lock()
        self.catalogue = catalogue
        self.rules = []
        self.calls = []
        self.tokens = set()
        self.token_counter = 0
        self.verbose = verbose
        self.bomb_cache = {}

    def take_rule(self, kind, method, subtitle=None):
        with self.lock:
            for rule in self.rules:
                if rule.matches(kind, method, subtitle):
                    if rule.times is not None:
                        rule.times -= 1
                    return rule
        return None

    def peek_rule(self, kind, method, subtitle=None):
        """The rule that would apply, left as it is."""
        with self.lock:
            for rule in self.rules:
                if rule.matches(kind, method, subtitle):
                    return rule
        return None

    def record(self, entry):
        """A recorded call: {"kind": "xmlrpc" or "download", "method", "params",
        "path", "headers" (lower-case names), "body" (the request text)}."""
        with self.lock:
            self.calls.append(entry)

    def new_token(self):
        with self.lock:
            self.token_counter += 1
            token = "emu%04dTOKEN" % self.token_counter
            self.tokens.add(token)
            return token

    def token_ok(self, token):
        with self.lock:
            return not self.catalogue.require_token or token in self.tokens

    def gzip_bomb(self, size):
        with self.lock:
            cached = self.bomb_cache.get(size)
        if cached is None:
            packer = zlib.compressobj(9, zlib.DEFLATED, 31)
            chunk = b"\0" * (1 << 20)
            parts, left = [], size
            while left > 0:
                parts.append(packer.compress(chunk[:min(left, len(chunk))]))
                left -= len(chunk)
            parts.append(packer.flush())
            cached = b"".join(parts)
            with self.lock:
                self.bomb_cache[size] = cached
        return cached


class Service:
    """The XML-RPC methods. `base_url` is the address the client reached us at,
    so that download links point back at this server."""

    def __init__(self, emulator, base_url):
        self.emu = emulator
        self.cat = emulator.catalogue
        self.base_url = base_url
        self.started = time.monotonic()
        self.file_call_rule = None  # a rule of FILE_CALL_MODES for this DownloadSubtitles

    def seconds(self):
        return round(time.monotonic() - self.started, 3)

    def reply(self, status="200 OK", **fields):
        result = {"status": status}
        result.update(fields)
        result["seconds"] = self.seconds()
        return result

    def ServerInfo(self, *params):
        return {
            "xmlrpc_version": "0.1", "xmlrpc_url": self.base_url + "/xml-rpc",
            "application": "Lumbra service stand-in", "contact": "nobody@localhost",
            "website_url": self.base_url, "users_online_total": "1",
            "users_online_program": "1", "users_loggedin": "0",
            "users_max_alltime": "1", "users_registered": "1",
            "subs_downloads": "0", "subs_subtitle_files": str(len(self.cat.subtitles)),
            "movies_total": str(len(self.cat.movies)), "movies_aka": "0",
            "total_subtitles_languages": str(len(LANGUAGES)),
            "last_update_strings": {"en": "2026-01-01 00:00:00"},
            "download_limits": self._limits(), "seconds": self.seconds(),
        }

    def LogIn(self, username="", password="", language="en", useragent="", *rest):
        token = self.emu.new_token()
        if self.cat.agents is not None and useragent not in self.cat.agents:
            return self.reply(status="414 Unknown User Agent")
        users = self.cat.users
        anonymous = not username and not password
        if users and not anonymous and users.get(username) != password:
            return self.reply("401 Unauthorized", token=token)
        return self.reply(token=token)

    def LogOut(self, token="", *rest):
        return self.reply()

    def NoOperation(self, token="", *rest):
        if not self.emu.token_ok(token):
            return self.reply(status="406 No session")
        return self.reply(download_limits=self._limits())

    def SearchSubtitles(self, token="", queries=None, options=None, *rest):
        if not self.emu.token_ok(token):
            return self.reply(status="401 Unauthorized")
        limit = 500
        if isinstance(options, dict) and "limit" in options:
            limit = max(0, min(500, as_int(options["limit"], 500)))
        entries = []
        for number, query in enumerate(queries or []):
            if not isinstance(query, dict):
                continue
            entries.extend(self._search_one(number, query)[:limit])
        # Older replies said false, newer ones an empty array: vary by catalogue.
        if not entries and self.cat.data.get("nothing_found") == "false":
            return self.reply(data=False)
        return self.reply(data=entries)

    def CheckMovieHash2(self, token="", hashes=None, *rest):
        if not self.emu.token_ok(token):
            return self.reply(status="401 Unauthorized")
        data = {}
        for moviehash in hashes or []:
            candidates = [self._candidate(m) for m in self.cat.match_hash(moviehash, None)]
            candidates.sort(key=lambda c: -as_int(c["SeenCount"]))
            data[str(moviehash)] = candidates
        return self.reply(data=data)

    def DownloadSubtitles(self, token="", ids=None, *rest):
        """The subtitle files with these IDSubtitleFile numbers, each gzip-compressed
        and base64-encoded; at most 20 per call, as the service allows."""
        if not self.emu.token_ok(token):
            return self.reply(status="401 Unauthorized")
        ids = [str(i) for i in (ids or [])]
        if len(ids) > 20:
            return self.reply(status="407 Download limit reached")
        mangle = self.file_call_rule.mode if self.file_call_rule else None
        data = []
        for number, sub_id in enumerate(ids):
            packed = self._packed_for_call(sub_id)
            if packed is None or (mangle == "dropids" and number % 2 == 1):
                continue
            if mangle == "brokengzip":
                packed = broken_gzip(packed)
            text = base64.b64encode(packed).decode("ascii")
            if mangle == "badbase64":
                text = text[: len(text) // 2] + "*not base64*" + text[len(text) // 2 :]
            data.append({"idsubtitlefile": "9" + sub_id if mangle == "foreignids" else sub_id, "data": text})
        if mangle == "status":
            return self.reply(status=str(self.file_call_rule.settings.get("text", "407 Download limit reached")),
                              data=data)
        return self.reply(data=data)

    def _packed_for_call(self, sub_id):
        """A file as DownloadSubtitles sends it, after the download rule that
        names it (not used up here: the link meets it); None to leave it out."""
        with self.emu.lock:
            sub = self.cat.subtitles.get(sub_id)
        rule = self.emu.peek_rule("download", "download", sub_id)
        if sub is None or (rule and rule.mode not in DOWNLOAD_ONLY_MODES):
            return None
        if rule and rule.mode == "html":
            return LIMIT_PAGE
        if rule and rule.mode == "brokengzip":
            return broken_gzip(packed_bytes(sub))
        if rule and rule.mode == "gzipbomb":
            return self.emu.gzip_bomb(as_int(rule.settings.get("size"), 200 << 20))
        if rule and rule.mode in ("junk", "nothing"):
            return junk_gzip(rule)
        return packed_bytes(sub)

    def _limits(self):
        return {"global_24h_download_limit": 200, "client_ip": "127.0.0.1",
                "limit_check_by": "user_ip", "client_24h_download_count": 0,
                "client_download_quota": 200, "client_24h_download_limit": 200}

    def _candidate(self, movie):
        return {
            "MovieHash": str(movie.get("hash", "")), "MovieImdbID": str(movie.get("imdbid", "")),
            "MovieName": str(movie.get("name", "")), "MovieYear": str(movie.get("year", "")),
            "MovieKind": str(movie.get("kind", "movie")),
            "SeriesSeason": str(movie.get("season", 0)), "SeriesEpisode": str(movie.get("episode", 0)),
            "SeenCount": str(movie.get("seencount", 1)), "SubCount": str(len(movie["subtitles"])),
        }

    def _search_one(self, number, query):
        langs = [l for l in str(query.get("sublanguageid", "")).lower().split(",") if l]
        echo = {"sublanguageid": ",".join(langs) if langs else "all"}
        if query.get("moviehash") not in (None, ""):
            matched = "moviehash"
            echo["moviehash"] = str(query["moviehash"])
            size = query.get("moviebytesize")
            if size is not None:
                echo["moviebytesize"] = wrap32(as_int(size))
            movies = self.cat.match_hash(query["moviehash"], size)
            if not movies and self.cat.answer_every_hash:
                movies = [self._invented_movie(query["moviehash"], size, langs)]
        elif query.get("imdbid") not in (None, ""):
            matched = "imdbid"
            echo["imdbid"] = "%07d" % as_int(query["imdbid"])
            movies = self.cat.match_imdb(query["imdbid"])
        elif query.get("tag") not in (None, ""):
            matched = "tag"
            echo["tag"] = str(query["tag"])
            movies = self.cat.match_tag(query["tag"])
        elif query.get("query") not in (None, ""):
            matched = "fulltext"
            echo["query"] = str(query["query"]).lower()
            season, episode = query.get("season"), query.get("episode")
            if season is not None:
                echo["season"] = str(season)
            if episode is not None:
                echo["episode"] = str(episode)
            movies = self.cat.match_query(query["query"], season, episode)
        else:
            return []
        entries = []
        for movie in movies:
            for sub in movie["subtitles"]:
                if langs and "all" not in langs and sub["lang"] not in langs:
                    continue
                entries.append(self._entry(movie, sub, matched, number, echo))
        return entries

    def _invented_movie(self, moviehash, size, langs):
        """With "answer_every_hash", any hash finds a placeholder subtitle."""
        movie = {"hash": moviehash, "bytesize": as_int(size), "name": "Stand-in Movie",
                 "imdbid": "0000001", "year": "2026", "idmovie": "1"}
        movie["subtitles"] = []
        for lang in [l for l in langs if l != "all"] or ["eng"]:
            sub_id = str(1900000000 + int(hashlib.md5((str(moviehash) + lang).encode()).hexdigest()[:6], 16))
            with self.emu.lock:
                sub = self.cat.subtitles.get(sub_id)
                if sub is None:
                    sub = self.cat._complete_subtitle(movie, {
                        "id": sub_id, "lang": lang, "file": "stand-in.%s.srt" % lang,
                        "content": "1\n00:00:01,000 --> 00:00:05,000\nA subtitle from the "
                                   "Lumbra service stand-in (%s)\n" % lang})
                    self.cat.subtitles[sub_id] = sub
            movie["subtitles"].append(sub)
        return movie

    def _entry(self, movie, sub, matched, number, echo):
        by_hash = matched == "moviehash"
        iso, language_name = LANGUAGES.get(sub["lang"], (sub["lang"][:2], sub["lang"]))
        link = self.cat.data.get("download_link") or "%s/download/%s.gz" % (self.base_url, sub["id"])
        downloads = as_int(sub.get("downloads", 100))
        return {
            "MatchedBy": matched,
            "IDSubMovieFile": str(movie.get("idmovie")) if by_hash else "0",
            "MovieHash": str(movie.get("hash", "0")) if by_hash else "0",
            "MovieByteSize": str(as_int(movie.get("bytesize"))) if by_hash else "0",
            "MovieTimeMS": "0",
            "IDSubtitleFile": sub["id"],
            "SubFileName": str(sub["file"]),
            "SubActualCD": "1",
            "SubSize": str(len(sub["bytes"])),
            "SubHash": subtitle_hash(sub),
            "SubLastTS": "00:00:04",
            "SubTSGroup": "1",
            "InfoReleaseGroup": "", "InfoFormat": "", "InfoOther": "",
            "IDSubtitle": str(as_int(sub["id"]) - 1940000000),
            "UserID": "0",
            "SubLanguageID": sub["lang"],
            "SubFormat": str(sub.get("format", "srt")),
            "SubSumCD": "1",
            "SubAuthorComment": "",
            "SubAddDate": str(sub.get("added", "2013-10-16 16:56:06")),
            "SubBad": "1" if sub.get("bad") else "0",
            "SubRating": str(sub.get("rating", "0.0")),
            "SubSumVotes": "0",
            "SubDownloadsCnt": str(downloads),
            "MovieReleaseName": str(movie.get("release", movie.get("name", ""))),
            "MovieFPS": str(movie.get("fps", "23.976")),
            "IDMovie": str(movie.get("idmovie")),
            "IDMovieImdb": str(as_int(movie.get("imdbid"))),
            "MovieName": str(movie.get("name", "")),
            "MovieNameEng": "",
            "MovieYear": str(movie.get("year", "")),
            "MovieImdbRating": str(movie.get("imdbrating", "7.0")),
            "SubFeatured": "0",
            "UserNickName": "",
            "SubTranslator": "",
            "ISO639": sub.get("iso639", iso),
            "LanguageName": sub.get("languagename", language_name),
            "SubComments": "0",
            "SubHearingImpaired": "1" if sub.get("hi") else "0",
            "UserRank": "",
            "SeriesSeason": str(movie.get("season", 0)),
            "SeriesEpisode": str(movie.get("episode", 0)),
            "MovieKind": str(movie.get("kind", "movie")),
            "SubHD": "1",
            "SeriesIMDBParent": "0",
            "SubEncoding": sub["encoding"],
            "SubAutoTranslation": "1" if sub.get("mt") or sub.get("ai") else "0",
            "SubForeignPartsOnly": "1" if sub.get("forced") else "0",
            "SubFromTrusted": "0",
            "QueryCached": 1,
            "SubTSGroupHash": hashlib.md5(sub["id"].encode()).hexdigest(),
            "SubDownloadLink": link,
            "ZipDownloadLink": "%s/zip/%s" % (self.base_url, sub["id"]),
            "SubtitlesLink": "%s/subtitles/%s" % (self.base_url, sub["id"]),
            "QueryNumber": str(number),
            "QueryParameters": dict(echo),
            "Score": float(downloads) / 100.0 + (100.0 if by_hash else 0.0),
        }


class Dispatcher(xmlrpc.server.SimpleXMLRPCDispatcher):
    def __init__(self, service):
        super().__init__(allow_none=False, encoding="utf-8", use_builtin_types=True)
        self.service = service

    def _dispatch(self, method, params):
        handler = getattr(self.service, method, None) if method[:1].isupper() else None
        if handler is None:
            return self.service.reply(status="409 Method not found")
        return handler(*params)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes; on a kept-alive connection Nagle's
    # algorithm would hold the body back until the client's delayed ACK (40 ms
    # per reply), which no real server does.
    disable_nagle_algorithm = True
    server_version = "LumbraStandIn/1.0"

    @property
    def emu(self):
        return self.server.emulator

    def log_message(self, fmt, *args):
        if self.emu.verbose:
            sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    def base_url(self):
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        return "http://" + host

    def read_body(self):
        length = as_int(self.headers.get("Content-Length"), 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, code, body=b"", content_type="text/xml", extra=None):
        try:
            self.send_response(code)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            for name, value in (extra or {}).items():
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def send_json(self, value, code=200):
        self.send(code, json.dumps(value, default=json_default).encode(), "application/json")

    def headers_record(self):
        return {k.lower(): v for k, v in self.headers.items()}

    # Control interface and download links.
    def do_GET(self):
        if self.path == "/_calls":
            with self.emu.lock:
                calls = list(self.emu.calls)
            self.send_json(calls)
            return
        match = re.fullmatch(r"/download/([0-9A-Za-z_-]+)\.gz", self.path.split("?")[0])
        if not match:
            self.send(404, b"not found", "text/plain")
            return
        sub_id = match.group(1)
        self.emu.record({"kind": "download", "method": "download", "params": [sub_id],
                         "path": self.path, "headers": self.headers_record(), "body": ""})
        rule = self.emu.take_rule("download", "download", sub_id)
        if rule and self.apply_common_rule(rule):
            return
        with self.emu.lock:
            sub = self.emu.catalogue.subtitles.get(sub_id)
        if sub is None:
            self.send(404, b"<html><body>File not found</body></html>", "text/html")
            return
        packed = packed_bytes(sub)
        if rule and rule.mode == "html":
            self.send(200, LIMIT_PAGE, "text/html; charset=utf-8")
        elif rule and rule.mode == "brokengzip":
            self.send(200, broken_gzip(packed), "application/x-gzip")
        elif rule and rule.mode == "gzipbomb":
            self.send(200, self.emu.gzip_bomb(as_int(rule.settings.get("size"), 200 << 20)), "application/x-gzip")
        elif rule and rule.mode in ("junk", "nothing"):
            self.send(200, junk_gzip(rule), "application/x-gzip")
        else:
            self.send(200, packed, "application/x-gzip",
                      {"Content-Disposition": 'attachment; filename="%s.gz"' % sub["id"]})

    def do_POST(self):
        body = self.read_body()
        if self.path == "/_fail":
            try:
                rule = FailureRule(json.loads(body or b"{}"))
            except (ValueError, TypeError) as error:
                self.send_json({"error": str(error)}, 400)
                return
            with self.emu.lock:
                self.emu.rules.append(rule)
            self.send_json({"ok": True})
            return
        if self.path == "/_reset":
            with self.emu.lock:
                self.emu.rules.clear()
                self.emu.calls.clear()
            self.send_json({"ok": True})
            return
        if self.path == "/_catalog":
            try:
                catalogue = Catalogue(json.loads(body or b"{}"))
            except (ValueError, TypeError, AttributeError) as error:
                self.send_json({"error": str(error)}, 400)
                return
            with self.emu.lock:
                self.emu.catalogue = catalogue
            self.send_json({"ok": True})
            return
        self.xmlrpc(body)

    def xmlrpc(self, body):
        try:
            params, method = xmlrpc.client.loads(body, use_builtin_types=True)
        except Exception:  # noqa: BLE001 - a broken request is recorded and answered with a fault
            params, method = (), None
        self.emu.record({"kind": "xmlrpc", "method": method, "params": list(params),
                         "path": self.path, "headers": self.headers_record(),
                         "body": body.decode("utf-8", "replace")})
        rule = self.emu.take_rule("xmlrpc", method)
        if rule and self.apply_common_rule(rule):
            return
        if self.path.startswith("/_loop"):
            # A redirect loop goes on after its rule is used up, like a broken server.
            self.redirect(302, "/_loop/%d" % (as_int(self.path.rsplit("/", 1)[-1]) + 1))
            return
        with self.emu.lock:
            service = Service(self.emu, self.base_url())
        if rule and rule.mode in FILE_CALL_MODES:
            service.file_call_rule = rule
        if rule and rule.mode == "fault":
            reply = xmlrpc.client.dumps(
                xmlrpc.client.Fault(fault_code(rule.settings.get("code", 401)),
                                    str(rule.settings.get("text", "Unauthorized"))),
                methodresponse=True, encoding="utf-8").encode()
        elif method is None:
            reply = xmlrpc.client.dumps(xmlrpc.client.Fault(400, "Malformed request"),
                                        methodresponse=True, encoding="utf-8").encode()
        else:
            reply = Dispatcher(service)._marshaled_dispatch(body)
        if rule and rule.mode == "empty":
            self.send(200, b"")
        elif rule and rule.mode == "malformed":
            self.send(200, reply[: len(reply) // 2] + b"<unclosed")
        elif rule and rule.mode == "notrpc":
            self.send(200, b"<?xml version='1.0'?><html><body>Not XML-RPC</body></html>")
        elif rule and rule.mode == "gzip":
            self.send(200, gzip.compress(reply), extra={"Content-Encoding": "gzip"})
        else:
            self.send(200, reply)

    def apply_common_rule(self, rule):
        """Failure modes shared by XML-RPC calls and download links. Returns
        True when the request has been answered (or dropped)."""
        if rule.mode == "http":
            code = as_int(rule.settings.get("code"), 503)
            extra = {"Retry-After": "10"} if code in (429, 503) else None
            self.send(code, ("%d %s" % (code, self.responses.get(code, ("Error",))[0])).encode(),
                      "text/plain", extra)
            return True
        if rule.mode == "close":
            self.close_connection = True
            return True
        if rule.mode in ("trickle", "chunked"):
            send_chunked(self, 200, "text/xml", misbehaving_body(rule))
            return True
        if rule.mode == "stall":
            time.sleep(float(rule.settings.get("seconds", 30)))
            return False
        if rule.mode == "redirect":
            if self.path.startswith("/_redirected"):
                return False
            location = rule.settings.get("location", "/_redirected" + self.path)
            self.redirect(as_int(rule.settings.get("code"), 302), location)
            return True
        if rule.mode == "redirectloop":
            self.redirect(as_int(rule.settings.get("code"), 302),
                          "/_loop/%d" % (as_int(self.path.rsplit("/", 1)[-1]) + 1))
            return True
        return False

    def redirect(self, code, location):
        extra = {"Location": location} if location else {}
        self.send(code, b"", "text/plain", extra)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def exit_at_end_of_input():
    while sys.stdin.buffer.read(4096):
        pass
    os._exit(0)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Local stand-in for the OpenSubtitles XML-RPC service.")
    parser.add_argument("--catalog", help="JSON catalogue of movies and subtitles")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free port)")
    parser.add_argument("--verbose", action="store_true", help="log every request to stderr")
    parser.add_argument("--watch-stdin", action="store_true",
                        help="exit when standard input closes (when the test that started us ends)")
    args = parser.parse_args(argv)
    if args.watch_stdin:
        threading.Thread(target=exit_at_end_of_input, daemon=True).start()
    data = {}
    if args.catalog:
        with open(args.catalog, encoding="utf-8") as handle:
            data = json.load(handle)
    server = Server(("127.0.0.1", args.port), Handler)
    server.emulator = Emulator(Catalogue(data), args.verbose)
    print("listening http://127.0.0.1:%d/xml-rpc" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
