"""Each module's docstring is its help file with a Python example that runs."""
import doctest

import orbitkit


def test_help_examples_run_as_doctests():
    result = doctest.testmod(orbitkit, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert result.failed == 0
    assert result.attempted >= 3 * len(orbitkit.__all__[1:])
    for name in orbitkit.__all__[1:]:
        assert getattr(orbitkit, name).__doc__.startswith(name.upper() + "  ")
