"""The one exception of recfile: the reader's error code and text."""


class RecordingError(Exception):
    """A failed operation of the reader.

    ``code`` is the reader's error code (10 general failure, 20 the recording's content,
    30 aborted) and ``text`` its message.
    """

    def __init__(self, code, text):
        super().__init__(code, text)
        self.code = code
        self.text = text

    def __str__(self):
        return f"[code {self.code}] {self.text}"
