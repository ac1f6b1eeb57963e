"""Every function's signature: named inputs, positional or by keyword;
workers= for one call only; Python's own TypeError for calls that do not
fit; annotations as written, short. (test_help checks that the help
documents every parameter.)"""
import inspect
import os
import pydoc
import threading
import typing

import numpy as np
import pytest

import orbitkit
from shared_calls import data_files, make_calls

FUNCTIONS = [getattr(orbitkit, name) for name in orbitkit.__all__
             if inspect.isfunction(getattr(orbitkit, name))]


def same(a, b):
    a = a if isinstance(a, tuple) else (a,)
    b = b if isinstance(b, tuple) else (b,)
    return all(np.asarray(x).tobytes() == np.asarray(y).tobytes() for x, y in zip(a, b))


def outcome(call):
    try:
        return call()
    except orbitkit.Error as refused:
        return str(refused)


def test_keywords_give_what_positions_give(tmp_path):
    for name, inputs in make_calls(data_files(tmp_path), valid=3, hostile=0):
        if name != "twistgen":  # its seed chain moves on between calls
            function = getattr(orbitkit, name)
            keywords = dict(zip(inspect.signature(function).parameters, inputs))
            assert same(outcome(lambda: function(*inputs)),
                        outcome(lambda: function(**keywords))), name
    points = np.random.default_rng(41).random((300, 2))
    assert same(orbitkit.lyapcurve(points, 5, 2, 3, None, np.inf),
                orbitkit.lyapcurve(p=np.inf, w=3, k=2, steps=5, points=points))


def test_calls_that_do_not_fit_raise_type_error():
    x = np.arange(10.0)
    for call in (lambda: orbitkit.smoothwin(x, 3, 4), lambda: orbitkit.smoothwin(x, size=3),
                 lambda: orbitkit.smoothwin(x), lambda: orbitkit.foldmap(3, [1, 0, 0, 0], workers=1),
                 lambda: orbitkit.smoothwin(x, 3, workers="2")):
        with pytest.raises(TypeError):
            call()


def test_workers_change_nothing_but_the_threads():
    points = orbitkit.foldmap(60000, [-1.4, 0.3, 0, 0])
    want = orbitkit.neardist(points, 4, w=5)
    for workers in (1, 2, 3, -1):
        assert same(orbitkit.neardist(points, 4, w=5, workers=workers), want)
    for workers in (0, -2):
        with pytest.raises(orbitkit.Error, match="workers must be None, -1 or a whole number"):
            orbitkit.neardist(points, 4, workers=workers)
    # Two Python threads at once, each with its own count.
    results = {}
    calls = [threading.Thread(target=lambda w=w: results.__setitem__(w, orbitkit.neardist(
        points, 4, w=5, workers=w))) for w in (1, 2)]
    for call in calls:
        call.start()
    for call in calls:
        call.join()
    assert same(results[1], want) and same(results[2], want)


def threads_started_by(call):
    """How many more threads this process had while the call ran than just
    before it."""
    most, done = 0, threading.Event()

    def watch():
        nonlocal most
        while not done.is_set():
            most = max(most, len(os.listdir("/proc/self/task")))

    watcher = threading.Thread(target=watch)
    watcher.start()
    before = len(os.listdir("/proc/self/task"))
    most = 0
    call()
    done.set()
    watcher.join()
    return most - before


@pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="needs /proc")
def test_workers_set_the_threads_of_that_call_only(monkeypatch):
    monkeypatch.setenv("OMP_NUM_THREADS", "1")
    points = orbitkit.foldmap(300000, [-1.4, 0.3, 0, 0])
    assert threads_started_by(lambda: orbitkit.neardist(points, 8, workers=3)) >= 2
    assert threads_started_by(lambda: orbitkit.neardist(points, 8)) <= 0


@pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="needs /proc")
def test_workers_minus_one_uses_every_core_whatever_omp_num_threads_says(monkeypatch):
    cores = len(os.sched_getaffinity(0))
    if cores < 2:
        pytest.skip("one core: every core is the default's one thread")
    monkeypatch.setenv("OMP_NUM_THREADS", "1")
    points = orbitkit.foldmap(300000, [-1.4, 0.3, 0, 0])
    # The calling thread works too: every core is it and cores - 1 more.
    assert threads_started_by(lambda: orbitkit.neardist(points, 8, workers=-1)) >= cores - 1


def test_signatures_read_as_written():
    kinds = ["ArrayLike", "int", "float", "bool", "str"]
    allowed = set(kinds) | {kind + " | None" for kind in kinds}
    for function in FUNCTIONS:
        shown = f"{function.__name__}{inspect.signature(function)}"
        rendered = pydoc.render_doc(function, renderer=pydoc.plaintext).splitlines()
        line = next(line for line in rendered if line.startswith(function.__name__ + "("))
        for text in (shown, line):
            assert len(text) <= 300, text
            assert "numpy._" not in text and "_typing" not in text and "'" not in text, text
        assert line == shown
        # Inputs are arrays or plain scalars, written as such; none but the
        # file name of textmatrix needs another word.
        for parameter in inspect.signature(function).parameters.values():
            assert parameter.annotation in allowed or function is orbitkit.textmatrix, shown
        # What a type checker evaluates: the same names, resolved.
        hints = typing.get_type_hints(function)
        assert set(hints) == set(inspect.signature(function).parameters) | {"return"}
    assert str(inspect.signature(orbitkit.lyapcurve)) == (
        "(points: ArrayLike, steps: int, k: int = 1, w: int = 0, refs: ArrayLike | None = None, "
        "p: float = 2, *, workers: int | None = None) -> LyapcurveResult")
