"""recfile against rectool: every accessor on a recording the library's writer made, compared
with what rectool reports for the same file; edits saved and read back; errors; Ctrl-C."""
import base64
import contextlib
import datetime
import pickle
import shutil
import _thread

import numpy as np
import pandas as pd
import pytest

import recfile
from conftest import rectool, rectool_json, write_demo


def test_accessors_equal_what_rectool_reports(demo):
    expected = rectool_json("info", demo)
    assert recfile.is_recording(demo) and not recfile.is_recording(__file__)
    with recfile.open(demo) as rec:
        info = rec.info
        for key in ("size", "begin", "end", "duration", "packages", "damaged_packages"):
            assert info[key] == expected[key], key
        assert info["packages_per_source"] == {c["source"]: c["packages"] for c in expected["packages_per_source"]}
        assert rec.span == (expected["begin"], expected["end"])
        # Source ids are the reader's own for each opening: compared by form only.
        assert [{k: s[k] for k in ("handle", "class", "name")} for s in rec.sources] == [
            {k: s[k] for k in ("handle", "class", "name")} for s in expected["sources"]]
        assert all(len(s["id"]) == 38 and s["id"][0] == "{" for s in rec.sources)
        assert [(m["timestamp"], m["properties"]["Description"]) for m in rec.markers] == [
            (m["timestamp"], m["description"]) for m in expected["markers"]]
        audio = rec.markers[0]["properties"]["AudioComment"]
        assert isinstance(audio, bytes) and audio[:4] == b"RIFF"
        # rectool shows a blob by its size.
        assert {k: {"size": len(v)} if isinstance(v, bytes) else v for k, v in rec.properties.items()} == {
            p["name"]: p["value"] for p in expected["properties"]}
        assert rec.system_properties == {"Computer": "bench-pc-03", "SampleRate": 1000.0}
    assert rec._rec.closed


SELECTIONS = [  # table() keywords, then the same selection in rectool's words
    ({}, []),
    ({"start": 2_000_500, "stop": 2_010_000}, ["--from", 2_000_500, "--to", 2_010_000]),
    ({"source": 2, "stop": 1_100_000}, ["--source", 2, "--to", 1_100_000]),
    ({"reverse": True, "start": 6_990_000}, ["--reverse", "--from", 6_990_000]),
    ({"reverse": True, "stop": 1_005_000}, ["--reverse", "--to", 1_005_000]),
    ({"start": 5_000_000, "stop": 5_000_000}, ["--from", 5_000_000, "--to", 5_000_000]),
]


@pytest.mark.parametrize("selection,words", SELECTIONS)
def test_table_and_packages_equal_rectool_rows(demo, selection, words):
    rows = rectool_json("packages", demo, *words)
    with recfile.open(demo) as rec:
        table = rec.table(**selection)
        packages = list(rec.packages(**selection))
    columns = ["position", "timestamp", "source", "class", "size", "extra_size", "flags"]
    expected = pd.DataFrame(rows, columns=columns)
    got = table[columns].astype({"class": str})
    pd.testing.assert_frame_equal(got, expected, check_dtype=False, check_index_type=False)
    assert table["damage"].isna().all()
    assert [(p.position, p.timestamp, p.source, p.data.size, p.extra.size) for p in packages] == list(
        table[["position", "timestamp", "source", "size", "extra_size"]].itertuples(index=False, name=None))


def test_payloads_equal_rectool_export(demo):
    exported = [__import__("json").loads(line) for line in rectool("export", demo, "--format", "ndjson").splitlines()]
    with recfile.open(demo) as rec:
        packages = list(rec.packages())
    assert len(packages) == len(exported)
    for p, row in zip(packages, exported):
        assert p.data.dtype == np.uint8
        assert bytes(p.data) == base64.b64decode(row["data"]) and bytes(p.extra) == base64.b64decode(row["extra"])


def test_payload_stays_valid_after_close(demo):
    with recfile.open(demo) as rec:
        first = next(iter(rec.packages()))
        walk = rec.packages()
    assert first.data.base is not None and list(first.data[:4]) == [0, 1, 2, 3]
    with pytest.raises(ValueError, match="closed"):
        next(walk)


