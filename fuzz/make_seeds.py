#!/usr/bin/env python3
"""Writes the seed corpus of every module's fuzz target: a few valid calls
per module, encoded the way fuzz/gateway_fuzz.cpp decodes its bytes."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def value(v):
    if float(v).is_integer() and -128 <= v <= 127:
        return bytes([11, int(v) & 0xFF])
    return bytes([14]) + struct.pack("<d", float(v))


def matrix(rows):
    """A double matrix given as a list of rows; a flat list is a row vector."""
    if rows and not isinstance(rows[0], list):
        rows = [rows]
    m, n = len(rows), len(rows[0]) if rows else 0
    if m == 1 and n == 1:
        head = bytes([0, 3])
    elif m == 1 and n <= 16:
        head = bytes([0, 4, n])
    else:
        assert m <= 8 and n <= 8
        head = bytes([0, 6, m, n])
    body = b"".join(value(rows[i][j]) for j in range(n) for i in range(m))
    return head + body


def text(s):
    assert len(s) <= 16
    return bytes([4, 4, len(s)]) + bytes(ord(c) - 32 for c in s)


def call(nlhs, *inputs):
    return bytes([len(inputs), nlhs]) + b"".join(inputs)


column8 = [[v] for v in [0.1, 0.5, 0.9, 0.3, 0.7, 0.2, 0.8, 0.4]]
SEEDS = {
    "gridmass": [call(3, matrix([[0, 0], [1, 1], [0.5, 0.2]]), matrix([2, 4]))],
    "laginfo": [call(1, matrix([0.1, 0.6, 0.1, 0.6, 0.3, 0.9, 0.2, 0.5]), matrix([[3]]),
                     matrix([2, 4]))],
    "qspectrum": [call(3, matrix([[1, 2, 3, 4, 5], [2, 3, 4, 6, 8], [1, 3, 4, 5, 7]]),
                       matrix([1, 0, -1]), matrix([[1]]), matrix([[2]]), matrix([[5]]))],
    "delaymatrix": [call(2, matrix(column8), matrix([[3]]), matrix([[2]])),
                    call(2, matrix([[r[0], 1 - r[0]] for r in column8]), matrix([2, 1]),
                         matrix([1, 1]), matrix([[1]]))],
    "histinfo": [call(1, matrix([[0, 0, 1, 1, 0.5, 3], [1, 1, 2, 0, 1, 1]]))],
    "knotinterp": [call(1, matrix([0, 1, 2, 3, 4]), matrix([1, 3, 2, 5, 4]),
                        matrix([-1, 0.5, 2, 7]))],
    "slopeinterp": [call(1, matrix([0, 1, 2, 3, 4]), matrix([1, 3, 2, 5, 4]),
                         matrix([-1, 0.5, 2, 7]))],
    "smoothwin": [call(1, matrix(column8), matrix([[3]])),
                  call(1, matrix(column8), matrix([1, 2, 1]))],
    "gainrider": [call(1, matrix(column8), matrix([1, 2]), matrix([[3]]), matrix([[0.1]]))],
    "foldmap": [call(1, matrix([[10]]), matrix([-1.4, 0.3, 0, 0]))],
    "peakiter": [call(1, matrix([[10]]), matrix([0, 1, 1, 0.25]))],
    "baker": [call(1, matrix([[10]]), matrix([0.5, 0.25, 0.4, 0.2, 0.1]))],
    "twistgen": [call(1, matrix([[5]]))],
    "termset": [call(1, matrix([[3]]), matrix([[2]]))],
    "textmatrix": [call(1, text("/etc/passwd")), call(1, text("no-such-file"))],
    "neardist": [call(2, matrix([[r[0], 1 - r[0]] for r in column8]), matrix([[2]])),
                 call(2, matrix(column8), matrix([[1]]), matrix([[1]]), matrix([3, 1, 3]),
                      matrix([[1e308 * 10]]))],
    "corrsum": [call(2, matrix([[r[0], 1 - r[0]] for r in column8]), matrix([0.1, 0.5, 2])),
                call(2, matrix(column8), matrix([0.25]), matrix([[2]]), matrix([[1e308 * 10]]))],
    "embeddim": [call(3, matrix(column8), matrix([[2]])),
                 call(3, matrix(column8), matrix([[1]]), matrix([[2]]), matrix([[1]]), matrix([[10]]),
                      matrix([[2]]))],
    "rqa": [call(3, matrix([[r[0], 1 - r[0]] for r in column8]), matrix([[0.3]])),
            call(3, matrix(column8), matrix([[0.25]]), matrix([[0]]), matrix([[1]]), matrix([[3]]),
                 matrix([[2]]))],
    "lyapcurve": [call(2, matrix([[r[0], 1 - r[0]] for r in column8]), matrix([[2]])),
                  call(2, matrix(column8), matrix([[1]]), matrix([[2]]), matrix([[1]]),
                       matrix([3, 1, 3]), matrix([[1e308 * 10]]))],
    "permen": [call(3, matrix(column8), matrix([[3]])),
               call(3, matrix(column8), matrix([[2]]), matrix([[2]]), matrix([[1]]))],
    "dfa": [call(1, matrix(column8), matrix([3, 8])),
            call(1, matrix(column8), matrix([[4]]), matrix([[2]]), matrix([2, 0, -1]))],
    "sampen": [call(3, matrix(column8)),
               call(3, matrix(column8), matrix([[1]]), matrix([[0.25]]), matrix([[1]]),
                    matrix([[1]]), matrix([1, 2]))],
    "apen": [call(1, matrix(column8)),
             call(1, matrix(column8), matrix([[1]]), matrix([[0.25]]), matrix([[2]]))],
    "simplex": [call(2, matrix(column8), matrix([[2]])),
                call(2, matrix(column8), matrix([[1]]), matrix([[2]]), matrix([[1]]), matrix([[1]]),
                     matrix([3, 5, 7]), matrix([8, 2, 8]), matrix([[1]]))],
    "smap": [call(3, matrix(column8), matrix([[2]])),
             call(3, matrix(column8), matrix([[1]]), matrix([[2]]), matrix([[1]]), matrix([[2]]),
                  matrix([[1]]), matrix([3, 5, 7]), matrix([8, 2, 8]))],
    "crossmap": [call(1, matrix(column8), matrix([[1 - r[0]] for r in column8]), matrix([[1]]),
                      matrix([[1]]), matrix([3, 7]), matrix([[2]])),
                 call(1, matrix(column8), matrix(column8), matrix([[2]]), matrix([[1]]),
                      matrix([[6]]), matrix([[3]]), matrix([[5]]), matrix([[1]]), matrix([[1]]))],
}

for module, seeds in SEEDS.items():
    folder = os.path.join(HERE, "corpus", module)
    os.makedirs(folder, exist_ok=True)
    for k, seed in enumerate(seeds):
        with open(os.path.join(folder, "seed%d" % k), "wb") as f:
            f.write(seed)
