"""The Python face of an open recording."""

import contextlib
import os
import shutil

from . import _recfile
from .progress import progress_callback

_MODES = {"r": False, "r+": True}
_TABLE_COLUMNS = ("position", "timestamp", "source", "class", "size", "extra_size", "flags", "info1", "info2", "damage")


def open(path, mode="r", progress=False):
    """Opens a recording: mode "r" reads, "r+" also allows edits and ``save()``."""
    if mode not in _MODES:
        raise ValueError(f"mode must be 'r' or 'r+', not {mode!r}")
    return Recording(path, mode, progress)


def is_recording(path):
    """Whether the reader opens ``path`` as a recording."""
    return _recfile.is_recording(os.fspath(path))


@contextlib.contextmanager
def _new_file(path):
    """A file the reader writes that only stays when the work succeeds (Ctrl-C included)."""
    path = os.fspath(path)
    if os.path.lexists(path):
        raise FileExistsError(f"{path}: exists; recfile does not overwrite files")
    try:
        yield path
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.remove(path)
        raise


def repair(path, out=None, progress=False):
    """Repairs a recording whose writing was interrupted: in place, or into a copy at ``out``.

    Returns the path of the repaired file.
    """
    path = os.fspath(path)
    with contextlib.ExitStack() as stack:
        target = path
        if out is not None:
            target = stack.enter_context(_new_file(out))
            shutil.copyfile(path, target)
        with progress_callback(progress, "repair") as update:
            _recfile.repair(target, update)
        return target


class Recording:
    """An open recording; use it in a ``with`` block so that it is closed in time."""

    def __init__(self, path, mode="r", progress=False):
        self._path = os.fspath(path)
        with progress_callback(progress, "open") as update:
            self._rec = _recfile.Recording(self._path, _MODES[mode], update)
        self._info = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<recfile.Recording {self._path!r}{' closed' if self._rec.closed else ''}>"

    def close(self):
        self._rec.close()

    @property
    def path(self):
        return self._path

    @property
    def info(self):
        """Version, identifier, time span and counts (one walk over the packages, then kept).

        ``version`` is the data packages version the reader reports (1 or 2), ``identifier`` the
        recording's GUID property (None when it has none).
        """
        if self._info is None:
            summary = self._rec.summary()
            self._info = {
                "path": self._path,
                "size": os.stat(self._path).st_size,
                "version": summary["packages_version"],
                "identifier": self._rec.properties().get("GUID"),
                "begin": summary["begin"],
                "end": summary["end"],
                "duration": summary["end"] - summary["begin"],
                "packages": summary["packages"],
                "damaged_packages": summary["damaged_packages"],
                "packages_per_source": summary["packages_per_source"],
                "sources": len(self._rec.sources()),
                "markers": len(self._rec.markers()),
            }
        return self._info

    @property
    def span(self):
        """(first timestamp, just past the last one), from the navigation table without a walk."""
        return self._rec.span()

    @property
    def sources(self):
        """A list of dicts: id, handle, class, name and all properties."""
        return self._rec.sources()

    @property
    def markers(self):
        """A list of dicts: timestamp and properties."""
        return self._rec.markers()

    @property
    def properties(self):
        return self._rec.properties()

    @property
    def system_properties(self):
        return self._rec.system_properties()

    def packages(self, start=None, stop=None, source=None, reverse=False):
        """Iterates packages with timestamps in [start, stop), of one source or all.

        Payloads (``data``, ``extra``) are numpy uint8 arrays over the reader's own buffers.
        One walk at a time: a new walk moves the recording's cursor.
        """
        return self._rec.packages(start, stop, source, reverse)

    def table(self, start=None, stop=None, source=None, reverse=False, columns=None):
        """The packages' fields (no payloads) as a pandas DataFrame, one row per package."""
        import numpy as np
        import pandas as pd

        raw = self._rec.columns(start, stop, source, reverse)
        rows = len(raw["position"])
        damage = np.full(rows, None, dtype=object)
        for row, text in raw.pop("damage"):
            damage[row] = text
        raw["damage"] = damage
        wanted = _TABLE_COLUMNS if columns is None else tuple(columns)
        if "class" in wanted:
            raw["class"] = self._classes(raw["source"])
        return pd.DataFrame({name: raw[name] for name in wanted})

    def _classes(self, handles):
        import pandas as pd

        names = {s["handle"]: s["class"] or "" for s in self.sources if s["handle"] is not None}
        categories = sorted(set(names.values()) | {""})
        lookup = pd.Series({h: categories.index(n) for h, n in names.items()}, dtype="int64")
        codes = pd.Series(handles).map(lookup).fillna(categories.index("")).astype("int64").to_numpy()
        return pd.Categorical.from_codes(codes, categories=categories)

    def extract(self, path, start, stop, progress=False):
        """Writes the packages of [start, stop) into a new recording at ``path``.

        Ctrl-C aborts through the reader and leaves no file behind.
        """
        with _new_file(path) as target, progress_callback(progress, "extract") as update:
            self._rec.extract(target, start, stop, update)

    # Editing: open with mode "r+", change, then save().
    def set_property(self, name, value, system=False):
        self._rec.set_property(name, value, system)

    def delete_property(self, name, system=False):
        self._rec.delete_property(name, system)

    def add_marker(self, timestamp, **properties):
        self._rec.add_marker(timestamp)
        for name, value in properties.items():
            self._rec.set_marker_property(timestamp, name, value)

    def set_marker_property(self, timestamp, name, value):
        self._rec.set_marker_property(timestamp, name, value)

    def delete_marker(self, timestamp):
        self._rec.delete_marker(timestamp)

    def save(self):
        """Writes the changed properties and markers back into the file."""
        self._rec.save()
        self._info = None


