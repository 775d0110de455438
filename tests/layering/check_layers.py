#!/usr/bin/env python3
"""Fails when an include between the library's folders reaches up the layers.

Each folder may include its own headers and those of the folders below it. Folders on the same
level do not include each other, so the graph has no cycle, and only frame/ (the reader object)
sits on top, included by nobody.
"""
import pathlib
import re
import sys

# Lowest first; folders on one line share a level.
LAYERS = [
    ["include/recfilereader"],
    ["platform"],
    ["base"],
    ["platform/storage", "platform/media"],
    ["properties"],
    ["host"],
    ["sources", "fileaccess"],
    ["container"],
    ["data"],
    ["writing"],
    ["frame"],
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(path: str) -> str:
    """The deepest known folder that holds `path` (relative to the library root)."""
    parts = pathlib.PurePosixPath(path).parts[:-1]
    for depth in range(len(parts), 0, -1):
        candidate = "/".join(parts[:depth])
        if candidate in LEVEL:
            return candidate
    return ""


def main(root: pathlib.Path) -> int:
    faults = []
    sources = [p for p in root.rglob("*") if p.suffix in (".h", ".cpp")]
    for source in sources:
        own_path = source.relative_to(root).as_posix()
        own = folder_of(own_path)
        if not own:
            faults.append(f"{own_path}: lies in no known layer")
            continue
        for line_no, match in enumerate(INCLUDE.finditer(source.read_text(encoding="utf-8")), 1):
            target = folder_of(f"include/{match.group(1)}") or folder_of(match.group(1)) or own
            if target == own:
                continue
            if LEVEL[target] >= LEVEL[own]:
                faults.append(f'{own_path}: includes "{match.group(1)}" ({target}, level '
                              f"{LEVEL[target]}) from {own} (level {LEVEL[own]})")
    for fault in faults:
        print(fault)
    print(f"{len(sources)} files checked, {len(faults)} includes reach up or sideways")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
