"""The Python demos, shortened: lamina_demo.py relaxes the sheet, checks the
mask and draws its picture; lamina_swing.py lets a sheet fall and draws its
frames."""

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_demo_relaxes_the_sheet_and_draws_it(tmp_path):
    png = tmp_path / "demo.png"
    done = subprocess.run([sys.executable, str(ROOT / "examples" / "lamina_demo.py"), "--iterations", "8",
                           "--png", str(png)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert done.returncode == 0, done.stdout
    assert "energy fell from" in done.stdout and "hinge_mask:" in done.stdout, done.stdout
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_swing_demo_falls_and_draws_its_frames(tmp_path):
    png = tmp_path / "swing.png"
    done = subprocess.run([sys.executable, str(ROOT / "examples" / "lamina_swing.py"), "--steps", "12",
                           "--png", str(png)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert done.returncode == 0, done.stdout
    last = done.stdout.splitlines()[-2].split()
    assert last[0] == "12" and float(last[3]) < -0.2, done.stdout  # the free corners fell
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
