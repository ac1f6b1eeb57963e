"""The fuzz targets' hostile calls, through Python: each returns, or raises
orbitkit.Error, TypeError or MemoryError; nothing crashes."""
import os
import struct
import warnings
from pathlib import Path

import numpy as np
import pytest

import orbitkit
from orbitkit import _host

CORPUS = Path(os.environ.get("ORBITKIT_FUZZ_CORPUS", Path(__file__).parents[2] / "fuzz/corpus"))
DTYPES = {"double": np.float64, "single": np.float32, "int32": np.int32, "logical": bool}
KINDS = ("double", "single", "int32", "logical", "char", "complex", "sparse")


# The fuzz targets' decoding of bytes into a call (fuzz/decoder.h), step for
# step: bytes are read in order, zeros once they run out.
class ByteReader:
    def __init__(self, data):
        self.data, self.position = data, 0

    def next(self):
        self.position += 1
        return self.data[self.position - 1] if self.position <= len(self.data) else 0

    def next_int8(self):
        byte = self.next()
        return byte - 256 if byte >= 128 else byte


FIXED_VALUES = (np.nan, np.inf, -np.inf, -0.0, 0.0, 5e-324, 1e308, -1e308, 2147483648.0,
                -2147483649.0, 1e6 + 1)


def decode_value(reader):
    case = reader.next() % 16
    if case < len(FIXED_VALUES):
        return FIXED_VALUES[case]
    if case == 11:
        return float(reader.next_int8())
    if case == 12:
        return reader.next() / 256.0
    if case == 13:
        whole = reader.next_int8()
        return whole + reader.next() / 256.0
    if case == 14:
        return struct.unpack("<d", bytes(reader.next() for _ in range(8)))[0]
    low = reader.next()
    word = low | reader.next() << 8
    return float(word - 65536 if word >= 32768 else word)


def decode_shape(reader):
    case = reader.next() % 8
    side = lambda most: reader.next() % (most + 1)
    if case == 0:
        return (0, 0)
    if case == 1:
        return (0, side(16))
    if case == 2:
        return (side(16), 0)
    if case == 3:
        return (1, 1)
    if case == 4:
        return (1, side(16))
    if case == 5:
        return (side(16), 1)
    if case == 6:
        return side(8), side(8)
    return side(4), side(4), side(4)


def int32_count(x):
    """host::count_from_double: truncated, INT32_MIN when out of range or NaN."""
    return float(int(x)) if -2147483649.0 < x < 2147483648.0 else -2147483648.0


def decode_input(reader):
    kind = KINDS[reader.next() % 7]
    dims = decode_shape(reader)
    count = int(np.prod(dims))
    values, imaginary = [], []
    if kind in ("double", "single", "int32", "complex"):
        values = [decode_value(reader) for _ in range(count)]
    if kind == "int32":
        values = [int32_count(x) for x in values]
    elif kind == "complex":
        imaginary = [decode_value(reader) for _ in range(count)]
    elif kind == "logical":
        values = [reader.next() & 1 for _ in range(count)]
    elif kind == "char":
        values = [32 + reader.next() % 95 for _ in range(count)]  # printable characters
    elif kind == "sparse":
        values = [decode_value(reader) for _ in range(count // 2)]  # the non-zeros
    return kind, dims, np.array(values, dtype=float), np.array(imaginary, dtype=float)


def decode_call(payload):
    """(requested outputs, [(kind, dims, values, imaginary parts), ...])"""
    reader = ByteReader(payload)
    nrhs = reader.next() % 7
    nlhs = reader.next() % 5
    return nlhs, [decode_input(reader) for _ in range(nrhs)]


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
            _, inputs = decode_call(payload)
            try:
                getattr(orbitkit, name)(*[python_value(*i) for i in inputs])
                outcomes.add("returned")
            except (orbitkit.Error, TypeError, MemoryError) as error:
                outcomes.add(type(error).__name__)
            capsys.readouterr()
    assert outcomes >= {"returned", "Error", "TypeError"}
