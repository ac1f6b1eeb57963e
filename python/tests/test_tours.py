"""The demo tour in Octave (demo/tour.m) and in Python (demo/tour.py): the
same table, row by row, to the last bit of every number, and a figure each."""
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def table(printed):
    """The tour's heading lines and its table: everything up to the first
    blank line after the table's header, lines without trailing blanks."""
    lines = [line.rstrip() for line in printed.splitlines()]
    header = next(k for k, line in enumerate(lines) if line.startswith("estimate "))
    end = lines.index("", header)
    return lines[:header], lines[header + 1:end]


def run_tour(command, tmp_path, name):
    environment = dict(os.environ, ORBITKIT_TOUR_EXACT="1")
    done = subprocess.run(command, cwd=tmp_path, env=environment, capture_output=True, text=True,
                          timeout=600)
    assert done.returncode == 0, (name, done.stdout, done.stderr)
    return done.stdout


def test_the_two_tours_print_the_same_table(tmp_path):
    toolbox = os.environ.get("ORBITKIT_OCTAVE_TOOLBOX")
    if not toolbox:
        pytest.skip("ORBITKIT_OCTAVE_TOOLBOX names no folder of Octave modules")
    pytest.importorskip("matplotlib")
    figures = {"octave": tmp_path / "tour.png", "python": tmp_path / "tour-python.png"}
    octave = ["octave-cli", "--no-init-file", "--no-site-file", "--quiet", "--eval",
              f"addpath('{toolbox}'); addpath('{ROOT / 'demo'}'); tour('{figures['octave']}')"]
    python = [sys.executable, str(ROOT / "demo" / "tour.py"), str(figures["python"])]
    # Side by side: each spends much of its time on one thread.
    with ThreadPoolExecutor(2) as pool:
        printed = dict(zip(figures, pool.map(run_tour, [octave, python], [tmp_path] * 2,
                                             list(figures))))
    (octave_heading, octave_rows), (python_heading, python_rows) = map(table, printed.values())
    assert python_heading == octave_heading
    differing = [(octave_row, python_row) for octave_row, python_row in
                 zip(octave_rows, python_rows) if octave_row != python_row]
    assert not differing
    assert len(python_rows) == len(octave_rows)
    # Every number in a row is there to 17 digits: the rows agree bit for bit.
    with_numbers = [row for row in octave_rows if len(row) > 44 + 1 + 9 + 1 + 12]
    assert len(with_numbers) >= len(octave_rows) - 1 > 10
    for figure in figures.values():
        assert figure.stat().st_size > 10_000
