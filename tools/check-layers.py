#!/usr/bin/env python3
"""Fails when an #include in src/ goes up the layers or closes a circle.

The folders under src/ form layers; a file may include from its own folder and
from the folders its folder may use, nothing else:

    app                      the start-up, the main window, tray
    ctl                      the companion command (no widgets)
    notes, access, online    one folder per group of dialogs
    ui                       the dialog look, key actions, message boxes (it
                             uses the store's text rules, never the database)
    alarms                   the two threads and the due rules
    store                    the database layer, data module, clock
"""
import pathlib
import re
import sys

MAY_USE = {
    "app": {"notes", "access", "online", "ui", "alarms", "store"},
    "ctl": {"alarms", "store"},
    "notes": {"ui", "store"},
    "access": {"ui", "store"},
    "online": {"ui", "store"},
    "ui": {"store"},
    "alarms": {"store"},
    "store": set(),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    faults = []
    edges = {}
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".h", ".cpp"}:
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in MAY_USE:
            faults.append(f"{path}: folder '{folder}' has no place in the layers")
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if "/" not in target:
                target_folder = folder
                if not (path.parent / target).exists():
                    faults.append(f"{path}: includes \"{target}\", which is not beside it")
                    continue
            else:
                target_folder = target.split("/")[0]
            if target_folder == folder:
                continue
            edges.setdefault(folder, set()).add(target_folder)
            if target_folder not in MAY_USE.get(folder, set()):
                faults.append(f"{path}: {folder} may not include {target} ({target_folder})")
    # A circle can only come from a wrong edge, but name it all the same.
    circles = set()

    def visit(node, trail):
        if node in trail:
            loop = trail[trail.index(node):]
            i = loop.index(min(loop))
            loop = loop[i:] + loop[:i]
            if tuple(loop) not in circles:
                circles.add(tuple(loop))
                faults.append("include circle: " + " -> ".join(loop + [loop[0]]))
            return
        for nxt in sorted(edges.get(node, ())):
            visit(nxt, trail + [node])
    for start in sorted(edges):
        visit(start, [])
    for fault in dict.fromkeys(faults):
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
