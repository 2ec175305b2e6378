#!/usr/bin/env python3
"""An independent XML-RPC peer for the codec tests: Python's own xmlrpc.client.

  xmlrpc_peer.py canon FILE...   prints {FILE: {"method": name, "params": [...]}} as JSON, each
                                 value in a canonical form the C++ side builds too
  xmlrpc_peer.py dumps DIR       writes documents made by xmlrpc.client.dumps into DIR
"""
import datetime
import json
import os
import sys
import xmlrpc.client


def canon(v):
    if isinstance(v, bool):
        return v
    if isinstance(v, (int, float)):
        return float(v)
    if isinstance(v, str):
        return "s:" + v
    if isinstance(v, xmlrpc.client.DateTime):
        return "t:" + v.value
    if isinstance(v, xmlrpc.client.Binary):
        return "b:" + v.data.hex()
    if isinstance(v, list):
        return [canon(x) for x in v]
    if isinstance(v, dict):
        return {k: canon(x) for k, x in v.items()}
    if v is None:
        return None
    raise TypeError(type(v))


SAMPLES = {
    "markup-and-non-ascii": "a & b <c> \"q\" 'r' ]]> \u2014 na\u00efve \u6771\u4eac \U0001f3ac\n\ttab",
    "whitespace-only-text": "   ",
    "empty-text": "",
    "int-extremes": [0, -2147483648, 2147483647],
    "doubles": [7033732714.0, 0.1, -1e-07, 1e300, -0.0],
    "booleans": [True, False],
    "date": xmlrpc.client.DateTime(datetime.datetime(2014, 7, 3, 9, 5, 0)),
    "binary": xmlrpc.client.Binary(bytes(range(256))),
    "empties": [[], {}],
    "nil": None,
    "nested": {"status": "200 OK", "data": [{"MovieHash": "09a2c497663259cb", "SeenCount": 3,
                                             "Tags": ["a", {"deep": [[1.5]]}]}],
               "seconds": 0.006},
}


def dumps(directory):
    for name, value in SAMPLES.items():
        text = xmlrpc.client.dumps((value,), methodresponse=True, allow_none=True)
        with open(os.path.join(directory, "py-" + name + ".xml"), "w", encoding="utf-8") as f:
            f.write(text)
    call = xmlrpc.client.dumps(("token", [{"sublanguageid": "eng", "moviehash": "0000000000020000",
                                           "moviebytesize": 7033732714.0}], {"limit": 500}),
                               methodname="SearchSubtitles", encoding="utf-8")
    with open(os.path.join(directory, "py-method-call.xml"), "w", encoding="utf-8") as f:
        f.write(call)


def main():
    if sys.argv[1] == "canon":
        out = {}
        for path in sys.argv[2:]:
            with open(path, "rb") as f:
                params, method = xmlrpc.client.loads(f.read())
            out[path] = {"method": method, "params": [canon(p) for p in params]}
        json.dump(out, sys.stdout)
    elif sys.argv[1] == "dumps":
        dumps(sys.argv[2])
    else:
        sys.exit("unknown mode")


if __name__ == "__main__":
    main()
