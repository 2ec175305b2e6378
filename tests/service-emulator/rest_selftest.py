#!/usr/bin/env python3
"""Checks the REST stand-in against the reply shapes recorded from the real API.

Run by CTest (service_rest_emulator_selftest) or by hand: python3 rest_selftest.py
"""

import json
import os
import sys
import threading
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rest_emulator  # noqa: E402

CATALOGUE = {
    "users": {"alice": "secret"},
    "quota": {"anonymous": 2, "user": 20},
    "rate_limit": 0,
    "movies": [
        {"hash": "5b8f8f4e41ccb21e", "bytesize": 7033732714, "imdbid": "0770828", "name": "Man of Steel",
         "year": "2013", "subtitles": [{"lang": "pob", "file": "Man.of.Steel.pb.srt", "rating": "7.5",
                                        "content": "1\n00:00:01,000 --> 00:00:02,000\nOl\u00e1\n"},
                                       {"lang": "eng", "anonymous": True}]},
        {"imdbid": "3128398", "name": "League of Assassins", "show": "Arrow", "kind": "episode",
         "season": 2, "episode": 5, "subtitles": [{"lang": "eng"}]},
    ],
}

CANONICAL = "/api/v1/subtitles?languages=en%2Cpt-br&moviehash=5b8f8f4e41ccb21e"


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


OPENER = urllib.request.build_opener(NoRedirect)


class RestStandInTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = rest_emulator.make_server(CATALOGUE)
        cls.thread = threading.Thread(target=cls.server.serve_forever, kwargs={"poll_interval": 0.05})
        cls.thread.start()
        cls.base = "http://127.0.0.1:%d" % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.thread.join()

    def setUp(self):
        self.server.state.reset()

    def call(self, method, path, body=None, headers=None):
        """(status, headers, body bytes); the client headers of a good app unless overridden."""
        sent = {"Api-Key": "test-key", "User-Agent": "Lumbra v0.1.0", "Content-Type": "application/json"}
        sent.update(headers or {})
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={k: v for k, v in sent.items() if v is not None})
        try:
            with OPENER.open(request, timeout=10) as reply:
                return reply.status, reply.headers, reply.read()
        except urllib.error.HTTPError as error:
            return error.code, error.headers, error.read()

    def test_login_replies(self):
        status, _, body = self.call("POST", "/api/v1/login", {"username": "alice", "password": "secret"})
        self.assertEqual(status, 200)
        reply = json.loads(body)
        self.assertIsInstance(reply["token"], str)
        self.assertIsInstance(reply["user"]["allowed_downloads"], int)
        self.assertNotIn("/", reply["base_url"])  # a bare host, as recorded
        cases = [({"username": "alice", "password": "wrong"}, {}, 401, "invalid username/password"),
                 ({"username": "a@b.c", "password": "x"}, {}, 400, "username"),
                 ({"username": "alice", "password": "secret"}, {"Api-Key": None}, 403, "cannot consume"),
                 ({"username": "alice", "password": "secret"}, {"User-Agent": ""}, 403, "User-Agent")]
        for request, headers, code, text in cases:
            status, _, body = self.call("POST", "/api/v1/login", request, headers)
            self.assertEqual(status, code, request)
            self.assertIn(text, body.decode())

    def test_search_shapes(self):
        status, _, body = self.call("GET", CANONICAL)
        self.assertEqual(status, 200)
        reply = json.loads(body)
        self.assertEqual((reply["page"], reply["per_page"], reply["total_count"]), (1, 50, 2))
        first = reply["data"][0]["attributes"]
        self.assertEqual(first["language"], "pt-BR")  # the database's case
        self.assertEqual(first["files"][0]["file_name"], "Man.of.Steel.pb")  # no extension
        self.assertIs(first["moviehash_match"], True)
        self.assertIsInstance(first["ratings"], float)
        self.assertIsInstance(first["files"][0]["file_id"], int)
        self.assertIsInstance(reply["data"][0]["id"], str)
        self.assertNotIn("season_number", first["feature_details"])
        anonymous = reply["data"][1]["attributes"]
        self.assertIsNone(anonymous["uploader"]["uploader_id"])
        self.assertIsNone(anonymous["from_trusted"])

        status, _, body = self.call("GET", "/api/v1/subtitles?episode_number=5&languages=en&query=arrow&season_number=2")
        episode = json.loads(body)["data"][0]["attributes"]
        self.assertNotIn("moviehash_match", episode)  # only when a hash was sent
        self.assertEqual(episode["feature_details"]["season_number"], 2)

    def test_non_canonical_query_redirects(self):
        for query in ["languages=pt-br,en&moviehash=5b8f8f4e41ccb21e",
                      "moviehash=5b8f8f4e41ccb21e&languages=en%2Cpt-br",
                      "languages=en%2Cpt-BR&moviehash=5b8f8f4e41ccb21e",
                      "languages=en%2Cpt-br&moviehash=5b8f8f4e41ccb21e&page=1",
                      "ai_translated=include&languages=en%2Cpt-br&moviehash=5b8f8f4e41ccb21e"]:
            status, headers, body = self.call("GET", "/api/v1/subtitles?" + query)
            self.assertEqual((status, headers["Location"], body), (301, CANONICAL, b""), query)
        status, _, _ = self.call("GET", "/api/v1/subtitles?imdb_id=0770828&languages=en")
        self.assertEqual(status, 301)

    def test_bad_hash_is_400_with_reason(self):
        status, headers, body = self.call("GET", "/api/v1/subtitles?moviehash=123456787654321")
        self.assertEqual((status, body), (400, b""))
        self.assertIn("moviehash is wrong", headers["X-Reason"])

    def test_download_link_and_quota(self):
        file_id = 1950000001
        for remaining in (1, 0):
            status, _, body = self.call("POST", "/api/v1/download", {"file_id": file_id, "sub_format": "srt"})
            self.assertEqual(status, 200)
            reply = json.loads(body)
            self.assertEqual(reply["remaining"], remaining)
            self.assertTrue(reply["file_name"].endswith(".srt"))
        status, headers, text = self.call("GET", reply["link"][len(self.base):], headers={"Api-Key": None})
        self.assertEqual(status, 200)
        self.assertTrue(headers["Content-Type"].startswith("text/plain"))
        self.assertIn("Ol\u00e1", text.decode("utf-8"))

        status, _, body = self.call("POST", "/api/v1/download", {"file_id": file_id})
        self.assertEqual(status, 406)
        refused = json.loads(body)
        self.assertEqual(refused["remaining"], 0)
        self.assertTrue(refused["reset_time_utc"].endswith("T23:59:59.999Z"))
        self.assertNotIn("link", refused)

        status, _, body = self.call("GET", "/download/00ff/subfile/x.srt")
        self.assertEqual((status, body), (410, b"Error 410 - Invalid or expired link"))

    def test_rules(self):
        self.call("POST", "/_fail", {"mode": "http429", "on": "subtitles", "times": 1, "retry_after": 2})
        status, headers, _ = self.call("GET", CANONICAL)
        self.assertEqual((status, headers["Retry-After"]), (429, "2"))
        self.assertEqual(self.call("GET", CANONICAL)[0], 200)

        self.call("POST", "/_fail", {"mode": "redirect", "on": "subtitles", "times": 1})
        status, headers, _ = self.call("GET", CANONICAL)
        self.assertEqual((status, headers["Location"]), (301, "/_moved" + CANONICAL))
        self.assertEqual(self.call("GET", headers["Location"])[0], 200)

        self.call("POST", "/_fail", {"mode": "html", "on": "download", "times": 1})
        status, headers, body = self.call("POST", "/api/v1/download", {"file_id": 1950000001})
        self.assertEqual(status, 502)
        self.assertIn(b"<html>", body)

    def test_rate_limit(self):
        self.server.state.catalogue.data["rate_limit"] = 5
        try:
            codes = [self.call("GET", CANONICAL)[0] for _ in range(6)]
        finally:
            self.server.state.catalogue.data["rate_limit"] = 0
        self.assertEqual(codes[:5], [200] * 5)
        self.assertEqual(codes[5], 429)


if __name__ == "__main__":
    unittest.main()
