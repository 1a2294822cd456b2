"""Shared fixtures: the source tree, the ccs program of the same build, and
runs of the program with JSON output."""
import json
import os
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("CCS_SOURCE_DIR", Path(__file__).resolve().parents[2]))
EXAMPLES = SOURCE / "examples"


@pytest.fixture(scope="session")
def program():
    """Runs the ccs program with `args` and returns its parsed JSON output."""
    binary = os.environ.get("CCS_BINARY", str(SOURCE / "build" / "src" / "cli" / "ccs"))

    def run(*args):
        out = subprocess.run([binary, "--json", "--quiet", *map(str, args)], capture_output=True, text=True,
                             timeout=120)
        assert out.returncode == 0, out.stderr
        return json.loads(out.stdout)

    return run
