"""Ctrl-C stops a long run within a fraction of a second."""
import os
import signal
import subprocess
import sys
import time

from conftest import EXAMPLES

CHILD = r"""
import sys, time, ccs
ion = ccs.read(sys.argv[1])[0]
def started(done, total, said=[]):
    if not said:
        said.append(print("running", flush=True))
try:
    ccs.compute(ion, "tm", orientations=100000, progress=started)  # minutes of work
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""


def test_sigint_stops_a_long_run_with_keyboard_interrupt():
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(EXAMPLES / "c60.xyz")], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=dict(os.environ, OMP_NUM_THREADS="2"))
    try:
        assert child.stdout.readline().strip() == "running", child.stderr.read()
        time.sleep(0.3)  # well inside the run: workers busy in the kernels
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
        elapsed = time.monotonic() - sent
    finally:
        child.kill()
    assert out.strip() == "interrupted", err
    assert child.returncode == 0
    assert elapsed < 1.0, f"the run went on for {elapsed:.2f} s after Ctrl-C"
