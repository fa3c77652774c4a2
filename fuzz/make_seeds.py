#!/usr/bin/env python3
"""Writes the seed corpus of the gateway fuzzers (fuzz/corpus/*.bin).

The byte format is the one gateway_fuzzer.cpp decodes. The seeds are valid
calls (the worked example with every output count, empty tables, a small
sheet), near misses (1-based faces, NaN coordinates, boundary rows with odd
c and d), a function handle or an object in each slot, and a wrong input
count; the fuzzer mutates them from there.
"""
import math
import os
import struct

PALETTE_INDEX = {"nan": 0, "inf": 1, "-inf": 2, -0.5: 3, -0.7: 10, 2.9: 9, 3e9: 14, 0.5: 22}


def value(v):
    if isinstance(v, str):
        return bytes([PALETTE_INDEX[v]])
    if v == int(v) and -2 <= v <= 9:
        return bytes([24 + int(v) + 2])
    if v in PALETTE_INDEX:
        return bytes([PALETTE_INDEX[v]])
    return bytes([255]) + struct.pack("<d", v)


def matrix(rows):
    """A double matrix from its rows, as (header, values) in column-major order."""
    m = len(rows)
    n = len(rows[0]) if rows else 0
    header = bytes([0, m, n])
    values = b"".join(value(rows[i][j]) for j in range(n) for i in range(m))
    return header, values


# Kind bytes of the classes that hold no doubles (kOtherClasses in
# gateway_fuzzer.cpp): a function handle and a containers.Map object.
FUNCTION_HANDLE = 240
OBJECT = 241


def other(kind):
    """An input of one of the other classes: its header, and no values."""
    return bytes([kind, 1, 1]), b""


def call(nlhs, args, nrhs_byte=6):
    parts = [a if isinstance(a, tuple) else matrix(a) for a in args]
    return bytes([nlhs, nrhs_byte]) + b"".join(h for h, _ in parts) + b"".join(v for _, v in parts)


V = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0.2]]
Q = [[0, 0, 0.1], [1.1, 0, 0], [0, 1.2, 0], [1, 1.1, 0.5]]
F = [[0, 1, 2], [1, 3, 2]]
E = [[1, 2, 0, 3], [0, 1, -1, 2], [2, 0, -1, 1], [1, 3, -1, 2], [3, 2, -1, 1]]


def sheet(n):
    verts = [[i / (n - 1), j / (n - 1), 0.1 * math.sin(i + j)] for j in range(n) for i in range(n)]
    faces, directed = [], {}
    for j in range(n - 1):
        for i in range(n - 1):
            v = j * n + i
            faces += [[v, v + 1, v + n + 1], [v, v + n + 1, v + n]]
    rows = {}
    for f in faces:
        for k in range(3):
            a, b, c = f[k], f[(k + 1) % 3], f[(k + 2) % 3]
            key = (min(a, b), max(a, b))
            if key in rows:
                rows[key][3] = c
            else:
                rows[key] = [a, b, c, -1]
    return verts, faces, list(rows.values())


seeds = {}
for nlhs in range(4):
    seeds["worked_example_nlhs%d" % nlhs] = call(nlhs, [Q, [[2]], [[3]], F, V, E])
seeds["no_edges"] = call(2, [Q, [[2]], [[3]], F, V, []])
seeds["no_faces"] = call(2, [Q, [[2]], [[3]], [], V, E])
seeds["one_based_faces"] = call(2, [Q, [[2]], [[3]], [[a + 1 for a in f] for f in F], V, E])
seeds["nan_coordinate"] = call(2, [[["nan", 0, 0.1]] + Q[1:], [[2]], [[3]], F, V, E])
seeds["odd_boundary_rows"] = call(1, [Q, [[2]], [[3]], F, V, E[:1] + [[0, 1, "nan", 2], [2, 0, 3e9, 1], [1, 3, -0.5, 2]]])
seeds["five_inputs"] = call(1, [Q, [[2]], [[3]], F, V], nrhs_byte=230)
for slot in range(6):
    for kind, name in ((FUNCTION_HANDLE, "function_handle"), (OBJECT, "object")):
        args = [Q, [[2]], [[3]], F, V, E]
        args[slot] = other(kind)
        seeds["%s_in_slot%d" % (name, slot + 1)] = call(1, args)
sv, sf, se = sheet(4)
seeds["sheet_4x4"] = call(2, [[[x * 1.1, y, z] for x, y, z in sv], [[1.5]], [[0.5]], sf, sv, se])

# lamina_solve's options: its fuzzer reads one more byte when the inputs are
# 8 (nrhs byte 224), for 2 (byte mod 4) more; each input after the sixth
# starts with a byte that picks a word of kSolveWords (below 160) or says
# that an array follows (255).
SOLVE_WORDS = {"Fixed": 0, "Forces": 1, "Mass": 2, "TimeStep": 4, "MaxIterations": 7, "Project": 8,
               "Verbose": 9, "none": 11}


def solve_call(nlhs, args, options):
    """A call of lamina_solve with name-value options (words or matrices)."""
    parts = [matrix(a) for a in args]
    values = []
    for o in options:
        if isinstance(o, str):
            parts.append((bytes([0, 0, 0]), b""))
            values.append(bytes([SOLVE_WORDS[o]]))
        else:
            header, v = matrix(o)
            parts.append((header, b""))
            values.append(bytes([255]) + v)
    extra = (len(options) - 2) // 2
    return (bytes([nlhs, 224, extra]) + b"".join(h for h, _ in parts) + b"".join(v for _, v in parts)
            + b"".join(values))


seeds["solve_fixed_forces"] = solve_call(2, [Q, [[2]], [[3]], F, V, E],
                                         ["Fixed", [[1, 1, 1], [0, 0, 0], [0, 0, 0], [0, 0, 0]],
                                          "Forces", [[0, 0, 0], [0, 0, -1], [0, 0, -1], [0, 0, -1]]])
seeds["solve_mass_step_project"] = solve_call(2, [Q, [[2]], [[3]], F, V, E],
                                              ["Mass", [[1], [1], [2], [0]], "TimeStep", [[0.5]],
                                               "Project", "none", "Verbose", [[1]]])

here = os.path.dirname(os.path.abspath(__file__))
os.makedirs(os.path.join(here, "corpus"), exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, "corpus", name + ".bin"), "wb") as f:
        f.write(data)
print("wrote %d seeds" % len(seeds))