def test_edits_are_saved_and_read_back(demo, tmp_path):
    copy = shutil.copy(demo, tmp_path / "edit.rec")
    when = datetime.datetime(2026, 12, 6, 1, 2, 3, 456789, tzinfo=datetime.timezone.utc)
    values = {"Operator": "Ünïcode bench", "RunNumber": 8, "Ratio": 0.25, "Big": 1 << 40, "Flag": True,
              "Blob": b"\x00\x01\xff", "Started": when}
    with recfile.open(copy, "r+") as rec:
        kept = {"VideoPreview": rec.properties["VideoPreview"]}
        for name, value in values.items():
            rec.set_property(name, value)
        rec.set_property("RunNumber", "9")  # a text keeps the property's type
        rec.delete_property("Description")
        rec.set_property("Computer", "rig-7", system=True)
        rec.add_marker(2_222_000, Description="Added", Level=3)
        rec.delete_marker(3_500_000)
        rec.save()
    with recfile.open(copy) as rec:
        assert rec.properties == {**values, "RunNumber": 9, **kept}
        assert rec.system_properties["Computer"] == "rig-7"
        assert [(m["timestamp"], m["properties"].get("Description")) for m in rec.markers] == [
            (1_500_000, "Engine start"), (2_222_000, "Added"), (5_800_000, "Pressure peak")]
        assert rec.markers[1]["properties"]["Level"] == 3
    with recfile.open(copy) as rec, pytest.raises(ValueError, match="r\\+"):
        rec.set_property("Operator", "x")
    with recfile.open(copy, "r+") as rec, pytest.raises(TypeError):
        rec.set_property("Operator", object())


def test_errors_carry_code_and_text(tmp_path):
    damaged = tmp_path / "damaged.rec"
    damaged.write_bytes(b"\0" * 4096)
    cases = [(tmp_path / "missing.rec", 10), (damaged, 20)]
    for path, code in cases:
        with pytest.raises(recfile.RecordingError) as caught:
            recfile.open(path)
        assert caught.value.code == code and caught.value.text and str(caught.value).startswith(f"[code {code}]")
        again = pickle.loads(pickle.dumps(caught.value))  # errors cross to dask workers and back
        assert (again.code, again.text) == (caught.value.code, caught.value.text)
    with pytest.raises(ValueError):
        recfile.open(damaged, "w")


def test_extract_and_repair(demo, tmp_path):
    out = tmp_path / "part.rec"
    with recfile.open(demo) as rec:
        rec.extract(out, 2_000_000, 3_500_001, progress=True)
        expected = rec.table(start=2_000_000, stop=3_500_001).drop(columns="position").reset_index(drop=True)
        with pytest.raises(FileExistsError):
            rec.extract(out, 2_000_000, 3_000_000)
    with recfile.open(out) as part:
        pd.testing.assert_frame_equal(part.table().drop(columns="position"), expected)
    torn = tmp_path / "torn.rec"
    torn.write_bytes(open(demo, "rb").read()[:600_000])
    fixed = recfile.repair(torn, out=tmp_path / "fixed.rec")
    with recfile.open(fixed) as rec, recfile.open(demo) as whole:
        table = rec.table()
        assert 0 < len(table) < whole.info["packages"]
        pd.testing.assert_frame_equal(table, whole.table().head(len(table)))


def test_interrupted_extraction_leaves_no_file(tmp_path, monkeypatch):
    big = write_demo(tmp_path / "big.rec", 200_000)
    out = tmp_path / "cut.rec"

    # Ctrl-C as the first progress report arrives, however fast the copy is.
    @contextlib.contextmanager
    def interrupting(show, description):
        yield (lambda progress: _thread.interrupt_main()) if show else None

    monkeypatch.setattr(recfile.recording, "progress_callback", interrupting)
    with recfile.open(big) as rec:
        with pytest.raises(KeyboardInterrupt):
            rec.extract(out, 0, 1 << 62, progress=True)
    assert not out.exists()
