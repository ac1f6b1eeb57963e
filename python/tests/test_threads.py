"""Modules compute with the GIL released, and calls from several threads
give what the same calls give one after another."""
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import orbitkit

rng = np.random.default_rng(11)


def long_call():
    """A laginfo call of a tenth of a second or more on this machine."""
    size = 100_000
    while True:
        r = rng.permutation(size) / size
        call = lambda: orbitkit.laginfo(r, 20, [16, 256])
        start = time.perf_counter()
        call()
        if time.perf_counter() - start > 0.1:
            return call
        size *= 2


def test_other_python_threads_run_while_a_module_computes():
    call = long_call()
    ticks = 0
    done = threading.Event()

    def count():
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    start = time.perf_counter()
    call()
    elapsed = time.perf_counter() - start
    done.set()
    counter.join()
    # Held for the whole call, the lock would leave the counter a tick or two.
    assert ticks > elapsed / 0.001 / 10


def test_calls_from_two_threads_match_serial_calls():
    cases = []
    for _ in range(40):
        knots = np.cumsum(rng.random(30) + 0.1)
        cases.append((orbitkit.slopeinterp, (knots, rng.standard_normal(30),
                                              rng.uniform(0, knots[-1], 5000))))
        cases.append((orbitkit.knotinterp, (knots, rng.standard_normal(30),
                                             rng.uniform(0, knots[-1], 5000))))
        cases.append((orbitkit.smoothwin, (rng.standard_normal((3000, 2)), 7)))
    serial = [f(*a).tobytes() for f, a in cases]
    with ThreadPoolExecutor(2) as pool:
        parallel = list(pool.map(lambda case: case[0](*case[1]).tobytes(), cases))
    assert parallel == serial
