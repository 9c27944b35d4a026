#!/usr/bin/env python3
"""Prints which folder of src/ and tools/ includes which, and fails when the arrows make a circle, when an
include does not name its folder, or when the sqlite layer reaches above itself."""
import collections
import os
import re
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
include = re.compile(r'^#include "([^"]+)"', re.M)
edges = collections.defaultdict(set)
faults = []
for base in ('src', 'tools'):
    for folder, _, names in os.walk(os.path.join(root, base)):
        own = os.path.relpath(folder, os.path.join(root, 'src') if base == 'src' else root)
        for name in names:
            if not name.endswith(('.cpp', '.h')):
                continue
            for header in include.findall(open(os.path.join(folder, name), encoding='utf-8').read()):
                if header.endswith('.moc'):
                    continue
                if '/' not in header:
                    faults.append(f'{os.path.join(base, own, name)}: "{header}" does not name its folder')
                    continue
                target = os.path.dirname(header)
                if target != own:
                    edges[own].add(target)

for a in edges.get('db/sqlite', ()):
    faults.append(f'db/sqlite includes {a}: the lowest layer uses nothing of ours')

state = {}


def visit(node, path):
    state[node] = 'open'
    for nxt in sorted(edges.get(node, ())):
        if state.get(nxt) == 'open':
            faults.append('circle: ' + ' -> '.join(path[path.index(nxt):] + [nxt]))
        elif nxt not in state:
            visit(nxt, path + [nxt])
    state[node] = 'done'


for node in sorted(edges):
    if node not in state:
        visit(node, [node])

for a in sorted(edges):
    print(f'{a:14} -> {", ".join(sorted(edges[a]))}')
for f in faults:
    print('ERROR', f, file=sys.stderr)
sys.exit(1 if faults else 0)
