"""The Python demo, shortened: it relaxes the sheet, checks the mask and
draws its picture."""

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
