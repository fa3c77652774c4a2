"""The Python demos, shortened: lamina_demo.py relaxes the sheet, checks the
mask and draws its picture; lamina_swing.py lets a sheet fall and draws its
frames; inverse_design.py finds the rest shape that hangs as designed (in
full: it is small)."""

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


def test_inverse_design_hangs_as_designed(tmp_path):
    import importlib.util

    spec = importlib.util.spec_from_file_location("inverse_design", ROOT / "examples" / "inverse_design.py")
    demo = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(demo)
    png = tmp_path / "inverse_design.png"
    out = demo.main(["--png", str(png)])
    assert out["residual_ratio"] <= 1e-10 or out["residual"] <= 1e-12, out["residual_ratio"]
    assert out["forward_error"] < 1e-6, out["forward_error"]
    assert out["naive_sag"] > 1e3 * out["forward_error"]  # the naive design visibly sags
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
