#!/usr/bin/env python3
"""End-to-end tests of rectool: every verb on a recording the tool writes itself and on damaged
copies, JSON checked field by field and cross-checked between verbs, exit codes, Ctrl-C.

Usage: test_rectool.py RECTOOL GROUP   (GROUP: a test class name below)
"""
import base64
import hashlib
import json
import os
import pty
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

RECTOOL = None
WORK = None
DEMO = None
FIRST, STEP = 1_000_000, 1_000  # the demo's timestamps
MARKERS = {1_500_000: "Engine start", 3_500_000: "Valve opened", 5_800_000: "Pressure peak"}


def run(*args, stdout=subprocess.PIPE, **kwargs):
    return subprocess.run([RECTOOL, *map(str, args)], stdout=stdout, stderr=subprocess.PIPE, timeout=240, **kwargs)


def ok(*args):
    result = run(*args)
    assert result.returncode == 0, (args, result.returncode, result.stderr.decode())
    return result.stdout


def as_json(*args):
    return json.loads(ok(*args, "--json"))


def path(name):
    return os.path.join(WORK, name)


def digest(file):
    with open(file, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def damaged(name, change=lambda data: data):
    """A copy of the demo recording under `name`, its bytes passed through `change`."""
    with open(DEMO, "rb") as f, open(path(name), "wb") as out:
        out.write(change(f.read()))
    return path(name)


def setUpModule():
    global DEMO
    DEMO = path("demo.rec")
    ok("demo", DEMO, "--packages", 6000)


class Reading(unittest.TestCase):
    def test_info_fields(self):
        info = as_json("info", DEMO)
        self.assertEqual((info["version"], info["format"], info["format_id"], info["size"]),
                         ("2.1", "first", "{FAF34133-87C1-4E34-B723-8EE4B27B29FA}", os.path.getsize(DEMO)))
        span = 5999 * STEP + 1
        self.assertEqual((info["begin"], info["end"], info["duration"]), (FIRST, FIRST + span, span))
        self.assertEqual((info["packages"], info["damaged_packages"]), (6000, 0))
        self.assertEqual([(c["source"], c["class"], c["packages"]) for c in info["packages_per_source"]],
                         [(1, "CAN", 2000), (2, "Analog", 2000), (3, "GPS", 2000)])
        self.assertEqual([(s["handle"], s["name"]) for s in info["sources"]],
                         [(1, "Engine bus"), (2, "Pressure sensors"), (3, "Vehicle position")])
        self.assertEqual({m["timestamp"]: m["description"] for m in info["markers"]}, MARKERS)
        props = {p["name"]: (p["type"], p["value"]) for p in info["properties"]}
        self.assertEqual(props["RunNumber"], ("VT_I4", 7))
        self.assertEqual(props["Description"], ("VT_LPWSTR", "Demo recording written by rectool"))
        # Source identifiers are made anew at each open; everything else is the file's.
        both = as_json("info", DEMO, DEMO)
        for block in [info, *both]:
            for source in block["sources"]:
                self.assertRegex(source.pop("id"), r"^\{[0-9A-F-]{36}\}$")
        self.assertEqual(both, [info, info])

    def test_package_selections(self):
        every = as_json("packages", DEMO)
        self.assertEqual([p["timestamp"] for p in every], [FIRST + i * STEP for i in range(6000)])
        self.assertEqual(sorted(p["position"] for p in every), [p["position"] for p in every])
        self.assertEqual({p["source"]: p["class"] for p in every}, {1: "CAN", 2: "Analog", 3: "GPS"})
        cases = [  # (arguments, the packages of `every` expected, in order)
            (["--from", 2_000_500, "--to", 2_010_000], every[1001:1010]),
            (["--from", 0, "--to", FIRST + 3 * STEP], every[:3]),
            (["--from", 9_000_000], []),
            (["--reverse", "--limit", 3], every[::-1][:3]),
            (["--reverse", "--from", 3_000_000, "--to", 3_004_000], every[2003:1999:-1]),
            (["--source", 2, "--limit", 4], [p for p in every if p["source"] == 2][:4]),
            (["--from", FIRST + 9 * STEP, "--source", 3, "--limit", 2], [every[11], every[14]]),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                self.assertEqual(as_json("packages", DEMO, *args), expected)
        lines = ok("packages", DEMO, "--limit", 50, "--ndjson").decode().splitlines()
        self.assertEqual([json.loads(line) for line in lines], every[:50])

    def test_payloads_agree_between_cat_export_and_hex(self):
        listed = as_json("packages", DEMO, "--hex", "--source", 1, "--limit", 20)
        self.assertTrue(all(len(p["data_hex"]) == 2 * p["size"] for p in listed))
        raw = ok("cat", DEMO, "--source", 1, "--limit", 20)
        self.assertEqual(raw, b"".join(bytes.fromhex(p["data_hex"]) for p in listed))
        rows = [json.loads(line) for line in ok("export", DEMO, "--format", "ndjson").decode().splitlines()]
        csv = ok("export", DEMO, "--format", "csv").decode().splitlines()
        header = ["position", "timestamp", "source", "class"]
        self.assertEqual((csv[0].split(",")[:4], len(rows), len(csv)), (header, 6000, 6001))
        for row, line in zip(rows[::97], csv[1::97]):
            fields = line.split(",")
            self.assertEqual([int(fields[0]), int(fields[1]), int(fields[2])], [row["position"], row["timestamp"], row["source"]])
            self.assertEqual(bytes.fromhex(fields[8]), base64.b64decode(row["data"]))
            self.assertEqual(bytes.fromhex(fields[9]), base64.b64decode(row["extra"]))
            self.assertEqual(len(base64.b64decode(row["extra"])), row["extra_size"])
        out = path("export.csv")
        ok("export", DEMO, "--format", "csv", "-o", out)
        self.assertEqual(open(out).read().splitlines(), csv)

    def test_tables(self):
        sources = as_json("sources", DEMO)
        self.assertEqual([s["class"] for s in sources], ["CAN", "Analog", "GPS"])
        handle = {p["name"]: p for p in sources[0]["properties"]}["Handle"]
        self.assertEqual((handle["type"], handle["value"], handle["read_only"]), ("VT_UI4", 1, False))
        system = {p["name"]: (p["type"], p["value"]) for p in as_json("props", DEMO, "--system")}
        self.assertEqual(system, {"Computer": ("VT_LPWSTR", "bench-pc-03"), "SampleRate": ("VT_R8", 1000.0)})
        markers = as_json("markers", DEMO)
        first = {p["name"]: p for p in markers[0]["properties"]}
        self.assertEqual(first["AudioComment"]["type"], "VT_BLOB")
        self.assertGreater(first["AudioComment"]["value"]["size"], 16000)

    def test_media_writes_the_avi_files(self):
        cases = [  # (arguments, what ffprobe finds in the stream)
            (["--marker", 1_500_000, "--audio-comment"], {"codec_name": "pcm_s16le", "sample_rate": "8000"}),
            (["--video-preview"], {"codec_name": "rawvideo", "width": 160, "height": 120, "nb_frames": "3"}),
        ]
        for number, (args, expected) in enumerate(cases):
            out = path(f"media{number}.avi")
            ok("media", DEMO, *args, out)
            data = open(out, "rb").read()
            self.assertEqual((data[:4], data[8:12]), (b"RIFF", b"AVI "))
            if shutil.which("ffprobe"):
                probe = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", out], capture_output=True)
                stream = json.loads(probe.stdout)["streams"][0]
                self.assertEqual({key: stream[key] for key in expected}, expected)
        out = path("none.avi")
        self.assertEqual(run("media", DEMO, "--marker", 3_500_000, "--audio-comment", out).returncode, 1)
        self.assertFalse(os.path.exists(out))


class Editing(unittest.TestCase):
    def test_edits_are_saved(self):
        rec = damaged("edit.rec")
        ok("markers", rec, "add", 2_000_000, "--description", "hello there")
        ok("markers", rec, "set", 2_000_000, "Count=5")
        ok("props", rec, "set", "RunNumber=12")
        ok("props", rec, "set", "--system", "Computer=rig 9")
        ok("props", rec, "set", "Größe=Grüße 漢字 😀")  # a text outside code page 1252 survives the save
        added = {m["timestamp"]: {p["name"]: p["value"] for p in m["properties"]} for m in as_json("markers", rec)}
        self.assertEqual(added[2_000_000], {"Description": "hello there", "Count": "5"})
        props = {p["name"]: (p["type"], p["value"]) for p in as_json("props", rec)}
        self.assertEqual(props["RunNumber"], ("VT_I4", 12))
        self.assertEqual(props["Größe"], ("VT_LPWSTR", "Grüße 漢字 😀"))
        self.assertEqual({p["name"]: p["value"] for p in as_json("props", rec, "--system")}["Computer"], "rig 9")
        ok("markers", rec, "delete", 2_000_000)
        self.assertEqual({m["timestamp"] for m in as_json("markers", rec)}, set(MARKERS))
        self.assertEqual(as_json("packages", rec), as_json("packages", DEMO))
        self.assertEqual(run("check", rec).returncode, 0)

    def test_refused_edits_leave_the_file_alone(self):
        rec = damaged("refused.rec")
        before = digest(rec)
        cases = [  # (arguments, exit code, text on stderr)
            (["props", rec, "set", "RunNumber=abc"], 2, 'does not convert to VT_I4 for property "RunNumber"'),
            (["props", rec, "set", "RunNumber=99999999999"], 2, "does not convert"),
            (["props", rec, "set", "novalue"], 2, "NAME=VALUE"),
            (["markers", rec, "add", 1_500_000], 1, "exists"),
            (["markers", rec, "delete", 42], 1, "no marker at 42"),
            (["markers", rec, "add", "soon"], 2, ""),
        ]
        for args, code, text in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(text, result.stderr.decode())
                self.assertLessEqual(len(result.stderr.decode().strip().splitlines()), 2)
        self.assertEqual(digest(rec), before)


class Damage(unittest.TestCase):
    def test_check_and_walks_on_damaged_files(self):
        fifth = as_json("packages", DEMO, "--limit", 5)[4]["position"]
        bad = damaged("bad.rec", lambda d: d[:fifth] + b"\x99" + d[fifth + 1:])
        cut = damaged("cut.rec", lambda d: d[: len(d) // 2])
        report = as_json("check", DEMO)
        self.assertEqual((report["ok"], report["packages"], report["findings"]), (True, 6000, []))
        result = run("check", bad, "--json")
        self.assertEqual(result.returncode, 3)
        findings = json.loads(result.stdout)["findings"]
        self.assertIn(f"offset = {fifth}", findings[0]["problem"])
        self.assertLess(findings[0]["position"], fifth + 1)
        listed = json.loads(run("packages", bad, "--json").stdout)
        self.assertEqual([p.get("damage", "") != "" for p in listed].count(True), 1)
        result = run("check", cut, "--json")
        self.assertEqual(result.returncode, 3)
        self.assertIn("cannot be opened", json.loads(result.stdout)["findings"][0]["problem"])
        self.assertEqual(run("info", cut).returncode, 1)
        # Several files: each is reported, the worst outcome decides.
        result = run("check", DEMO, bad, "--ndjson")
        self.assertEqual(([json.loads(l)["ok"] for l in result.stdout.splitlines()], result.returncode), ([True, False], 3))


class Usage(unittest.TestCase):
    def test_exit_codes_and_one_line_errors(self):
        empty = path("empty.rec")
        open(empty, "wb").close()
        text = path("text.rec")
        open(text, "w").write("not a recording\n" * 20)
        missing = path("missing.rec")
        cases = [  # (arguments, exit code, text on stderr)
            ([], 2, ""),
            (["bogus", DEMO], 2, 'unknown verb "bogus"'),
            (["info", DEMO, "--bogus"], 2, "--bogus"),
            (["info"], 2, "FILE is required"),
            (["packages", DEMO, "--from", "abc"], 2, "abc"),
            (["export", DEMO, "--format", "xml"], 2, "xml"),
            (["media", DEMO], 2, "--audio-comment"),
            (["packages", DEMO, "--json", "--ndjson"], 2, "excludes"),
            (["info", missing], 1, "missing.rec: [code 10]"),
            (["info", empty], 1, "empty.rec: [code 20]"),
            (["check", text], 1, "text.rec: [code 20]"),
            (["demo", DEMO], 1, "exists"),
            (["export", missing, "--format", "csv", "-o", path("never.csv")], 1, "missing.rec"),
            (["extract", DEMO, "--from", 5, "--to", 5, "-o", path("never.rec")], 2, "--from"),
            (["repair", DEMO], 2, "--in-place"),
        ]
        for args, code, expected in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(expected, result.stderr.decode())
                self.assertEqual(result.stdout, b"")
        self.assertFalse(os.path.exists(path("never.csv")) or os.path.exists(path("never.rec")))

    def test_help_shows_an_example_for_every_verb(self):
        for verb in ["info", "packages", "cat", "export", "sources", "markers", "props", "extract", "check", "repair",
                     "media", "demo"]:
            with self.subTest(verb=verb):
                self.assertIn(f"Example:\n  rectool {verb}", ok(verb, "--help").decode())

    def test_cat_refuses_a_terminal(self):
        leader, follower = pty.openpty()
        try:
            result = run("cat", DEMO, stdout=follower)
        finally:
            os.close(leader)
            os.close(follower)
        self.assertEqual(result.returncode, 2)
        self.assertIn("redirect", result.stderr.decode())


def interrupt_when_present(args, output):
    """Starts rectool, sends SIGINT once `output` appears, returns (exit code, stderr)."""
    process = subprocess.Popen([RECTOOL, *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    while process.poll() is None and not os.path.exists(output):
        time.sleep(0.005)
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=120)
    return process.returncode, err.decode()


class Interrupt(unittest.TestCase):
    def test_ctrl_c_while_writing_leaves_no_file(self):
        big = path("long.rec")
        ok("demo", big, "--packages", 300_000)
        written, part = path("big.rec"), path("long-part.rec")
        for args, out in [(["demo", written, "--packages", 3_000_000], written),
                          (["extract", big, "--from", FIRST, "--to", 10**12, "-o", part], part)]:
            with self.subTest(verb=args[0]):
                code, err = interrupt_when_present(args, out)
                self.assertEqual((code, os.path.exists(out)), (130, False), err)
                self.assertIn("interrupted", err)


class ExtractRepair(unittest.TestCase):
    def test_extract_copies_the_span(self):
        out = path("part.rec")
        result = run("extract", DEMO, "--from", 2_000_000, "--to", 3_500_001, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        inside = [p for p in as_json("packages", DEMO) if 2_000_000 <= p["timestamp"] < 3_500_001]
        got = as_json("packages", out)
        # The package the jump lands on may or may not be copied; the rest must be.
        self.assertEqual([p["timestamp"] for p in got][-len(inside) + 1:], [p["timestamp"] for p in inside][1:])
        self.assertEqual(ok("cat", out)[-1000:], ok("cat", DEMO, "--from", 2_000_000, "--to", 3_500_001)[-1000:])
        self.assertEqual([m["timestamp"] for m in as_json("markers", out)], [3_500_000])
        self.assertEqual(as_json("props", out), as_json("props", DEMO))
        self.assertEqual(run("check", out).returncode, 0)

    def test_repair_into_a_copy(self):
        # A writer that stopped while finishing: the file ends inside the block after the
        # configuration block, so the data and the sources are there but the tail is torn.
        tear = lambda d: d[: block_end(d, 0xCBF1) + 10]
        torn = damaged("torn.rec", tear)
        before = digest(torn)
        for source, out, code in [(DEMO, path("whole-fixed.rec"), 0), (torn, path("torn-fixed.rec"), 3)]:
            with self.subTest(source=source):
                result = run("repair", source, "-o", out, "--json")
                self.assertEqual(result.returncode, code, result.stderr)
                report = json.loads(result.stdout)
                self.assertEqual((report["dropped"], report["packages"]), (code == 3, 6000))
                self.assertEqual(as_json("packages", out), as_json("packages", DEMO))
                self.assertEqual(run("check", out).returncode, 0)
        self.assertEqual(digest(torn), before)
        in_place = damaged("in-place.rec", tear)
        self.assertEqual(run("repair", in_place, "--in-place").returncode, 3)
        self.assertEqual(as_json("packages", in_place), as_json("packages", DEMO))


def block_end(data, wanted_type):
    """The end of the last block of `wanted_type`, walking the block headers from the start."""
    offset, end = 0, None
    while offset + 32 <= len(data):
        block_type, length = int.from_bytes(data[offset + 2:offset + 4], "little"), int.from_bytes(data[offset + 28:offset + 32], "little")
        offset += 32 + length
        end = offset if block_type == wanted_type else end
    return end


if __name__ == "__main__":
    RECTOOL = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        WORK = work
        suite = unittest.defaultTestLoader.loadTestsFromName(sys.argv[2], sys.modules[__name__])
        outcome = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if outcome.wasSuccessful() else 1)
