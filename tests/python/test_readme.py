"""The README's Python example runs as shown."""
import re
import subprocess
import sys

from conftest import SOURCE


def test_readme_example_runs(tmp_path):
    text = (SOURCE / "README.md").read_text(encoding="utf-8")
    example = re.search(r"## Python\n\n```python\n(.*?)```", text, re.S).group(1)
    assert len(example.strip().splitlines()) == 5
    (tmp_path / "examples").symlink_to(SOURCE / "examples")
    run = subprocess.run([sys.executable, "-c", example], cwd=tmp_path, capture_output=True, text=True,
                         timeout=300)
    assert run.returncode == 0, run.stderr
    assert re.fullmatch(r"\d+\.\d ± \d+\.\d Å², K0 = \d\.\d{3} cm²/\(V·s\)\n", run.stdout), run.stdout
    assert (tmp_path / "convergence.png").stat().st_size > 10000
