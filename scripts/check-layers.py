#!/usr/bin/env python3
"""Checks that the includes under src/ (and the native tests) point one way.

  common 0  <-  settings, archive, image 1  <-  system 2  <-  driver, uninst 3

A `*_win` file is the Win32 shell of its folder and sits half a layer above that folder's
core. A file may include its own layer or a lower one, never a higher one; a core file
includes no Win32 header and no shell; neither program's folder includes the other's; the
native tests build without Windows, so they include no Win32 header or shell either; the host
tools build on the shared layers and include neither program's folder.

No include runs in a circle either: a file's header and source count as one unit, and units
that reach each other through their includes would have to be learnt together.

Usage: check-layers.py [SOURCE_DIR]. Prints one line per fault (file:line: why) and exits
with 1 when there is any. See docs/architecture.md.
"""

import pathlib
import re
import sys

RANKS = {"common": 0, "settings": 1, "archive": 1, "image": 1, "system": 2, "driver": 3, "uninst": 3}
PROGRAMS = {"driver", "uninst"}
# Headers of the Windows SDK that only a shell may include.
WIN32_HEADERS = {"windows.h", "objbase.h", "shlobj.h", "commctrl.h", "shellapi.h", "winreg.h",
                 "winbase.h", "winuser.h", "ole2.h", "shlwapi.h", "aclapi.h", "mmsystem.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def is_shell(name):
    return pathlib.PurePosixPath(name).stem.endswith("_win")


def layer(folder, name):
    """Rank of src/<folder>/<name>: the folder's, plus a half for a shell."""
    return RANKS[folder] + (0.5 if is_shell(name) else 0)


def describe(folder, name):
    return f"{folder} {'shell' if is_shell(name) else 'core'} (layer {layer(folder, name):g})"


def check_source(path, shown, folder, src, faults):
    name = path.name
    shell = is_shell(name)
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        where = f"{shown}:{number}"
        kind, target = match.groups()
        if kind == "<":
            if not shell and target.lower() in WIN32_HEADERS:
                faults.append(f"{where}: the core file includes <{target}>; only *_win files may")
            continue
        parts = pathlib.PurePosixPath(target).parts
        if len(parts) != 2 or parts[0] not in RANKS or not (src / target).is_file():
            faults.append(f'{where}: "{target}" is not a file under src/<layer>/')
            continue
        to_folder, to_name = parts
        if not shell and is_shell(to_name):
            faults.append(f'{where}: the core file includes the shell "{target}"')
        if folder in PROGRAMS and to_folder in PROGRAMS and folder != to_folder:
            faults.append(f'{where}: the {folder} program includes the other program\'s "{target}"')
        elif layer(to_folder, to_name) > layer(folder, name):
            faults.append(f'{where}: {describe(folder, name)} includes "{target}", '
                          f'{describe(to_folder, to_name)}: a higher layer')


def unit_of(target):
    """"archive/foo.h" and "archive/foo.cpp" are one unit, "archive/foo"."""
    return str(pathlib.PurePosixPath(target).with_suffix(""))


def check_circles(src, faults):
    graph = {}
    for path in sorted(src.glob("*/*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        unit = unit_of(path.relative_to(src).as_posix())
        targets = graph.setdefault(unit, set())
        for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
            match = INCLUDE.match(line)
            if match and match.group(1) == '"' and (src / match.group(2)).is_file():
                if unit_of(match.group(2)) != unit:
                    targets.add(unit_of(match.group(2)))
    # Depth first; a unit met again while still on the path closes a circle.
    state, path, circles = {}, [], []

    def visit(unit):
        state[unit] = "open"
        path.append(unit)
        for target in sorted(graph.get(unit, ())):
            if state.get(target) == "open":
                circles.append(path[path.index(target):] + [target])
            elif target not in state:
                visit(target)
        path.pop()
        state[unit] = "done"

    for unit in sorted(graph):
        if unit not in state:
            visit(unit)
    for circle in circles:
        faults.append(f"src/{circle[0]}: the includes run in a circle: {' -> '.join(circle)}")


def check_native_test(path, shown, faults):
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        kind, target = match.groups()
        if (kind == "<" and target.lower() in WIN32_HEADERS) or (kind == '"' and is_shell(target)):
            faults.append(f"{shown}:{number}: a native test includes {target}; it must build without Windows")


def check_tool(path, shown, faults):
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match or match.group(1) != '"':
            continue
        parts = pathlib.PurePosixPath(match.group(2)).parts
        if len(parts) == 2 and parts[0] in PROGRAMS:
            faults.append(f'{shown}:{number}: a tool includes the {parts[0]} program\'s "{match.group(2)}"; '
                          f"what it shares with the program belongs in a lower layer")


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    src = root / "src"
    faults = []
    checked = 0
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in RANKS or len(path.relative_to(src).parts) != 2:
            faults.append(f"{path.relative_to(root)}: not in a known layer folder ({', '.join(RANKS)})")
            continue
        check_source(path, path.relative_to(root), folder, src, faults)
        checked += 1
    check_circles(src, faults)
    for path in sorted((root / "tests" / "native").glob("*")):
        if path.suffix in (".h", ".cpp"):
            check_native_test(path, path.relative_to(root), faults)
            checked += 1
    for path in sorted((root / "tools").rglob("*")):
        if path.suffix in (".h", ".cpp"):
            check_tool(path, path.relative_to(root), faults)
            checked += 1
    for fault in faults:
        print(fault)
    print(f"{checked} files checked, {len(faults)} layering faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
