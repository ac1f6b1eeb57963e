"""The package's types, as a strict type checker reads them, on the demos
and on a file that calls every function as its help does."""
from pathlib import Path

import mypy.api

import typed_calls

ROOT = Path(__file__).resolve().parents[2]


def test_strict_type_check_accepts_the_demos_and_every_call(tmp_path):
    files = [ROOT / "demo" / "tour.py", ROOT / "demo" / "surrogates.py",
             Path(typed_calls.__file__)]
    report, errors, status = mypy.api.run(["--strict", "--cache-dir", str(tmp_path)] +
                                          [str(f) for f in files if f.exists()])
    assert status == 0, report + errors


def test_the_typed_calls_run():
    assert len(typed_calls.run()) == 27
