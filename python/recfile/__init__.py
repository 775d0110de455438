"""Read, edit, extract and repair REC recordings from Python.

>>> import recfile
>>> with recfile.open("demo.rec") as rec:
...     df = rec.table()
"""

from .errors import RecordingError
from .recording import Recording, is_recording, open, repair

__all__ = ["RecordingError", "Recording", "is_recording", "open", "repair"]
