#!/usr/bin/env python3
"""Checks the service stand-in against the reply shapes of the real service.

Run by CTest (service_emulator_selftest) or by hand: python3 selftest.py
"""

import base64
import gzip
import hashlib
import json
import os
import sys
import threading
import unittest
import urllib.error
import urllib.request
import xmlrpc.client
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import emulator  # noqa: E402

CATALOGUE = {
    "users": {"alice": "secret"},
    "movies": [
        {"hash": "5b8f8f4e41ccb21e", "bytesize": 7033732714, "imdbid": "0770828", "name": "Man of Steel",
         "year": "2013", "tags": ["man.of.steel.2013.720p.bluray.x264-felony.mkv"], "seencount": 10,
         "subtitles": [{"lang": "fre"}, {"lang": "ger"}, {"lang": "ger", "rating": "7.5"}]},
        {"hash": "5b8f8f4e41ccb21e", "bytesize": 7033732714, "imdbid": "1234567", "name": "Other Movie",
         "seencount": 50, "subtitles": []},
        {"imdbid": "4078580", "name": "A Fractured House", "show": "Marvel's Agents of S.H.I.E.L.D.",
         "kind": "episode", "season": 2, "episode": 6,
         "subtitles": [{"lang": "hun", "content": "1\n00:00:01,000 --> 00:00:02,000\n\u00c1rv\u00edz\n",
                        "encoding": "CP1250"}]},
    ],
}

# Every key of a SearchSubtitles entry recorded from the real service.
ENTRY_KEYS = {
    "MatchedBy", "IDSubMovieFile", "MovieHash", "MovieByteSize", "MovieTimeMS", "IDSubtitleFile",
    "SubFileName", "SubActualCD", "SubSize", "SubHash", "SubLastTS", "SubTSGroup", "InfoReleaseGroup",
    "InfoFormat", "InfoOther", "IDSubtitle", "UserID", "SubLanguageID", "SubFormat", "SubSumCD",
    "SubAuthorComment", "SubAddDate", "SubBad", "SubRating", "SubSumVotes", "SubDownloadsCnt",
    "MovieReleaseName", "MovieFPS", "IDMovie", "IDMovieImdb", "MovieName", "MovieNameEng", "MovieYear",
    "MovieImdbRating", "SubFeatured", "UserNickName", "SubTranslator", "ISO639", "LanguageName",
    "SubComments", "SubHearingImpaired", "UserRank", "SeriesSeason", "SeriesEpisode", "MovieKind",
    "SubHD", "SeriesIMDBParent", "SubEncoding", "SubAutoTranslation", "SubForeignPartsOnly",
    "SubFromTrusted", "SubTSGroupHash", "SubDownloadLink", "ZipDownloadLink", "SubtitlesLink",
    "QueryNumber", "QueryParameters", "Score",
}


class StandInTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = emulator.Server(("127.0.0.1", 0), emulator.Handler)
        cls.server.emulator = emulator.Emulator(emulator.Catalogue(CATALOGUE))
        cls.thread = threading.Thread(target=cls.server.serve_forever, kwargs={"poll_interval": 0.05})
        cls.thread.start()
        cls.base = "http://127.0.0.1:%d" % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.thread.join()

    def setUp(self):
        self.post("/_reset", {})
        self.rpc = xmlrpc.client.ServerProxy(self.base + "/xml-rpc")
        self.token = self.rpc.LogIn("alice", "secret", "en", "Lumbra 0.1")["token"]

    def post(self, path, value):
        request = urllib.request.Request(self.base + path, json.dumps(value).encode(), method="POST")
        return json.load(urllib.request.urlopen(request))

    def get(self, path):
        return urllib.request.urlopen(self.base + path).read()

    def search(self, *queries, limit=10):
        return self.rpc.SearchSubtitles(self.token, list(queries), {"limit": limit})

    def test_login(self):
        refused = self.rpc.LogIn("alice", "wrong", "en", "x")
        self.assertEqual(refused["status"], "401 Unauthorized")
        self.assertTrue(refused["token"])
        self.assertEqual(self.rpc.LogIn("", "", "en", "x")["status"], "200 OK")
        self.assertEqual(self.rpc.NoSuchMethod()["status"], "409 Method not found")
        self.assertNotIn("status", self.rpc.ServerInfo())

    def test_search_kinds_and_shapes(self):
        reply = self.search(
            {"sublanguageid": "fre,ger", "moviehash": "5b8f8f4e41ccb21e", "moviebytesize": 7033732714.0},
            {"sublanguageid": "fre", "imdbid": "770828"},
            {"sublanguageid": "ger", "tag": "Man.Of.Steel.2013.720p.BluRay.x264-FELONY.avi"},
            {"sublanguageid": "hun", "query": "Marvels Agents of S.H.I.E.L.D.", "season": 2, "episode": 6})
        self.assertEqual(reply["status"], "200 OK")
        data = reply["data"]
        self.assertEqual([(e["MatchedBy"], e["QueryNumber"], e["SubLanguageID"]) for e in data], [
            ("moviehash", "0", "fre"), ("moviehash", "0", "ger"), ("moviehash", "0", "ger"),
            ("imdbid", "1", "fre"), ("tag", "2", "ger"), ("tag", "2", "ger"), ("fulltext", "3", "hun")])
        for entry in data:
            self.assertEqual(set(entry) - {"QueryCached"}, ENTRY_KEYS)
            for key, value in entry.items():
                if key not in ("QueryParameters", "QueryCached", "Score"):
                    self.assertIsInstance(value, str, key)
        self.assertEqual(data[0]["QueryParameters"], {"sublanguageid": "fre,ger", "moviehash": "5b8f8f4e41ccb21e",
                                                      "moviebytesize": -1556201878})
        self.assertEqual(data[0]["MovieByteSize"], "7033732714")
        self.assertEqual(data[3]["QueryParameters"]["imdbid"], "0770828")
        self.assertEqual((data[3]["MovieHash"], data[3]["MovieByteSize"]), ("0", "0"))
        self.assertEqual(data[6]["QueryParameters"], {"sublanguageid": "hun", "query": "marvels agents of s.h.i.e.l.d.",
                                                      "season": "2", "episode": "6"})
        hungarian = self.get(urllib.parse.urlparse(data[6]["SubDownloadLink"]).path)
        self.assertEqual(gzip.decompress(hungarian).decode("cp1250"), "1\n00:00:01,000 --> 00:00:02,000\n\u00c1rv\u00edz\n")
        self.assertEqual(data[6]["SubSize"], str(len(gzip.decompress(hungarian))))

    def test_nothing_found_limit_and_token(self):
        self.assertEqual(self.search({"sublanguageid": "spa", "moviehash": "5b8f8f4e41ccb21e",
                                      "moviebytesize": 7033732714.0})["data"], [])
        self.assertEqual(len(self.search({"sublanguageid": "", "imdbid": "770828"}, limit=2)["data"]), 2)
        self.assertEqual(self.search({"sublanguageid": "ger", "query": "Man of Steel", "season": 1, "episode": 1})["data"], [])
        anonymous = self.rpc.SearchSubtitles("", [{"sublanguageid": "ger", "imdbid": "770828"}], {"limit": 10})
        self.assertEqual(anonymous["status"], "401 Unauthorized")
        self.assertNotIn("data", anonymous)
        self.post("/_catalog", dict(CATALOGUE, nothing_found="false"))
        self.assertIs(self.search({"sublanguageid": "spa", "imdbid": "770828"})["data"], False)
        self.post("/_catalog", CATALOGUE)

    def test_check_movie_hash(self):
        data = self.rpc.CheckMovieHash2(self.token, ["5b8f8f4e41ccb21e", "0000000000000001"])["data"]
        self.assertEqual([c["MovieImdbID"] for c in data["5b8f8f4e41ccb21e"]], ["1234567", "0770828"])
        self.assertEqual(data["5b8f8f4e41ccb21e"][0]["SeenCount"], "50")
        self.assertEqual(data["0000000000000001"], [])

    def test_download_subtitles_many_at_once(self):
        entries = self.search({"sublanguageid": "fre,ger", "imdbid": "770828"})["data"]
        ids = [e["IDSubtitleFile"] for e in entries] + ["1"]
        reply = self.rpc.DownloadSubtitles(self.token, ids)
        self.assertEqual([f["idsubtitlefile"] for f in reply["data"]], ids[:-1])  # unknown ids left out
        for entry, item in zip(entries, reply["data"]):
            content = gzip.decompress(base64.b64decode(item["data"]))
            self.assertEqual(hashlib.md5(content).hexdigest(), entry["SubHash"])
        self.assertTrue(self.rpc.DownloadSubtitles(self.token, ids[:1] * 21)["status"].startswith("407"))
        self.assertTrue(self.rpc.DownloadSubtitles("", ids)["status"].startswith("401"))

    def test_calls_are_recorded_and_rules_count_down(self):
        self.post("/_fail", {"mode": "http503", "on": "ServerInfo", "times": 1})
        with self.assertRaises(xmlrpc.client.ProtocolError):
            self.rpc.ServerInfo()
        self.rpc.ServerInfo()
        calls = json.loads(self.get("/_calls"))
        self.assertEqual([c["method"] for c in calls], ["LogIn", "ServerInfo", "ServerInfo"])
        self.assertEqual(calls[0]["params"], ["alice", "secret", "en", "Lumbra 0.1"])
        self.assertIn("<methodName>LogIn</methodName>", calls[0]["body"])
        with self.assertRaises(urllib.error.HTTPError):
            self.post("/_fail", {"mode": "nonsense"})

    def test_download_failures(self):
        link = self.search({"sublanguageid": "fre", "imdbid": "770828"})["data"][0]["SubDownloadLink"]
        path = urllib.parse.urlparse(link).path
        self.assertTrue(gzip.decompress(self.get(path)).startswith(b"1\n"))
        self.post("/_fail", {"mode": "html", "times": 1})
        self.assertTrue(self.get(path).startswith(b"<!DOCTYPE html>"))
        self.post("/_fail", {"mode": "brokengzip", "times": 1})
        broken = self.get(path)
        self.assertEqual(broken[:2], b"\x1f\x8b")
        with self.assertRaises(Exception):
            gzip.decompress(broken)
        self.post("/_fail", {"mode": "gzipbomb", "size": 8 << 20, "times": 1})
        bomb = self.get(path)
        self.assertLess(len(bomb), 64 << 10)
        self.assertEqual(len(zlib.decompress(bomb, 31)), 8 << 20)
        kinds = [c["kind"] for c in json.loads(self.get("/_calls"))]
        self.assertEqual(kinds.count("download"), 4)

    def test_download_subtitles_failures(self):
        entries = self.search({"sublanguageid": "fre,ger", "imdbid": "770828"})["data"]
        ids = [e["IDSubtitleFile"] for e in entries]
        self.assertGreaterEqual(len(ids), 2)

        def files():
            reply = self.rpc.DownloadSubtitles(self.token, ids)
            return reply["status"], [(f["idsubtitlefile"], f["data"]) for f in reply["data"]]

        # A download rule leaves its file out (or sends it damaged) and is not used up.
        self.post("/_fail", {"mode": "http404", "on": "download", "times": 1, "subtitle": ids[0]})
        self.assertEqual([i for i, _ in files()[1]], ids[1:])
        self.assertEqual([i for i, _ in files()[1]], ids[1:])
        path = "/download/%s.gz" % ids[0]
        with self.assertRaises(urllib.error.HTTPError):
            self.get(path)
        self.assertEqual([i for i, _ in files()[1]], ids)
        self.post("/_fail", {"mode": "html", "on": "download", "times": 1, "subtitle": ids[0]})
        self.assertTrue(base64.b64decode(files()[1][0][1]).startswith(b"<!DOCTYPE html>"))
        self.post("/_reset", {})

        for mode, check in [
            ("dropids", lambda status, got: [i for i, _ in got] == ids[::2]),
            ("foreignids", lambda status, got: [i for i, _ in got] == ["9" + i for i in ids]),
            ("badbase64", lambda status, got: all("*" in d for _, d in got)),
            ("status", lambda status, got: status.startswith("407") and len(got) == len(ids)),
        ]:
            self.post("/_fail", {"mode": mode, "times": 1})
            self.assertTrue(check(*files()), mode)
        self.post("/_fail", {"mode": "brokengzip", "on": "DownloadSubtitles", "times": 1})
        with self.assertRaises(Exception):
            gzip.decompress(base64.b64decode(files()[1][0][1]))
        status, got = files()
        self.assertEqual(status, "200 OK")
        self.assertTrue(gzip.decompress(base64.b64decode(got[0][1])).startswith(b"1\n"))


if __name__ == "__main__":
    unittest.main()
