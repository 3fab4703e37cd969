#!/usr/bin/env python3
"""A live picture in an OpenCV window (Debian: python3-opencv). Keys: q quits,
+ and - change the exposure, s saves the frame shown.

    python3 python/examples/live_opencv.py [--virtual]
"""

import argparse

import cv2

import orvane


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--virtual", nargs="?", const="30f0:scene=chart", default=None)
    p.add_argument("--device", type=int, default=0)
    p.add_argument("--scale", type=float, default=0.3, help="window size against the frame")
    a = p.parse_args()
    with orvane.Camera(a.device, virtual=a.virtual) as cam:
        cam.color_mode = 24  # blue-green-red, as OpenCV wants it
        saved = 0
        stream = cam.stream(queue_size=2)
        for frame in stream:
            shown = cv2.resize(frame.array, None, fx=a.scale, fy=a.scale,
                               interpolation=cv2.INTER_AREA)
            text = (f"{frame.frame_rate:.1f} fps  exposure {cam.exposure / 10:.1f} ms  "
                    f"dropped {stream.dropped}")
            cv2.putText(shown, text, (10, 25), cv2.FONT_HERSHEY_SIMPLEX, 0.6, (0, 255, 0), 1)
            cv2.imshow("orvane", shown)
            key = cv2.waitKey(1) & 0xFF
            if key == ord("q") or cv2.getWindowProperty("orvane", cv2.WND_PROP_VISIBLE) < 1:
                break
            if key in (ord("+"), ord("-")):
                lo, hi = cam.settings.ranges["exposure_time"]
                step = 1.25 if key == ord("+") else 0.8
                cam.exposure = min(hi, max(lo, int(cam.exposure * step) or 1))
            if key == ord("s"):
                saved += 1
                cv2.imwrite(f"frame-{saved:03d}.png", frame.array)
    cv2.destroyAllWindows()


if __name__ == "__main__":
    main()
