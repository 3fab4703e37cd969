#!/usr/bin/env python3
"""Takes one frame and writes it as a PNG file (through Pillow, from the NumPy array).

    python3 python/examples/snapshot_png.py [--virtual] [-o snapshot.png]
"""

import argparse

from PIL import Image

import orvane


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--virtual", nargs="?", const=True, default=None,
                   help="use virtual cameras (optionally a camera list, e.g. 30f0:scene=chart)")
    p.add_argument("--device", type=int, default=0)
    p.add_argument("--exposure", type=int, help="exposure in 0.1 ms")
    p.add_argument("-o", "--output", default="snapshot.png")
    a = p.parse_args()
    with orvane.Camera(a.device, virtual=a.virtual) as cam:
        cam.color_mode = 24
        if a.exposure is not None:
            cam.exposure = a.exposure
        image = cam.snapshot()
    Image.fromarray(orvane.to_rgb(image)).save(a.output)
    print(f"{a.output}: {image.shape[1]} x {image.shape[0]}")


if __name__ == "__main__":
    main()
