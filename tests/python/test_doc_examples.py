"""The Python examples of the documentation (README.md, docs/*.md), each run
with the installed module and its claims checked: tests/docs/doc_examples.py
finds them and says how claims are written."""

import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "docs"))
import doc_examples  # noqa: E402

ERRORS = []
EXAMPLES = [ex for ex in doc_examples.examples(ROOT, ERRORS) if ex.run and ex.language == "python"]


def test_the_documentation_follows_the_convention():
    assert not ERRORS, "\n".join(ERRORS)
    assert EXAMPLES, "no Python example found: the search for them is broken"


@pytest.mark.parametrize("example", EXAMPLES, ids=[ex.where() for ex in EXAMPLES])
def test_example(example, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    doc_examples.run_python(example, ROOT)
