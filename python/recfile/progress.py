"""A tqdm bar fed by the reader's progress reports of long work."""

import contextlib

from . import _recfile


@contextlib.contextmanager
def progress_callback(show, description):
    """Yields what the module calls with the completed fraction (None when ``show`` is false)."""
    if not show:
        yield None
        return
    from tqdm import tqdm

    with tqdm(total=_recfile.PROGRESS_SCALE, desc=description, unit="", bar_format="{l_bar}{bar}| {elapsed}") as bar:

        def update(progress):
            bar.n = min(max(int(progress), 0), _recfile.PROGRESS_SCALE)
            bar.refresh()

        yield update
