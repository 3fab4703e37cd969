#!/usr/bin/env python3
"""Independent decoders for the output tests.

Usage: decode.py KIND FILE
  pillow  decode with Pillow (BMP, PNG, JPEG, PNM)
  png     decode with the small PNG reader below (keeps 16-bit samples)
  tiff    decode with the small TIFF reader below (one uncompressed strip)

Prints one line "WIDTH HEIGHT CHANNELS EXTRA" (EXTRA: bit depth, or the Pillow mode), then
every sample as a decimal number, top row first, channels in red-green-blue(-alpha) order.
"""
import struct
import sys
import zlib


def emit(width, height, channels, extra, samples):
    out = [f"{width} {height} {channels} {extra}"]
    out.append(" ".join(str(int(v)) for v in samples))
    sys.stdout.write("\n".join(out) + "\n")


def decode_pillow(path):
    import numpy as np
    from PIL import Image

    with Image.open(path) as im:
        mode = im.mode
        if mode == "P":
            im = im.convert("RGB")
        arr = np.asarray(im)
    channels = 1 if arr.ndim == 2 else arr.shape[2]
    emit(arr.shape[1], arr.shape[0], channels, mode.replace(" ", "_"), arr.reshape(-1))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def decode_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("not a PNG")
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, ctype, _, _, interlace = ihdr
    if interlace != 0:
        raise SystemExit("interlaced PNG not handled")
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[ctype]
    bpp = channels * depth // 8
    stride = width * bpp
    raw = zlib.decompress(idat)
    prev = bytearray(stride)
    samples = []
    for y in range(height):
        start = y * (stride + 1)
        ftype = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ftype == 4:
                line[i] = (line[i] + paeth(a, b, c)) & 255
        if depth == 16:
            samples.extend(struct.unpack(f">{stride // 2}H", bytes(line)))
        else:
            samples.extend(line)
        prev = line
    emit(width, height, channels, depth, samples)


def decode_tiff(path):
    data = open(path, "rb").read()
    order = {b"II": "<", b"MM": ">"}[data[:2]]
    (magic, ifd) = struct.unpack(order + "HI", data[2:8])
    if magic != 42:
        raise SystemExit("not a classic TIFF")
    (count,) = struct.unpack(order + "H", data[ifd:ifd + 2])
    sizes = {3: 2, 4: 4}
    tags = {}
    for i in range(count):
        tag, ftype, n, value = struct.unpack(order + "HHI4s", data[ifd + 2 + 12 * i:ifd + 14 + 12 * i])
        size = sizes.get(ftype, 1)
        raw = value if n * size <= 4 else data[struct.unpack(order + "I", value)[0]:][:n * size]
        fmt = {2: "H", 4: "I"}.get(size, "B")
        tags[tag] = list(struct.unpack(order + fmt * n, raw[:n * size]))
    width, height = tags[256][0], tags[257][0]
    bps = tags[258][0]
    spp = tags.get(277, [1])[0]
    if tags.get(259, [1])[0] != 1 or len(tags[273]) != 1:
        raise SystemExit("expected one uncompressed strip")
    offset, nbytes = tags[273][0], tags[279][0]
    if nbytes != width * height * spp * bps // 8:
        raise SystemExit(f"strip holds {nbytes} bytes, expected packed rows")
    strip = data[offset:offset + nbytes]
    if bps == 16:
        samples = struct.unpack(order + f"{nbytes // 2}H", strip)
    else:
        samples = strip
    emit(width, height, spp, bps, samples)


def main():
    kind, path = sys.argv[1], sys.argv[2]
    {"pillow": decode_pillow, "png": decode_png, "tiff": decode_tiff}[kind](path)


if __name__ == "__main__":
    main()
