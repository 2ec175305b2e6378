#!/usr/bin/env python3
"""A local stand-in for the OpenSubtitles REST API (v1).

Lumbra's tests talk to it over 127.0.0.1; a user can run it by hand to try
Lumbra's REST provider without an API key for the real service. Standard
library only. It shares the catalogue format of emulator.py (the XML-RPC
stand-in), so one catalogue serves both.

    python3 rest_emulator.py --catalog CATALOG.json [--port N] [--verbose]

It prints one line, "listening http://127.0.0.1:PORT/api/v1", once it accepts
connections (with --port 0, the default, the system picks a free port).

Endpoints (below /api/v1): POST /login, GET /subtitles, POST /download,
DELETE /logout, GET /infos/user. Download links: GET /download/<key>/subfile/<name>.

Control interface for tests (JSON), as in emulator.py:
  GET  /_calls    every request received so far, oldest first
  POST /_fail     add a failure rule (see RestRule)
  POST /_reset    forget all rules, recorded calls, quota counts and rate windows
  POST /_catalog  replace the catalogue with the JSON body

README.md beside this script describes the catalogue keys and the rules.
"""

import argparse
import collections
import datetime
import gzip
import hashlib
import http.server
import json
import math
import os
import re
import sys
import threading
import time
import urllib.parse
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import emulator  # noqa: E402  (the shared catalogue and helpers)

API = "/api/v1"

# Three-letter catalogue codes -> REST codes, in the case the database answers with.
REST_LANGUAGES = {"pob": "pt-BR", "por": "pt-PT", "chi": "zh-CN"}

# Query values the API treats as defaults; a canonical query leaves them out.
DEFAULTS = {"ai_translated": "include", "machine_translated": "exclude", "order_direction": "desc",
            "page": "1"}

RULE_MODES = {"http", "html", "stall", "close", "redirect", "badjson", "deepjson", "wrongtypes",
              "redirectloop", "trickle", "chunked", "gzipfile", "gzipbomb", "junk", "empty", "token"}
ENDPOINTS = {"login", "subtitles", "download", "logout", "user", "link"}

EMPTY_UA_PAGE = (b"<!DOCTYPE html><html><head><title>Error 403 - User-Agent header is empty; set it to "
                 b"App name with version eg: MyApp v1.2.3</title></head><body></body></html>")


def rest_language(sub):
    """The subtitle's REST code as the database writes it (catalogue "rest_lang" wins)."""
    if sub.get("rest_lang"):
        return str(sub["rest_lang"])
    lang = sub.get("lang", "eng")
    if lang in REST_LANGUAGES:
        return REST_LANGUAGES[lang]
    return emulator.LANGUAGES.get(lang, (lang[:2], ""))[0]


def canonical_query(pairs):
    """The query string the API does not redirect: keys and values lower-cased,
    keys sorted, defaults left out, ids without "tt" and leading zeros, the
    languages sorted, spaces as "+" and commas as "%2C"."""
    canon = {}
    for key, value in pairs:
        key, value = key.lower(), value.lower()
        if key.endswith("_id") or key.endswith("_number"):
            value = value[2:] if value.startswith("tt") else value
            value = value.lstrip("0") or "0"
        if key == "languages":
            value = ",".join(sorted(v for v in value.split(",") if v))
        if DEFAULTS.get(key) == value:
            continue
        canon[key] = value
    return urllib.parse.urlencode(sorted(canon.items()), quote_via=urllib.parse.quote_plus)


