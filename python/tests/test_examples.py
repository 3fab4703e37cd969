"""The examples run against a virtual camera (the OpenCV one is only compiled: OpenCV is
not needed to test the package)."""

import os
import py_compile
import subprocess
import sys
from pathlib import Path

from PIL import Image

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"


def run(script, *args):
    env = dict(os.environ, PYTHONPATH=str(EXAMPLES.parent))
    return subprocess.run([sys.executable, str(EXAMPLES / script), *args], env=env,
                          capture_output=True, text=True, timeout=120, check=True).stdout


def test_snapshot_example_writes_a_png(tmp_path):
    out = tmp_path / "shot.png"
    assert "3072 x 2048" in run("snapshot_png.py", "--virtual", "-o", str(out))
    with Image.open(out) as image:
        assert image.size == (3072, 2048) and image.mode == "RGB"


def test_frame_rate_meter_reports_rates():
    text = run("fps_meter.py", "--virtual", "--seconds", "1.5", "--mode", "8")
    assert "fps in Python" in text and "dropped" in text


def test_opencv_example_compiles(tmp_path):
    py_compile.compile(str(EXAMPLES / "live_opencv.py"), doraise=True,
                       cfile=str(tmp_path / "live_opencv.pyc"))
