"""The README's Python examples run as written and print what they show."""

from __future__ import annotations

import re
import subprocess
import sys
import textwrap
from pathlib import Path

README = Path(__file__).resolve().parent.parent / "README.md"
TEXT = README.read_text(encoding="utf-8")
# (line of the block's first line in README.md, counted from 0; the block)
BLOCKS = [(TEXT.count("\n", 0, m.start(1)), m.group(1))
          for m in re.finditer(r"^```python\n(.*?)^```", TEXT, re.MULTILINE | re.DOTALL)]

# Run in a fresh interpreter (the examples save entries into the store) with
# a temp dir as the working directory (they write files).
RUNNER = textwrap.dedent("""
    import doctest, json, sys
    blocks = json.loads(sys.stdin.read())
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    globs = {}
    for line, block in blocks:
        runner.run(parser.get_doctest(block, globs, f"README block at line {line + 1}", "README.md", line))
    sys.exit(1 if runner.summarize(verbose=False).failed else 0)
""")


def test_every_python_block_is_a_doctest() -> None:
    assert len(BLOCKS) >= 4
    for _, block in BLOCKS:
        assert block.startswith(">>> "), block  # a block of plain code would run unchecked


def test_readme_examples(tmp_path) -> None:
    import json

    proc = subprocess.run([sys.executable, "-c", RUNNER], input=json.dumps(BLOCKS), cwd=tmp_path,
                          capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert (tmp_path / "steel.vtk").is_file()
