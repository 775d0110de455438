"""Many recordings as one dask DataFrame.

Each partition is one recording, or for a long recording one span of its timestamps: the
partition opens the file, jumps to the span's first timestamp and reads only that span.
"""

import glob
import os

import dask
import dask.dataframe as dd
import pandas as pd

from .recording import _TABLE_COLUMNS, open as open_recording

_INFO_COLUMNS = ("path", "size", "version", "identifier", "begin", "end", "duration", "packages",
                 "damaged_packages", "sources", "markers")


def _paths(paths_or_glob):
    if isinstance(paths_or_glob, (str, os.PathLike)):
        found = sorted(glob.glob(os.fspath(paths_or_glob)))
        if not found:
            raise FileNotFoundError(f"{os.fspath(paths_or_glob)}: no recording matches")
        return found
    return [os.fspath(p) for p in paths_or_glob]


def _spans(path, split_every):
    """[start, stop) spans of at most ``split_every`` timestamps that cover the recording."""
    if split_every is None:
        return [(None, None)]
    with open_recording(path) as rec:
        begin, end = rec.span
    if end <= begin:
        return [(None, None)]
    starts = list(range(begin, end, split_every))
    return [(None if i == 0 else s, None if i == len(starts) - 1 else s + split_every) for i, s in enumerate(starts)]


def _table(path, start, stop, columns):
    with open_recording(path) as rec:
        frame = rec.table(start=start, stop=stop, columns=columns)
    frame.insert(0, "path", path)
    return frame


def _meta(columns):
    wanted = _TABLE_COLUMNS if columns is None else tuple(columns)
    types = {"position": "uint64", "timestamp": "uint64", "source": "uint32", "class": "category", "size": "uint32",
             "extra_size": "uint32", "flags": "uint32", "info1": "uint32", "info2": "uint32", "damage": "object"}
    frame = pd.DataFrame({name: pd.Series(dtype=types[name]) for name in wanted})
    frame.insert(0, "path", pd.Series(dtype="object"))
    return frame


def read_packages(paths_or_glob, columns=None, split_every=None):
    """The packages of many recordings (without payloads) as a dask DataFrame.

    ``columns`` picks among position, timestamp, source, class, size, extra_size, flags, info1,
    info2 and damage; a column ``path`` names each row's recording. ``split_every`` (in timestamp
    units) cuts long recordings into partitions of that span. Partitions come in the order of
    the paths, then of time, and hold exactly what ``recfile.open(path).table()`` gives.
    """
    paths = _paths(paths_or_glob)
    parts = [dask.delayed(_table)(path, start, stop, columns) for path in paths for start, stop in _spans(path, split_every)]
    return dd.from_delayed(parts, meta=_meta(columns), verify_meta=False)


def _info_row(path):
    with open_recording(path) as rec:
        info = rec.info
    return pd.DataFrame([{name: info[name] for name in _INFO_COLUMNS}])


def read_info(paths):
    """One row per recording: its version, identifier, time span and counts."""
    paths = _paths(paths)
    meta = pd.DataFrame({"path": pd.Series(dtype="object"), "size": pd.Series(dtype="int64"),
                         "version": pd.Series(dtype="int64"), "identifier": pd.Series(dtype="object"),
                         **{name: pd.Series(dtype="uint64") for name in _INFO_COLUMNS[4:]}})
    return dd.from_delayed([dask.delayed(_info_row)(p) for p in paths], meta=meta, verify_meta=False)
