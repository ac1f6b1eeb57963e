"""The fuzz targets' hostile calls, through Python: each returns, or raises
orbitkit.Error, TypeError or MemoryError; nothing crashes."""
import os
import warnings
from pathlib import Path

import numpy as np
import pytest

import orbitkit
from orbitkit import _host

CORPUS = Path(os.environ.get("ORBITKIT_FUZZ_CORPUS", Path(__file__).parents[2] / "fuzz/corpus"))
DTYPES = {"double": np.float64, "single": np.float32, "int32": np.int32, "logical": bool}


def python_value(kind, dims, values, imaginary):
    if kind == "char":
        return "".join(map(chr, values.astype(int)))
    if kind == "sparse":
        return {"nonzeros": values}  # no array a user could pass
    if kind == "complex":
        values = values + 1j * imaginary
    return np.asarray(values).astype(DTYPES.get(kind, complex)).reshape(dims, order="F")


def calls():
    rng = np.random.default_rng(17)
    for name in orbitkit.__all__[1:]:
        seeds = sorted((CORPUS / name).glob("*")) if (CORPUS / name).is_dir() else []
        payloads = [seed.read_bytes() for seed in seeds]
        payloads += [rng.integers(0, 256, int(rng.integers(0, 200)), dtype=np.uint8).tobytes()
                     for _ in range(300)]
        for payload in payloads:
            yield name, payload


@pytest.fixture
def request_limit():
    _host._set_request_limit(64 << 20)
    yield
    _host._set_request_limit(2**64 - 1)


def test_hostile_calls_end_normally(request_limit, capsys):
    outcomes = set()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for name, payload in calls():
            _, inputs = _host._decode_fuzz_call(payload)
            try:
                getattr(orbitkit, name)(*[python_value(*i) for i in inputs])
                outcomes.add("returned")
            except (orbitkit.Error, TypeError, MemoryError) as error:
                outcomes.add(type(error).__name__)
            capsys.readouterr()
    assert outcomes >= {"returned", "Error", "TypeError"}
