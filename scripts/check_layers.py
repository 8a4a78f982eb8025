#!/usr/bin/env python3
"""Fails on any #include that goes up a layer or sideways between peers.

The layers are listed in cmake/layers.txt. A file may include headers of its
own folder and of folders of a lower rank. A core (core/) never includes a
platform layer (win32/, posix/) or tests, and the native tests (tests/) never
include the Windows layers.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
SOURCES = ('.h', '.cpp', '.cc', '.inl')
# What each kind of folder must not include, of any folder: the cores are
# platform-neutral, and the native tests never see the Windows layers.
FORBIDDEN = {
    'core': {'win32', 'posix', 'tests', 'tests_win'},
    'tests': {'win32', 'tests_win'},
}


def read_layers():
    layers = {}
    for line in (ROOT / 'cmake' / 'layers.txt').read_text().splitlines():
        line = line.strip()
        if line and not line.startswith('#'):
            folder, rank = line.split()
            layers[folder] = int(rank)
    return layers


def main():
    layers = read_layers()
    faults = []
    for folder in layers:
        for path in sorted((ROOT / folder).rglob('*')):
            if path.suffix not in SOURCES or 'build' in path.relative_to(ROOT).parts:
                continue
            rel = path.relative_to(ROOT)
            forbidden = FORBIDDEN.get(rel.parts[1], set()) if len(rel.parts) > 2 else set()
            for number, target in enumerate_includes(path):
                parts = target.split('/')
                if parts[0] not in layers:
                    continue  # a generated header or a system one in quotes
                if parts[0] != folder and layers[parts[0]] >= layers[folder]:
                    kind = 'sideways to a peer' if layers[parts[0]] == layers[folder] else 'up a layer'
                    faults.append(f'{rel}:{number}: includes "{target}" ({kind})')
                elif len(parts) > 2 and parts[1] in forbidden:
                    faults.append(f'{rel}:{number}: {rel.parts[1]}/ code includes "{target}"')
    for fault in faults:
        print(fault)
    print(f'check_layers: {len(faults)} faulty include(s)')
    return 1 if faults else 0


def enumerate_includes(path):
    text = path.read_text(encoding='utf-8', errors='replace')
    for match in INCLUDE.finditer(text):
        yield text.count('\n', 0, match.start()) + 1, match.group(1)


if __name__ == '__main__':
    sys.exit(main())
