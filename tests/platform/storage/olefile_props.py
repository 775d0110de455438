#!/usr/bin/env python3
import io
import struct
import sys

import olefile

CODECS = {1200: "utf-16-le", 65001: "utf-8"}
VT_BLOB, VT_CF, VT_CLSID = 0x41, 0x47, 0x48


def value_types(data):
    start = struct.unpack_from("<I", data, 0x2C)[0]
    count = struct.unpack_from("<I", data, start + 4)[0]
    pairs = (struct.unpack_from("<II", data, start + 8 + 8 * i) for i in range(count))
    return {pid: struct.unpack_from("<H", data, start + at)[0] for pid, at in pairs if pid != 0}


if __name__ == "__main__":
    # The stream path may spell control characters as escapes ("\\x05SummaryInformation").
    path, stream = sys.argv[1], sys.argv[2].encode().decode("unicode_escape")
    section = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    ole = olefile.OleFileIO(path)
    data = ole.openstream(stream.split("/")).read()
    # olefile reads the first section only: name the wanted one first.
    data = data[:28] + data[28 + 20 * section:48 + 20 * section] + data[48:]
    ole.openstream = lambda name: io.BytesIO(data)
    props = ole.getproperties(stream.split("/"), convert_time=False, no_conversion=None)
    types = value_types(data)
    code_page = props.get(1, 1200) & 0xFFFF
    codec = CODECS.get(code_page, "cp%d" % code_page)
    for pid in sorted(props):
        value = props[pid]
        if pid == 0:  # the dictionary, which olefile takes for a typed value
            continue
        elif pid == 1:
            print("1 c %d" % code_page)
        elif isinstance(value, bool):
            print("%d b %d" % (pid, 1 if value else 0))
        elif isinstance(value, int):
            print("%d i %d" % (pid, value))
        elif isinstance(value, float):
            print("%d f %s" % (pid, struct.pack("<d", value).hex()))
        elif types.get(pid) == VT_CLSID:
            print("%d g %s" % (pid, value))
        elif isinstance(value, bytes) and types.get(pid) in (VT_BLOB, VT_CF):
            print("%d x %s" % (pid, value.hex()))
        elif isinstance(value, bytes):
            text = value.split(b"\0", 1)[0].decode(codec, errors="replace")
            print("%d s %s" % (pid, text.encode("utf-8").hex()))
        elif isinstance(value, str):
            print("%d s %s" % (pid, value.split("\0", 1)[0].encode("utf-8").hex()))
