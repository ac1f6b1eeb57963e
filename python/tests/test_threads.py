"""Modules compute with the GIL released, and calls from several threads
give what the same calls give one after another."""
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import orbitkit

rng = np.random.default_rng(11)


def test_other_python_threads_run_while_a_module_computes():
    r = rng.permutation(2_000_000) / 2_000_000
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
    orbitkit.laginfo(r, 20, [16, 256])
    elapsed = time.perf_counter() - start
    done.set()
    counter.join()
    assert elapsed > 0.05 and ticks > elapsed / 0.001 / 10


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
