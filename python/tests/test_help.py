"""Each function's docstring: numpydoc sections made from its module's help
file, naming every parameter, result and refusal, with an example that runs."""
import doctest
import itertools
import inspect
import re
from pathlib import Path

import numpy as np
import pytest

import orbitkit
from shared_calls import data_files, make_calls

FUNCTIONS = {name: getattr(orbitkit, name) for name in orbitkit.__all__
             if inspect.isfunction(getattr(orbitkit, name))}
NUMPYDOC_ORDER = ["Parameters", "Returns", "Raises", "See Also", "Examples"]


def sections(doc):
    """The docstring's sections by heading, in order, each as its lines."""
    lines = doc.splitlines()
    heads = [k for k in range(len(lines) - 1) if lines[k] and lines[k + 1] == "-" * len(lines[k])]
    return {lines[h]: lines[h + 2:end] for h, end in zip(heads, heads[1:] + [len(lines)])}


def items(section):
    """A section's "name : type" lines by name, a group such as "h0, h1, h2"
    under each of its names."""
    return {name: line for line in section if re.match(r"\w[\w, ]* : ", line)
            for name in line.split(" : ")[0].split(", ")}


def refusal_messages(doc):
    """The message column of the Raises table, run together on one line."""
    table = [line[8:] for line in sections(doc)["Raises"] if line.startswith(" " * 8)]
    column = min(line.index('"') for line in table if '"' in line)
    return " ".join(" ".join(line[column:] for line in table).split())


