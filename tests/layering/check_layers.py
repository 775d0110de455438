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
LAYERS = [["include/recfilereader"], ["platform"], ["base"], ["platform/storage", "platform/media"],
          ["properties"], ["host"], ["sources", "fileaccess"], ["container"], ["data"], ["writing"],
          ["frame"]]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(path):
    """The deepest known folder that holds `path` (relative to the library root), or None."""
    parts = pathlib.PurePosixPath(path).parts[:-1]
    return next(("/".join(parts[:d]) for d in range(len(parts), 0, -1) if "/".join(parts[:d]) in LEVEL), None)


def main(root):
    faults = []
    sources = [p for p in root.rglob("*") if p.suffix in (".h", ".cpp")]
    for source in sources:
        own_path = source.relative_to(root).as_posix()
        own = folder_of(own_path)
        if own is None:
            faults.append(f"{own_path}: lies in no known layer")
            continue
        for name in INCLUDE.findall(source.read_text(encoding="utf-8")):
            # Public headers are named "recfilereader/x.h"; a bare name is the including folder's.
            target = folder_of(f"include/{name}") or folder_of(name) or own
            if target != own and LEVEL[target] >= LEVEL[own]:
                faults.append(f'{own_path}: includes "{name}" ({target}, level {LEVEL[target]}) '
                              f"from {own} (level {LEVEL[own]})")
    print("\n".join(faults + [f"{len(sources)} files checked, {len(faults)} includes reach up or sideways"]))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
