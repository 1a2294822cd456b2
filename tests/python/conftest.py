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
        # Status 1 with no errors: some rows are marked as not a result (too few
        # samples for a meaningful mean), and their numbers are still there.
        assert out.returncode in (0, 1), out.stderr
        parsed = json.loads(out.stdout)
        assert out.returncode == 0 or not parsed["errors"], out.stderr
        return parsed

    return run
