"""Saving images, recording, and the mask, read back independently."""

import numpy as np
import pytest
from PIL import Image

import orvane
from conftest import small_camera

SCENE = "30f0:pace=fast:scene=sites:40/90/200:hot=40:dead=40"


@pytest.mark.parametrize("ext,lossless", [(".bmp", True), (".png", True), (".tiff", True),
                                          (".jpg", False)])
def test_saving_in_every_image_format_reads_back_with_pillow(tmp_path, ext, lossless):
    with small_camera(SCENE, width=320, height=60) as cam:
        image = cam.snapshot()
        path = cam.save(tmp_path / f"frame{ext}")
    with Image.open(path) as f:
        assert f.size == (320, 60)
        pixels = np.asarray(f.convert("RGB"))
    expected = orvane.to_rgb(image)
    if lossless:
        assert np.array_equal(pixels, expected)
    else:
        assert np.abs(pixels.astype(int) - expected).mean() < 8


def test_jpeg_qualities_and_raw(tmp_path):
    with small_camera(SCENE, width=320, height=60) as cam:
        cam.color_mode = 8
        image = cam.snapshot(copy=True)
        sizes = {}
        for fmt in ("jpeg100", "jpeg70", "jpeg20"):
            path = cam.save(tmp_path / f"{fmt}.jpg", format=fmt)
            with Image.open(path) as f:
                assert f.size == (320, 60) and f.mode == "L"
            sizes[fmt] = path.stat().st_size
        raw = cam.save(tmp_path / "frame.raw")
    assert sizes["jpeg100"] >= sizes["jpeg70"] >= sizes["jpeg20"]
    data = Image.frombytes("L", (320, 60), raw.read_bytes())
    assert np.array_equal(np.asarray(data), image)


def test_save_takes_a_frame_when_there_is_none_and_refuses_unknown_formats(tmp_path):
    with orvane.Camera(virtual=SCENE) as cam:
        path = cam.save(tmp_path / "first.png")
        assert Image.open(path).size == (3072, 2048)
        with pytest.raises(ValueError):
            cam.save(tmp_path / "frame.xyz")
        with pytest.raises(orvane.OrvaneError):
            cam.save(tmp_path / "no-such-dir" / "frame.png")


def test_record_writes_a_complete_avi(tmp_path):
    with small_camera(SCENE, width=320, height=240) as cam:
        cam.color_mode = 24
        path = cam.record(tmp_path / "clip.avi", seconds=0.5)
    data = path.read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"AVI "
    assert b"idx1" in data, "the file was completed with its index"


def test_mask_update_save_and_load(tmp_path):
    with small_camera(SCENE, width=320, height=240) as cam:
        cam.mask.update("dark")
        cam.mask.update("bright")
        path = tmp_path / "mask.msk"
        cam.mask.save(path)
        assert path.read_bytes().startswith(b"KELMOR MASK1000")
        cam.mask.load(path)
        cam.mask.enabled = True
        assert cam.mask.enabled
        cam.snapshot()
        bad = tmp_path / "bad.msk"
        bad.write_bytes(b"not a mask")
        with pytest.raises(orvane.OrvaneError) as e:
            cam.mask.load(bad)
        assert e.value.code == orvane.ERR_MASK_FILE
        with pytest.raises(ValueError):
            cam.mask.update("grey")
