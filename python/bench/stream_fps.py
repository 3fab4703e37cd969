#!/usr/bin/env python3
"""Frames per second through cam.stream() into NumPy against the C callback preview.

Both run in this process, in alternating rounds, on a virtual camera at the fast pace,
3072 x 2048, colour mode 24 (by default). The C side is the library's callback preview
with the application buffer, its frames counted from the message window by a minimal
loop; when orvane-cli is found its stream command is measured too, as a C consumer.

    python3 python/bench/stream_fps.py [--seconds 5] [--rounds 2] [--mode 24]
"""

import argparse
import ctypes
import os
import re
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import orvane  # noqa: E402
from orvane import _lib  # noqa: E402


def c_callback_fps(seconds, bits):
    """The library's callback preview into an application buffer, frames counted in C
    terms: one GetMessage per frame and nothing else."""
    lib = _lib.lib()
    window = _lib.MessageWindow()
    handle = lib.Orvane_Initialize(None)
    try:
        assert lib.Orvane_SetColorMode(handle, bits) == 1
        layout = orvane.Layout(lib.Orvane_Width(handle), lib.Orvane_Height(handle), bits)
        buffer = (ctypes.c_ubyte * layout.nbytes)()
        assert lib.Orvane_CallBackPreview(handle, window.hwnd, buffer, layout.nbytes, 1) == 1
        frames, start = 0, None
        msg = _lib.Message()
        while True:
            if lib.Orvane_GetMessage(window.hwnd, ctypes.byref(msg), 1000) != 1:
                continue
            if msg.message != _lib.WM_FRAME or msg.lParam != 0:
                continue
            now = time.monotonic()
            if start is None:
                start = now  # count from the first frame, as the Python side does
                continue
            frames += 1
            if now - start >= seconds:
                return frames / (now - start)
    finally:
        lib.Orvane_StopPreview(handle)
        lib.Orvane_Release(handle)
        window.close()


def python_stream_fps(seconds, bits):
    with orvane.Camera() as cam:
        cam.color_mode = bits
        frames, start, checksum = 0, None, 0
        with cam.stream(queue_size=4) as stream:
            for frame in stream:
                a = frame.array  # a NumPy array (height, width, 3)
                checksum += int(a[0, 0, 0])  # touch it as a consumer would
                if start is None:
                    start = frame.timestamp
                    continue
                frames += 1
                if frame.timestamp - start >= seconds:
                    return frames / (frame.timestamp - start), stream.dropped


def cli_fps(seconds, bits):
    cli = Path(__file__).resolve().parents[2] / "build" / "tools" / "orvane-cli"
    if not cli.exists():
        return None
    out = subprocess.run([str(cli), "--virtual=" + os.environ["ORVANE_VIRTUAL_CAMERAS"],
                          "stream", "--mode", str(bits), "--seconds", str(seconds)],
                         capture_output=True, text=True, check=True).stdout
    m = re.search(r"\(([\d.]+) per second\)", out)
    return float(m.group(1)) if m else None


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--seconds", type=float, default=5.0)
    p.add_argument("--rounds", type=int, default=2)
    p.add_argument("--mode", type=int, default=24)
    p.add_argument("--cameras", default="30f0:pace=fast:scene=chart")
    a = p.parse_args()
    orvane.use_virtual(a.cameras)
    c_rates, py_rates, cli_rates, dropped = [], [], [], 0
    for r in range(a.rounds):
        c_rates.append(c_callback_fps(a.seconds, a.mode))
        rate, d = python_stream_fps(a.seconds, a.mode)
        py_rates.append(rate)
        dropped += d
        cli = cli_fps(a.seconds, a.mode)
        if cli is not None:
            cli_rates.append(cli)
        print(f"round {r + 1}: C callback preview {c_rates[-1]:.2f} fps, "
              f"cam.stream() {py_rates[-1]:.2f} fps"
              + (f", orvane-cli stream {cli:.2f} fps" if cli is not None else ""))
    c, py = sum(c_rates) / len(c_rates), sum(py_rates) / len(py_rates)
    print(f"3072 x 2048 colour {a.mode}: C {c:.2f} fps, Python {py:.2f} fps "
          f"({100 * py / c:.0f} % of C), {dropped} frames dropped in Python")
    if cli_rates:
        cl = sum(cli_rates) / len(cli_rates)
        print(f"orvane-cli stream (a C consumer): {cl:.2f} fps; Python is {100 * py / cl:.0f} %")


if __name__ == "__main__":
    main()
