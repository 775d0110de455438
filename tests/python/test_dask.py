"""recfile.dask on a LocalCluster of two worker processes gives exactly what a serial loop over
the files gives, with long recordings cut into time spans."""
import pandas as pd
import pytest
from distributed import Client, LocalCluster

import recfile
import recfile.dask as rd
from conftest import write_demo


@pytest.fixture(scope="module")
def campaign(tmp_path_factory):
    folder = tmp_path_factory.mktemp("campaign")
    return [write_demo(folder / f"run{i:02}.rec", 50 + 97 * i) for i in range(12)]


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        yield client


def serial(paths, columns=None):
    frames = []
    for path in paths:
        with recfile.open(path) as rec:
            frame = rec.table(columns=columns)
        frame.insert(0, "path", path)
        frames.append(frame)
    return pd.concat(frames, ignore_index=True)


@pytest.mark.parametrize("split_every,columns", [(None, None), (250_000, ["timestamp", "source", "size"])])
def test_read_packages_equals_serial_loop(campaign, client, split_every, columns):
    frame = rd.read_packages(campaign[0].replace("run00", "run*"), columns=columns, split_every=split_every)
    spans = sum(1 if split_every is None else -(-(rec_span[1] - rec_span[0]) // split_every)
                for rec_span in (recfile.open(p).span for p in campaign))
    assert frame.npartitions == spans
    got = client.compute(frame).result().reset_index(drop=True)
    expected = serial(campaign, columns)
    if "class" in got:
        got["class"], expected["class"] = got["class"].astype(str), expected["class"].astype(str)
    pd.testing.assert_frame_equal(got, expected, check_dtype=False)


def test_read_info_equals_serial_loop(campaign, client):
    got = client.compute(rd.read_info(campaign)).result().reset_index(drop=True)
    assert list(got["path"]) == campaign
    for row, path in zip(got.to_dict("records"), campaign):
        with recfile.open(path) as rec:
            assert {k: rec.info[k] for k in row} == row
