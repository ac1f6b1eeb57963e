"""Many calls, valid and refused, keep memory flat and references balanced."""
import gc
import sys
import warnings

import orbitkit
import shared_calls


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def call_all(calls):
    for name, inputs in calls:
        try:
            getattr(orbitkit, name)(*inputs)
        except (orbitkit.Error, TypeError):  # refused, or not fitting the signature
            pass


def test_memory_stays_flat_over_many_calls(capsys, tmp_path):
    calls = shared_calls.make_calls(shared_calls.data_files(tmp_path))
    inputs = [value for _, values in calls for value in values]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for _ in range(3):
            call_all(calls)
        gc.collect()
        references = [sys.getrefcount(value) for value in inputs]
        before = resident_bytes()
        for _ in range(30):
            call_all(calls)
            capsys.readouterr()
        gc.collect()
    assert [sys.getrefcount(value) for value in inputs] == references
    assert resident_bytes() - before < 4 << 20
