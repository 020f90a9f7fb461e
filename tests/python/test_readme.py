"""Every Python snippet of README.md runs as written, in order, in one namespace."""

import importlib.util
import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[2] / "README.md"


def test_readme_python_snippets_run():
    snippets = re.findall(r"```python\n(.*?)```", README.read_text(), flags=re.S)
    assert len(snippets) >= 5
    namespace = {}
    ran = 0
    for snippet in snippets:
        if "import emcee" in snippet and importlib.util.find_spec("emcee") is None:
            continue  # emcee comes with a fresh bootstrap (scripts/bootstrap-python)
        exec(compile(snippet, str(README), "exec"), namespace)
        ran += 1
    assert ran >= len(snippets) - 1
    assert namespace["A"].max() == pytest.approx(196.0, abs=0.05)  # the value the Quick start quotes
