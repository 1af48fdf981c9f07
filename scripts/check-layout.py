#!/usr/bin/env python3
"""Fails when an include points up the folder list in CONTRIBUTING.md.

The list is read from the first fenced block of that file: a line that starts with a folder
name ("app/web/  ...") is an entry, indented lines continue the one above. A file belongs to the
longest entry its path starts with, and may include only from its own entry or one listed below.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layout():
    text = (ROOT / "CONTRIBUTING.md").read_text()
    block = re.search(r"^```\n(.*?)^```", text, re.MULTILINE | re.DOTALL)
    if not block:
        sys.exit("check-layout: no folder list in CONTRIBUTING.md")
    return [line.split()[0] for line in block.group(1).splitlines()
            if line and not line[0].isspace() and line.split()[0].endswith("/")]


def entry_of(path, folders):
    """Index of the longest listed folder the path lies in, or None."""
    matches = [i for i, f in enumerate(folders) if path.startswith(f)]
    return max(matches, key=lambda i: len(folders[i]), default=None)


def included_path(name):
    """Includes are written from the tree's root or from app/; generated ones have no folder."""
    for candidate in (name, "app/" + name):
        if (ROOT / candidate).is_file():
            return candidate
    return None


def main():
    folders = layout()
    crossings = []
    tops = sorted({folder.split("/")[0] for folder in folders})
    for source in sorted(s for top in tops for s in (ROOT / top).rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        path = source.relative_to(ROOT).as_posix()
        own = entry_of(path, folders)
        if own is None:
            continue
        for name in INCLUDE.findall(source.read_text(errors="replace")):
            target = included_path(name)
            other = entry_of(target, folders) if target else None
            if other is not None and other < own:
                crossings.append(f"{path}: includes {name} from {folders[other]}, "
                                 f"which is above {folders[own]}")
    for line in crossings:
        print(line, file=sys.stderr)
    return 1 if crossings else 0


if __name__ == "__main__":
    sys.exit(main())
