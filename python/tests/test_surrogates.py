"""The surrogate demo (demo/surrogates.py): on a LocalCluster of two worker
processes it gives what the serial loop gives, bit for bit, whatever the
order of the tasks; its surrogates keep what their null hypotheses keep; its
statistic tells the Henon series apart; its annotations pass mypy --strict."""
import importlib
import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

# pytest runs from outside the source tree; this file is in it, the demo beside.
DEMO = pathlib.Path(__file__).resolve().parents[2] / "demo" / "surrogates.py"


@pytest.fixture(scope="module")
def demo():
    # Imported like any module, so that the workers must import it too.
    sys.path.insert(0, str(DEMO.parent))
    try:
        module = importlib.import_module("surrogates")
    finally:
        sys.path.remove(str(DEMO.parent))
    yield module
    del sys.modules["surrogates"]


@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")
def test_two_worker_processes_give_the_serial_results(demo):
    pytest.importorskip("distributed")
    x = demo.henon_x(3001)
    radius = 0.05 * float(np.std(x))
    jobs = demo.plan(8)
    serial = np.array(demo.run_serial(jobs, x, radius))
    with demo.local_client(2) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        parallel = np.array(demo.run_on_cluster(client, jobs, x, radius))
        backwards = np.array(demo.run_on_cluster(client, jobs[::-1], x, radius))
        threads = set(client.run(lambda: os.environ.get("OMP_NUM_THREADS")).values())
    assert parallel.tobytes() == serial.tobytes()
    assert backwards.tobytes() == serial[::-1].tobytes()
    assert threads == {"1"}


@pytest.mark.parametrize("length", [2000, 2001])
def test_surrogates_keep_what_their_null_hypothesis_keeps(demo, length):
    x = np.random.default_rng(length).standard_normal(length) + 0.5
    shuffle = demo.shuffled(x, np.random.default_rng(1))
    assert np.array_equal(np.sort(shuffle), np.sort(x))
    assert not np.array_equal(shuffle, x)

    fourier = demo.phase_randomised(x, np.random.default_rng(1))
    amplitudes = np.abs(np.fft.rfft(x))
    assert fourier.shape == x.shape
    assert np.allclose(np.abs(np.fft.rfft(fourier)), amplitudes, rtol=0,
                       atol=1e-9 * amplitudes.max())
    assert abs(fourier.mean() - x.mean()) < 1e-12 * np.abs(x).max()
    assert abs(np.corrcoef(fourier, x)[0, 1]) < 0.2   # about 0 +- 1 / sqrt(length)
    other = demo.phase_randomised(x, np.random.default_rng(2))
    assert not np.allclose(other, fourier)


def test_henon_lies_beyond_every_surrogate(demo):
    # A deterministic map crowds its delay vectors onto a thin set: more
    # close pairs than in any series with its values or its spectrum.
    x = demo.henon_x(5000)
    radius = 0.05 * float(np.std(x))
    values = demo.run_serial(demo.plan(20), x, radius)
    original = demo.statistic(x, radius)
    assert original > 3 * max(values)
    assert demo.rank_test(original, values) == (True, 2 / 21)


def test_the_demo_passes_mypy_strict(tmp_path):
    checked = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir",
                              str(tmp_path), str(DEMO)], capture_output=True, text=True)
    assert checked.returncode == 0, checked.stdout + checked.stderr
