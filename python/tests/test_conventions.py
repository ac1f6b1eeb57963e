"""How Python values map onto the host's arrays and back."""
import tracemalloc
import warnings

import numpy as np
import pytest

import orbitkit

rng = np.random.default_rng(7)


def column_calls(x):
    """Calls whose first input (or, for the interpolators, the abscissae
    asked for) is the 1-D signal x, and the same with x as a column."""
    r = np.argsort(np.argsort(x)) / len(x)
    knots = np.sort(x[:8]) + np.arange(8)
    return [
        (orbitkit.smoothwin, lambda v: (v, 5)),
        (orbitkit.smoothwin, lambda v: (v, [1.0, 2.0, 1.0])),
        (orbitkit.gainrider, lambda v: (v, [20.0, 30.0], 4.0, 1e-3)),
        (orbitkit.knotinterp, lambda v: (knots, knots ** 2, v)),
        (orbitkit.slopeinterp, lambda v: (knots, knots ** 2, v)),
        (orbitkit.laginfo, lambda v: (r if v.ndim == 1 else r[:, None], 5, 16)),
        (lambda *a: orbitkit.delaymatrix(*a).embedding, lambda v: (v, 1, 2)),
        (lambda *a: orbitkit.gridmass(*a).h2, lambda v: (v, [4, 8, 16])),
    ]


def test_1d_signal_is_a_column_and_its_vector_result_is_1d():
    for _ in range(10):
        x = rng.standard_normal(int(rng.integers(20, 200)))
        for function, inputs in column_calls(x):
            flat = function(*inputs(x))
            column = function(*inputs(x[:, None]))
            assert flat.ndim == 1 and flat.tobytes() == column.tobytes()


def test_1d_histinfo_input_is_a_row():
    for _ in range(10):
        x = np.round(rng.standard_normal(int(rng.integers(1, 100))))
        assert orbitkit.histinfo(x) == orbitkit.histinfo(x[None, :])


def test_other_inputs_read_like_float64_arrays():
    # Small and large: a large copy goes into memory kept between calls.
    for rows in (50, 40_000):
        x32 = rng.standard_normal((rows, 3)).astype(np.float32)
        x = x32.astype(np.float64)
        expected = orbitkit.smoothwin(x, 4).tobytes()
        read_only = np.asfortranarray(x)
        read_only.flags.writeable = False
        for same_values in (np.asfortranarray(x), x.tolist(), x32, np.asfortranarray(x32),
                            read_only, np.ascontiguousarray(x), np.asfortranarray(x)[::1, ::1]):
            assert orbitkit.smoothwin(same_values, np.int32(4)).tobytes() == expected
        every_other = np.asfortranarray(x)[::2]
        assert (orbitkit.smoothwin(every_other, 4).tobytes()
                == orbitkit.smoothwin(every_other.copy(order="F"), 4).tobytes())
        counts = rng.integers(-5, 5, (rows, 3))
        for kind in (np.int64, np.uint8, np.int16, bool):
            values = counts.astype(kind)
            assert (orbitkit.smoothwin(values, 3).tobytes()
                    == orbitkit.smoothwin(np.asfortranarray(values, dtype=np.float64), 3).tobytes())
        big = rng.standard_normal((rows // 10, 4, 3))  # beyond two sides, row-major
        assert (orbitkit.smoothwin(big, 3).tobytes()
                == orbitkit.smoothwin(np.asfortranarray(big), 3).tobytes())
    for unreadable in ("abc", [[1.0], [2.0, 3.0]], {"a": 1}, object()):
        with pytest.raises(TypeError):
            orbitkit.smoothwin(unreadable, 4)


def test_1x1_results_are_floats_and_several_results_a_named_tuple():
    assert type(orbitkit.twistgen(1)) is float
    assert type(orbitkit.histinfo(rng.random((3, 4)))) is float
    e, pmax = orbitkit.delaymatrix(rng.random(30), 3, 2)
    assert e.shape == (25, 3) and type(pmax) is float
    assert orbitkit.gridmass(rng.random((10, 2)), 4)._fields == ("h0", "h1", "h2")


def test_inputs_in_the_host_layout_are_not_copied():
    for x in (np.asfortranarray(rng.random((1000, 400))), rng.random(400_000)):
        tracemalloc.start()
        orbitkit.smoothwin(x, 3)
        peak = tracemalloc.get_traced_memory()[1]
        tracemalloc.stop()
        assert peak < x.nbytes / 10


def test_errors_prints_and_warnings_reach_python(capsys, tmp_path):
    with pytest.raises(orbitkit.Error, match="^Number of bins too large$") as refused:
        orbitkit.gridmass(rng.random((10, 2)), 20000)
    assert isinstance(refused.value, ValueError)

    orbitkit.laginfo(np.arange(100) / 100, 3, [4, 8])
    assert capsys.readouterr().out == ""  # quiet unless asked
    orbitkit.laginfo(np.arange(100) / 100, 3, [4, 8], verbose=True)
    assert capsys.readouterr().out == ("Number of partitions per axis   : 4\n"
                                      "Number of partitions per axis   : 8\n")

    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        orbitkit.foldmap(3, [-1.4, 0.3, 1e7, 0])
    assert [w.category for w in warned] == [RuntimeWarning] * 3
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(RuntimeWarning):
            orbitkit.foldmap(3, [-1.4, 0.3, 1e7, 0])

    empty = tmp_path / "empty.txt"
    empty.write_text("\n")
    assert orbitkit.textmatrix(empty) is None
    assert capsys.readouterr().err == "There seem to be no data in input file\n"