def test_examples_run_as_doctests():
    result = doctest.testmod(orbitkit, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert result.failed == 0
    assert result.attempted >= 3 * len(FUNCTIONS)


def test_sections_come_in_order_and_name_every_parameter_with_its_default():
    for name, function in FUNCTIONS.items():
        summary, blank = function.__doc__.splitlines()[:2]
        assert summary.endswith(".") and not blank, name
        doc = sections(function.__doc__)
        assert list(doc) == [title for title in NUMPYDOC_ORDER if title in doc], name
        assert {"Parameters", "Returns", "Raises", "Examples"} <= set(doc), name
        assert {"orbitkit.Error", "TypeError"} <= set(doc["Raises"]), name
        parameters = inspect.signature(function).parameters.values()
        documented = items(doc["Parameters"])
        assert list(documented) == [parameter.name for parameter in parameters], name
        for parameter in parameters:
            if parameter.default is not parameter.empty:
                assert documented[parameter.name].endswith(f", default {parameter.default!r}")


def neighbour_calls(valid):
    """Calls of the modules the shared calls leave out, valid or refused."""
    points = orbitkit.foldmap(300, [-1.4, 0.3, 0, 0])
    if valid:
        return [("neardist", [points, 3]), ("corrsum", [points, [0.1, 0.2]]),
                ("embeddim", [points[:, 0], 3]), ("lyapcurve", [points, 5]),
                ("permen", [points[:, 0], 4]), ("dfa", [points[:, 0], [10, 100]]),
                ("rqa", [points, 0.1]),
                ("sampen", [points[:, 0]]), ("apen", [points[:, 0]]),
                ("simplex", [points[:, 0], 2]), ("smap", [points[:, 0], 2]),
                ("crossmap", [points[:, 0], points[:, 1], 2, 1, [10, 100]])]
    return [("neardist", [points, 0]), ("neardist", [points, 3, 0, [400]]),
            ("corrsum", [points, [np.nan]]), ("corrsum", [points, 1, 2.5]),
            ("embeddim", [points[:, 0], 3, 1, 0, 0]), ("embeddim", [points[:, 0], 290, 1, 10]),
            ("lyapcurve", [points, 300]), ("lyapcurve", [points, 5, 1, 0, None, 3]),
            ("permen", [points[:, 0], 11]), ("permen", [points[:, 0], 3, 0]),
            ("dfa", [points[:, 0], [2, 10]]), ("dfa", [points[:, 0], 10, 1, np.inf]),
            ("rqa", [points, -1]), ("rqa", [points, 0.1, 1, 0]),
            ("sampen", [points[:, 0], 2, -1]), ("sampen", [points[:, 0], 2, 1, 1, 0, 200]),
            ("apen", [points[:, 0], 0]), ("apen", [points[:, 0], 2, 1, 300]),
            ("simplex", [points[:, 0], 2, 1, 1, 0, [0]]), ("simplex", [points[:, 0], 2, 1, 1, 300]),
            ("smap", [points[:, 0], 2, 1, 1, -1.0]),
            ("crossmap", [points[:, 0], points[:, 1], 2, 1, [3]])]


def test_returns_name_the_fields_of_what_each_call_gives(tmp_path):
    called = set()
    for name, inputs in make_calls(data_files(tmp_path), valid=2, hostile=0) + neighbour_calls(1):
        try:
            result = FUNCTIONS[name](*inputs)
        except orbitkit.Error:  # textmatrix given a missing file or a folder
            continue
        documented = list(items(sections(FUNCTIONS[name].__doc__)["Returns"]))
        if isinstance(result, tuple):
            assert documented == list(result._fields), name
        else:
            assert len(documented) == 1, name
        called.add(name)
    assert called == set(FUNCTIONS)


@pytest.mark.filterwarnings("ignore:Values exceed threshold:RuntimeWarning")
def test_raises_lists_the_messages_python_callers_meet(tmp_path):
    refused_modules = set()
    for name, inputs in make_calls(data_files(tmp_path), valid=0, hostile=14) + neighbour_calls(0):
        try:
            FUNCTIONS[name](*inputs)
        except orbitkit.Error as refused:
            # Numbers in a message are the call's own; the rest is documented.
            words = max(re.split(r"\d+", " ".join(str(refused).split())), key=len)
            assert words in refusal_messages(FUNCTIONS[name].__doc__), (name, str(refused))
            refused_modules.add(name)
        except TypeError:  # an input missing or extra
            pass
    assert refused_modules == set(FUNCTIONS)
    # A wrong number of inputs never reaches a module: its signature refuses it.
    assert "X and k must be given" not in FUNCTIONS["neardist"].__doc__
    assert "must be given" not in refusal_messages(FUNCTIONS["twistgen"].__doc__)


def test_the_top_says_which_parameter_each_letter_of_the_prose_is():
    pair = re.compile(r"(\w+(?: and \w+)*) (?:is|are) `(\w+)`( \(rows from 0\))?")
    listed = {}
    for name, function in FUNCTIONS.items():
        lines = function.__doc__.split("\n\n")
        here = [k for k, paragraph in enumerate(lines) if paragraph.startswith("Here ")]
        assert here in ([], [1]), name  # once, at the top, if at all
        prose = "\n\n".join(lines[2 if here else 1:])
        parameters = inspect.signature(function).parameters
        pairs = pair.findall(" ".join(lines[1].split())) if here else []
        for letters, python, rows in pairs:
            assert python in parameters, (name, python)
            parameter_lines = sections(function.__doc__)["Parameters"]
            first = next(k for k, line in enumerate(parameter_lines)  # also "a, b : int"
                         if python in line.split(" : ")[0].split(", "))
            entry = [parameter_lines[first]] + list(
                itertools.takewhile(lambda line: line.startswith(" "), parameter_lines[first + 1:]))
            assert bool(rows) == ("rows count from 0" in " ".join(entry)), (name, python)
            for letter in letters.split(" and "):
                assert letter != python and re.search(rf"\b{letter}\b", prose), (name, letter)
                listed[name, letter] = python
        # Each one-letter input name of the help that the prose uses is listed.
        help_file = (Path(orbitkit.__file__).parent / "help" / f"{name}.m").read_text()
        for letter, python in re.findall(r"^%   ([A-Z]) \(Python: (\w+)\)  ", help_file, re.M):
            if python in parameters and re.search(rf"(?<![\w.']){letter}(?![\w'])", prose):
                assert listed.get((name, letter)) == python, (name, letter)
    # The help's own names for lyapcurve's inputs, as its prose uses them.
    assert FUNCTIONS["lyapcurve"].__doc__.split("\n\n")[1].replace("\n", " ") == (
        "Here X is `points`, K is `steps`, W is `w`, R is `refs` (rows from 0), P is `p`.")
    assert listed[("smoothwin", "L")] == listed[("smoothwin", "W")] == "window"
