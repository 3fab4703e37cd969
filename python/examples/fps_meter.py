#!/usr/bin/env python3
"""Prints the frame rate reaching Python, the camera's own rate and the dropped frames,
once a second.

    python3 python/examples/fps_meter.py [--virtual] [--seconds 10] [--mode 24]
"""

import argparse
import time

import orvane


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--virtual", nargs="?", const=True, default=None)
    p.add_argument("--device", type=int, default=0)
    p.add_argument("--mode", type=int, default=24, choices=sorted(orvane.COLOR_MODES))
    p.add_argument("--seconds", type=float, default=10.0)
    a = p.parse_args()
    with orvane.Camera(a.device, virtual=a.virtual) as cam:
        cam.color_mode = a.mode
        print(f"{cam.name}: {cam.width} x {cam.height}, {a.mode} bits")
        start = last = time.monotonic()
        frames = 0
        with cam.stream() as stream:
            for frame in stream:
                frames += 1
                t = frame.timestamp
                if t - last >= 1.0 or t - start >= a.seconds:
                    print(f"{frames / (t - start):6.1f} fps in Python, camera "
                          f"{frame.frame_rate:5.1f} fps, {stream.dropped} dropped")
                    last = t
                if t - start >= a.seconds:
                    break


if __name__ == "__main__":
    main()