def utc_reset():
    now = datetime.datetime.now(datetime.timezone.utc)
    end = now.replace(hour=23, minute=59, second=59, microsecond=999000)
    left = int((end - now).total_seconds())
    return end, "%02d hours and %02d minutes" % (left // 3600, left % 3600 // 60)


class RestRule:
    """One way to fail, posted as JSON to /_fail:

    {"mode": M, "on": ENDPOINT, "times": N, ...mode options}

    mode  "http" with "code" (short form "http503", "http429", ...): that status
              with a JSON {"message": ...} body ("message" option overrides);
              429 carries "Retry-After" ("retry_after", default 1)
          "html": an HTML error page with status "code" (default 502; 200 on links)
          "stall": wait "seconds" (default 30) before answering normally
          "close": close the connection without any reply
          "redirect": "code" (default 301) with a relative Location to the same
              request under /_moved, which answers normally
          "badjson": status 200, a JSON body cut short
          "deepjson": status 200, arrays nested "depth" deep (default 100000)
          "wrongtypes": status 200, the right keys with values of the wrong kinds
          "redirect" with "location": to that address instead (another port...)
          "redirectloop": "code" (default 302) back to the same address, for ever
          "trickle", "chunked": a chunked body, one byte every "interval" s, or
              "size" bytes of filler (as in emulator.py)
          "gzipfile" (link): the subtitle gzip-compressed, declared as a file
          "gzipbomb" (link): "Content-Encoding: gzip" of "size" zero bytes
              (default 200 MiB)
          "junk" (link): "size" random bytes (default 4096); "empty": no body
          "token" (login): a normal sign-in whose token is "token"
    on    "login", "subtitles", "download" (POST /download), "logout", "user",
          "link" (GET of a download link), or absent: every API request
    times how many requests it applies to; absent means until /_reset
    """

    def __init__(self, settings):
        self.settings = dict(settings)
        mode = str(self.settings.get("mode", ""))
        short = re.fullmatch(r"http(\d{3})", mode)
        if short:
            mode = "http"
            self.settings.setdefault("code", int(short.group(1)))
        if mode not in RULE_MODES:
            raise ValueError("unknown failure mode: %r" % mode)
        self.mode = mode
        self.on = self.settings.get("on")
        if self.on is not None and self.on not in ENDPOINTS:
            raise ValueError("unknown endpoint: %r" % self.on)
        self.times = self.settings.get("times")

    def matches(self, endpoint):
        if self.times is not None and self.times <= 0:
            return False
        if endpoint == "link":
            return self.on == "link"
        return self.on is None or self.on == endpoint


class RestState:
    """Shared state: catalogue, rules, recorded calls, tokens, quota, rate windows."""

    def __init__(self, catalogue, verbose=False):
        self.lock = threading.Lock()
        self.catalogue = catalogue
        self.verbose = verbose
        self.rules = []
        self.calls = []
        self.tokens = {}          # token -> user name
        self.downloads = collections.Counter()  # user name or "ip:<address>" -> count today
        self.links = {}           # link key -> (file id, file name, time made)
        self.windows = collections.defaultdict(collections.deque)  # rate class -> request times

    def reset(self):
        with self.lock:
            self.rules.clear()
            self.calls.clear()
            self.downloads.clear()
            self.windows.clear()

    def take_rule(self, endpoint):
        with self.lock:
            for rule in self.rules:
                if rule.matches(endpoint):
                    if rule.times is not None:
                        rule.times -= 1
                    return rule
        return None

    def take_turn(self, rate_class, per_second):
        """Counts a request against `per_second` in the last second (a sliding
        window): (over, remaining, seconds until a turn frees up)."""
        now = time.monotonic()
        with self.lock:
            window = self.windows[rate_class]
            while window and now - window[0] >= 1.0:
                window.popleft()
            over = len(window) >= per_second
            if not over:
                window.append(now)
            frees = 1.0 - (now - window[0]) if window else 0.0
            return over, max(0, per_second - len(window)), max(1, math.ceil(frees))

    def login(self, user):
        with self.lock:
            for token, owner in self.tokens.items():
                if owner == user:
                    return token  # the real service hands out the same unexpired token
            token = "eyJ0eXAiOiJKV1QiLCJhbGciOiJIUzI1NiJ9.emu%04d" % (len(self.tokens) + 1)
            self.tokens[token] = user
            return token


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes: without this, Nagle's algorithm
    # holds the body until the client's delayed ACK (40 ms a reply), as the
    # XML-RPC stand-in found.
    disable_nagle_algorithm = True
    server_version = "LumbraRestStandIn/1.0"

    @property
    def state(self):
        return self.server.state

    @property
    def cat(self):
        return self.state.catalogue

    def log_message(self, fmt, *args):
        if self.state.verbose:
            sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    # --- Plumbing -------------------------------------------------------------
    def host(self):
        return self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]

    def read_body(self):
        length = emulator.as_int(self.headers.get("Content-Length"), 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, code, body=b"", content_type="application/json; charset=utf-8", extra=None):
        try:
            self.send_response(code)
            if content_type:
                self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            for name, value in (extra or {}).items():
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def send_json(self, value, code=200, extra=None):
        headers = dict(getattr(self, "rate_headers", None) or {
            "RateLimit-Limit": "5", "RateLimit-Remaining": "4", "RateLimit-Reset": "1",
            "X-RateLimit-Limit-Second": "5", "X-RateLimit-Remaining-Second": "4"})
        headers.update(extra or {})
        self.send(code, json.dumps(value).encode(), extra=headers)

    def record(self, endpoint, body):
        parts = urllib.parse.urlsplit(self.path)
        call = {"at": round(time.monotonic(), 4), "kind": "link" if endpoint == "link" else "api", "endpoint": endpoint,
                "method": self.command, "path": parts.path, "query": parts.query,
                "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": body.decode("utf-8", "replace")}
        with self.state.lock:
            self.state.calls.append(call)
        return call

    # --- Dispatch -------------------------------------------------------------
    def do_GET(self):
        if self.path == "/_calls":
            with self.state.lock:
                calls = list(self.state.calls)
            self.send(200, json.dumps(calls).encode())
            return
        self.dispatch(b"")

    def do_DELETE(self):
        self.dispatch(b"")

    def do_POST(self):
        body = self.read_body()
        if self.path in ("/_fail", "/_reset", "/_catalog"):
            self.control(body)
            return
        self.dispatch(body)

    def control(self, body):
        try:
            if self.path == "/_fail":
                rule = RestRule(json.loads(body or b"{}"))
                with self.state.lock:
                    self.state.rules.append(rule)
            elif self.path == "/_reset":
                self.state.reset()
            else:
                catalogue = emulator.Catalogue(json.loads(body or b"{}"))
                with self.state.lock:
                    self.state.catalogue = catalogue
        except (ValueError, TypeError, AttributeError) as error:
            self.send(400, json.dumps({"error": str(error)}).encode())
            return
        self.send(200, b'{"ok": true}')

    def dispatch(self, body):
        self.rate_headers = None
        path = urllib.parse.urlsplit(self.path).path
        moved = path.startswith("/_moved/")
        if moved:
            path = path[len("/_moved"):]
        link = re.fullmatch(r"/download/([0-9a-f]+)/subfile/[^/]+", path)
        routes = {("POST", API + "/login"): "login", ("GET", API + "/subtitles"): "subtitles",
                  ("POST", API + "/download"): "download", ("DELETE", API + "/logout"): "logout",
                  ("GET", API + "/infos/user"): "user"}
        endpoint = "link" if link and self.command == "GET" else routes.get((self.command, path))
        call = self.record(endpoint or "unknown", body)
        if endpoint is None:
            self.send(404, b'{"message":"Not found"}')
            return
        rule = self.state.take_rule(endpoint)
        if rule and self.apply_rule(rule, endpoint, moved):
            return
        if endpoint == "link":
            self.serve_link(link.group(1))
            return
        if not self.client_ok():
            return
        # The real limits: 1 login and 5 other requests per second; the
        # catalogue's "rate_limit" changes the second (0 turns both off).
        # Every answer then carries the count as the service's proxy keeps it.
        limit = emulator.as_int(self.cat.data.get("rate_limit", 5), 5)
        rate_class = "login" if endpoint == "login" else "api"
        # With the limits off the headers still come, as recorded: a full count.
        per_second = 1 if rate_class == "login" else (limit if limit > 0 else 5)
        over, remaining, frees = False, per_second - 1, 1
        if limit > 0:
            over, remaining, frees = self.state.take_turn(rate_class, per_second)
        self.rate_headers = {"RateLimit-Limit": str(per_second), "RateLimit-Remaining": str(remaining),
                             "RateLimit-Reset": str(frees), "X-RateLimit-Limit-Second": str(per_second),
                             "X-RateLimit-Remaining-Second": str(remaining)}
        if over:
            with self.state.lock:
                call["rate_limited"] = True
            self.send_json({"message": "API rate limit exceeded"}, 429, {"Retry-After": str(frees)})
            return
        getattr(self, "ep_" + endpoint)(body)

    def apply_rule(self, rule, endpoint, moved):
        """Answers the request by the rule; False when it should go on normally."""
        code = emulator.as_int(rule.settings.get("code"), 0)
        if rule.mode == "http":
            extra = {}
            if code == 429:
                extra["Retry-After"] = str(rule.settings.get("retry_after", 1))
            if code == 410:
                self.send(410, b"Error 410 - Invalid or expired link", "text/txt")
                return True
            message = rule.settings.get("message") or {
                401: "invalid token", 403: "You cannot consume this service", 429: "API rate limit exceeded",
                500: "Internal Server Error", 503: "Service Unavailable"}.get(code, "Error %d" % code)
            self.send_json({"message": message, "status": code}, code, extra)
            return True
        if rule.mode == "html":
            self.send(code or (200 if endpoint == "link" else 502),
                      b"<!DOCTYPE html><html><head><title>502 Bad Gateway</title></head><body>"
                      b"<h1>Bad gateway</h1><p>cloudflare</p></body></html>", "text/html; charset=UTF-8")
            return True
        if rule.mode == "stall":
            time.sleep(float(rule.settings.get("seconds", 30)))
            return False
        if rule.mode == "close":
            self.close_connection = True
            return True
        if rule.mode == "redirect":
            if moved:
                return False
            location = rule.settings.get("location") or "/_moved" + self.path
            self.send(code or 301, b"", None, {"Location": location})
            return True
        if rule.mode == "redirectloop":
            self.send(code or 302, b"", None, {"Location": self.path})
            return True
        if rule.mode in ("trickle", "chunked"):
            emulator.send_chunked(self, 200, "application/json", emulator.misbehaving_body(rule))
            return True
        if rule.mode == "gzipfile":
            self.send(200, gzip.compress(self.link_bytes() or b""), "application/x-gzip")
            return True
        if rule.mode == "gzipbomb":
            self.send(200, self.server.bomb(emulator.as_int(rule.settings.get("size"), 200 << 20)),
                      "text/plain", {"Content-Encoding": "gzip"})
            return True
        if rule.mode == "junk":
            self.send(200, os.urandom(emulator.as_int(rule.settings.get("size"), 4096)), "text/plain")
            return True
        if rule.mode == "empty":
            self.send(200, b"", "text/plain")
            return True
        if rule.mode == "token":
            self.send_json({"token": str(rule.settings.get("token", "")), "status": 200,
                            "user": {"allowed_downloads": 20}, "base_url": self.host()})
            return True
        if rule.mode == "badjson":
            self.send(200, b'{"data":[{"id":"1","attributes":{"language":"en"')
            return True
        if rule.mode == "deepjson":
            depth = emulator.as_int(rule.settings.get("depth"), 100000)
            self.send(200, b'{"data":' + b"[" * depth + b"]" * depth + b"}")
            return True
        if rule.mode == "wrongtypes":
            self.send_json(self.wrong_types(endpoint))
            return True
        return False

    @staticmethod
    def wrong_types(endpoint):
        if endpoint == "login":
            return {"token": 12, "base_url": ["x"], "user": "nobody", "status": "200"}
        if endpoint == "download":
            return {"link": {"href": "x"}, "remaining": "lots", "file_name": None, "reset_time_utc": 5}
        return {"total_pages": "1", "data": [
            None, 7, "text", {"id": [], "attributes": []},
            {"id": "1", "attributes": {"language": 5, "download_count": 1e300, "ratings": "ten",
                                       "files": {"file_id": 1}, "feature_details": [1, 2],
                                       "upload_date": {}, "release": None}},
            {"id": "2", "attributes": {"language": "en", "download_count": -5, "ratings": 1e308,
                                       "files": [{"file_id": 9e99, "file_name": 3}],
                                       "feature_details": {"season_number": "x", "year": -1e30}}}]}

    def client_ok(self):
        """The checks the API makes before anything else: a User-Agent and a known key."""
        if not self.headers.get("User-Agent", "").strip():
            self.send(403, EMPTY_UA_PAGE, "text/html; charset=utf-8",
                      {"X-OpenSubtitles-Message": "User-Agent header is empty"})
            return False
        keys = self.cat.data.get("api_keys")
        key = self.headers.get("Api-Key", "")
        if not key or (keys is not None and key not in keys):
            self.send_json({"message": "You cannot consume this service", "status": 403}, 403)
            return False
        return True

    def bearer_user(self):
        """(ok, user): the token's user, None when anonymous; ok False for an unknown token."""
        auth = self.headers.get("Authorization", "")
        if not auth:
            return True, None
        token = auth[7:] if auth.startswith("Bearer ") else ""
        with self.state.lock:
            user = self.state.tokens.get(token)
        return user is not None, user

    # --- Endpoints ------------------------------------------------------------
    def ep_login(self, body):
        try:
            request = json.loads(body or b"{}")
            username, password = str(request.get("username", "")), str(request.get("password", ""))
        except (ValueError, AttributeError):
            self.send_json({"message": "Bad request", "status": 400}, 400)
            return
        if "@" in username:
            self.send_json({"message": "You must use your username, not your email, to log in",
                            "status": 400}, 400)
            return
        users = self.cat.data.get("users")
        if not username or (users and users.get(username) != password):
            self.send_json({"message": "Error, invalid username/password failed:1 remaining:9  ",
                            "status": 401}, 401)
            return
        allowed = self.quota_limit(username)
        self.send_json({"user": {"allowed_translations": 1, "allowed_downloads": allowed,
                                 "level": "Sub leecher", "user_id": 699022, "ext_installed": False,
                                 "vip": False},
                        "token": self.state.login(username), "status": 200,
                        "base_url": self.cat.data.get("base_url", self.host())},
                       extra={"Cache-Control": "max-age=0, private"})

    def ep_logout(self, body):
        self.send_json({"message": "token successfully destroyed", "status": 200})

    def ep_user(self, body):
        ok, user = self.bearer_user()
        if not ok or user is None:
            self.send_json({"message": "invalid token", "status": 401}, 401)
            return
        used = self.state.downloads[user]
        limit = self.quota_limit(user)
        self.send_json({"data": {"allowed_downloads": limit, "level": "Sub leecher", "user_id": 699022,
                                 "vip": False, "downloads_count": used,
                                 "remaining_downloads": limit - used, "username": user}})

    def ep_subtitles(self, body):
        raw = urllib.parse.urlsplit(self.path).query
        pairs = urllib.parse.parse_qsl(raw, keep_blank_values=True)
        canon = canonical_query(pairs)
        if raw != canon:
            # The API answers a query that is not in its canonical form with a
            # redirect to that form: an empty body, a relative Location.
            self.send(301, b"", None, {"Location": API + "/subtitles?" + canon,
                                       "Cache-Control": "public, max-age=86400"})
            return
        query = dict(pairs)
        moviehash = query.get("moviehash")
        if moviehash is not None and not re.fullmatch(r"[0-9a-f]{16}", moviehash):
            self.send(400, b"", None, {"X-Reason": "Request parameters does not make sense, moviehash is wrong"})
            return
        if not any(k in query for k in ("moviehash", "query", "imdb_id", "parent_imdb_id", "id")):
            self.send_json({"message": "Not enough parameters", "status": 400}, 400)
            return
        languages = [l for l in query.get("languages", "").split(",") if l]
        items = self.search(query, moviehash, languages)
        page = max(1, emulator.as_int(query.get("page"), 1))
        per_page = 50
        total_pages = (len(items) + per_page - 1) // per_page
        self.send_json({"total_pages": total_pages, "total_count": len(items), "per_page": per_page,
                        "page": page, "data": items[(page - 1) * per_page: page * per_page]},
                       extra={"Cache-Control": "public, max-age=86400"})

    def search(self, query, moviehash, languages):
        """Hash matches first, then what the other parameters find (each subtitle once)."""
        cat = self.cat
        found = []  # (movie, matched by hash)
        if moviehash:
            found += [(m, True) for m in cat.match_hash(moviehash, None)]
            if not found and cat.answer_every_hash:
                found.append((self.invented_movie(moviehash, languages), True))
        if query.get("imdb_id"):
            found += [(m, False) for m in cat.match_imdb(query["imdb_id"])]
        if query.get("query"):
            found += [(m, False) for m in cat.match_query(query["query"], query.get("season_number"),
                                                          query.get("episode_number"))]
        items, seen = [], set()
        for movie, by_hash in found:
            for sub in movie["subtitles"]:
                if sub["id"] in seen:
                    continue
                if languages and rest_language(sub).lower() not in languages:
                    continue
                seen.add(sub["id"])
                items.append(self.item(movie, sub, by_hash if moviehash else None))
        return items

    def invented_movie(self, moviehash, languages):
        """With "answer_every_hash", any hash finds a placeholder subtitle per language."""
        three = {rest.lower(): code for code, rest in REST_LANGUAGES.items()}
        three.update({two: code for code, (two, _) in emulator.LANGUAGES.items() if code not in REST_LANGUAGES})
        wanted = [three[l] for l in languages if l in three] or ["eng"]
        return emulator.Service(self.state, "")._invented_movie(moviehash, 0, wanted)

    def item(self, movie, sub, hash_match):
        """One search result in the recorded shape: nulls, absent episode
        fields, the database's letter case and a file name without extension."""
        sub_id = str(sub["id"])
        episode = movie.get("kind") == "episode"
        anonymous = bool(sub.get("anonymous"))
        details = {"feature_id": emulator.as_int(movie.get("idmovie")),
                   "feature_type": "Episode" if episode else "Movie",
                   "year": emulator.as_int(movie.get("year")) if movie.get("year") else None,
                   "title": movie.get("name", ""),
                   "movie_name": ("%s - S%02dE%02d  %s" % (movie.get("show", ""), emulator.as_int(movie.get("season")),
                                                          emulator.as_int(movie.get("episode")), movie.get("name", ""))
                                  if episode else movie.get("name", "")),
                   "imdb_id": emulator.as_int(movie.get("imdbid")) or None,
                   "tmdb_id": None}
        if episode:
            details.update({"season_number": emulator.as_int(movie.get("season")),
                            "episode_number": emulator.as_int(movie.get("episode")),
                            "parent_imdb_id": emulator.as_int(movie.get("parent_imdbid")) or None,
                            "parent_title": movie.get("show", ""), "parent_tmdb_id": None,
                            "parent_feature_id": 1})
        attributes = {
            "subtitle_id": sub_id, "language": rest_language(sub),
            "download_count": emulator.as_int(sub.get("downloads", 100)), "new_download_count": 0,
            "hearing_impaired": bool(sub.get("hi")), "hd": True,
            "fps": float(movie.get("fps", 23.976)), "votes": 1 if sub.get("rating") else 0,
            "ratings": float(sub.get("rating", 0.0)), "from_trusted": None if anonymous else False,
            "foreign_parts_only": bool(sub.get("forced")),
            "upload_date": str(sub.get("added", "2013-11-07T04:48:10Z")),
            "ai_translated": bool(sub.get("ai")), "nb_cd": 1, "slug": "%s-%s" % (sub_id, "-".join(emulator.tokens(movie.get("name", "x")))),
            "machine_translated": bool(sub.get("mt")), "release": str(movie.get("release", movie.get("name", ""))),
            "comments": sub.get("comment"), "legacy_subtitle_id": emulator.as_int(sub_id),
            "legacy_uploader_id": 0,
            "uploader": ({"uploader_id": None, "name": "Anonymous", "rank": "anonymous"} if anonymous
                         else {"uploader_id": 56900, "name": "stand-in", "rank": "translator"}),
            "feature_details": details,
            "url": "https://%s/en/subtitles/legacy/%s" % (self.host(), sub_id),
            "related_links": [],
            "files": [{"file_id": emulator.as_int(sub_id), "cd_number": 1,
                       "file_name": emulator.strip_extension(sub["file"])}],
        }
        if hash_match is not None:
            attributes["moviehash_match"] = hash_match
        return {"id": sub_id, "type": "subtitle", "attributes": attributes}

    def quota_limit(self, user):
        quota = self.cat.data.get("quota", {})
        if user is None:
            return emulator.as_int(quota.get("anonymous"), 5)
        return emulator.as_int(quota.get("user"), 20)

    def ep_download(self, body):
        ok, user = self.bearer_user()
        if not ok:
            self.send_json({"message": "invalid token", "status": 401}, 401)
            return
        try:
            file_id = str(emulator.as_int(json.loads(body or b"{}").get("file_id"), -1))
        except (ValueError, AttributeError):
            file_id = "-1"
        with self.state.lock:
            sub = self.cat.subtitles.get(file_id)
        if sub is None:
            self.send_json({"message": "File not found", "status": 404}, 404)
            return
        who = user if user is not None else "ip:" + self.client_address[0]
        limit = self.quota_limit(user)
        end, left = utc_reset()
        reset = {"reset_time": left, "reset_time_utc": end.strftime("%Y-%m-%dT%H:%M:%S.999Z")}
        with self.state.lock:
            used = self.state.downloads[who]
            if used < limit:
                self.state.downloads[who] = used = used + 1
                allowed = True
            else:
                allowed = False
        if not allowed:
            self.send_json(dict({"requests": used, "remaining": 0,
                                 "message": "You have downloaded your allowed %d subtitles for 24h.Your quota "
                                            "will be renewed in %s (%s UTC) ts=%d "
                                            % (limit, left, end.strftime("%Y-%m-%d %H:%M:%S"), time.time())},
                                **reset), 406)
            return
        name = emulator.strip_extension(sub["file"]) + ".srt"
        key = hashlib.md5(("%s-%s-%f" % (file_id, who, time.time())).encode()).hexdigest()
        with self.state.lock:
            self.state.links[key] = (file_id, name)
        self.send_json(dict({"link": "http://%s/download/%s/subfile/%s" % (self.host(), key,
                                                                          urllib.parse.quote(name)),
                             "file_name": name, "requests": used, "remaining": limit - used,
                             "message": "Your quota will be renewed in %s" % left,
                             "uk": "count_" + who, "uid": 699022, "ts": int(time.time())}, **reset),
                       extra={"Cache-Control": "max-age=0, private", "Pragma": "no-cache"})

    def link_bytes(self):
        """The subtitle the link under way names, or None."""
        link = re.fullmatch(r"/download/([0-9a-f]+)/subfile/[^/]+", urllib.parse.urlsplit(self.path).path)
        with self.state.lock:
            known = self.state.links.get(link.group(1)) if link else None
            sub = self.cat.subtitles.get(known[0]) if known else None
        return sub["bytes"] if sub else None

    def serve_link(self, key):
        with self.state.lock:
            known = self.state.links.get(key)
            sub = self.cat.subtitles.get(known[0]) if known else None
        if sub is None:
            self.send(410, b"Error 410 - Invalid or expired link", "text/txt")
            return
        self.send(200, sub["bytes"], "text/plain; charset=utf-8",
                  {"Cache-Control": "public, max-age=3155695200",
                   "ETag": '"%s"' % hashlib.md5(sub["bytes"]).hexdigest()})


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def bomb(self, size):
        cached = getattr(self, "_bomb", None)
        if cached is None or cached[0] != size:
            packer = zlib.compressobj(9, zlib.DEFLATED, 31)
            parts = [packer.compress(b"\0" * (1 << 20)) for _ in range(max(1, size >> 20))]
            cached = self._bomb = (size, b"".join(parts) + packer.flush())
        return cached[1]


def make_server(data, port=0, verbose=False):
    server = Server(("127.0.0.1", port), Handler)
    server.state = RestState(emulator.Catalogue(data), verbose)
    return server


def main(argv=None):
    parser = argparse.ArgumentParser(description="Local stand-in for the OpenSubtitles REST API.")
    parser.add_argument("--catalog", help="JSON catalogue of movies and subtitles (as for emulator.py)")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free port)")
    parser.add_argument("--verbose", action="store_true", help="log every request to stderr")
    parser.add_argument("--watch-stdin", action="store_true",
                        help="exit when standard input closes (when the test that started us ends)")
    args = parser.parse_args(argv)
    if args.watch_stdin:
        threading.Thread(target=emulator.exit_at_end_of_input, daemon=True).start()
    data = {}
    if args.catalog:
        with open(args.catalog, encoding="utf-8") as handle:
            data = json.load(handle)
    server = make_server(data, args.port, args.verbose)
    print("listening http://127.0.0.1:%d%s" % (server.server_address[1], API), flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
