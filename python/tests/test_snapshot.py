"""Snapshots as NumPy arrays, compared with what Orvane_SnapShot itself delivers."""

import ctypes

import numpy as np
import pytest

import orvane
from conftest import small_camera

MODES = {8: (1, np.uint8), 16: (1, np.uint16), 24: (3, np.uint8), 32: (4, np.uint8),
         48: (3, np.uint16), 64: (4, np.uint16)}


def c_snapshot(clib, handle, width, height, bits):
    """The image as the C interface delivers it: padded rows, top row first."""
    stride = (width * bits // 8 + 3) // 4 * 4
    buffer = (ctypes.c_ubyte * (stride * height))()
    assert clib.Orvane_SnapShot(handle, buffer, len(buffer), 1) == 1
    raw = np.frombuffer(buffer, dtype=np.uint8).reshape(height, stride)
    channels, dtype = MODES[bits]
    row = raw[:, :width * bits // 8].copy().view(dtype)  # little-endian samples
    return row.reshape(height, width, channels) if channels > 1 else row


# A fixed scene (identical in every frame) with stuck pixels that mark places.
SCENE = "30f0:pace=fast:scene=sites:40/90/200:hot=40:dead=40"


@pytest.mark.parametrize("bits", sorted(MODES))
def test_snapshot_equals_the_c_buffer_sample_for_sample(clib, bits):
    with small_camera(SCENE, width=324, height=60) as cam:
        cam.color_mode = bits
        image = cam.snapshot()
        reference = c_snapshot(clib, cam.handle, 324, 60, bits)
    channels, dtype = MODES[bits]
    assert image.dtype == dtype
    assert image.shape == ((60, 324) if channels == 1 else (60, 324, channels))
    assert np.array_equal(image, reference)


def test_a_full_frame_snapshot_equals_the_c_buffer(clib):
    with orvane.Camera(virtual=SCENE) as cam:
        image = cam.snapshot()
        reference = c_snapshot(clib, cam.handle, 3072, 2048, 24)
    assert image.shape == (2048, 3072, 3)
    assert np.array_equal(image, reference)


def test_the_snapshot_is_not_copied_unless_asked():
    with small_camera(SCENE, width=324, height=60) as cam:
        cam.color_mode = 24
        view = cam.snapshot()
        assert view.strides == (972, 3, 1) and view.base is not None
        assert view.base.nbytes == 972 * 60, "the array is the memory the library filled"
        copy = cam.snapshot(copy=True)
        assert copy.flags.c_contiguous and copy.flags.owndata
        assert np.array_equal(view, copy)


@pytest.mark.parametrize("bits", [8, 16, 24, 48])
def test_padded_rows_are_skipped_by_the_view(bits):
    # This sensor's windows never need padding (widths come in fours), but the library's
    # layout allows it; the view must step over it. Memory filled as the library would.
    layout = orvane.Layout(width=7, height=3, bits=bits)
    channels, dtype = MODES[bits]
    row_bytes = 7 * bits // 8
    assert layout.stride == (row_bytes + 3) // 4 * 4 > row_bytes
    samples = np.arange(3 * 7 * channels, dtype=dtype).reshape(3, 7 * channels)
    memory = np.full(layout.nbytes, 0xEE, np.uint8)
    for y in range(3):
        memory[y * layout.stride:y * layout.stride + row_bytes] = samples[y].view(np.uint8)
    view = layout.view(memory)
    assert view.base is memory and view.shape == layout.shape
    assert np.array_equal(view.reshape(3, -1), samples)


def test_a_window_the_sensor_would_widen_is_refused():
    with small_camera(SCENE, width=322, height=60) as cam:
        cam.color_mode = 16
        with pytest.raises(orvane.OrvaneError) as e:
            cam.snapshot()
        assert e.value.code == orvane.ERR_WINDOW_RANGE


def test_snapshot_fills_a_callers_array():
    with small_camera(SCENE, width=320, height=60) as cam:
        cam.color_mode = 48
        out = np.zeros((60, 320, 3), np.uint16)
        assert cam.snapshot(out=out) is out
        assert np.array_equal(out, cam.snapshot())
        wide = np.zeros((60, 324, 3), np.uint16)[:, :320]  # a strided destination
        assert cam.snapshot(out=wide) is wide
        assert np.array_equal(wide, out)
        with pytest.raises(ValueError):
            cam.snapshot(out=np.zeros((60, 320, 3), np.uint8))


def test_rows_come_top_first():
    # In the ramp scene sample (x, y) of frame n is (x + 2y + n) mod 256.
    with small_camera("30f0:pace=fast:scene=ramp", width=320, height=100) as cam:
        cam.color_mode = 8
        image = cam.snapshot().astype(int)
    y, x = np.mgrid[0:100, 0:320]
    offset = (image - x - 2 * y) % 256
    # Hot-pixel suppression touches the samples beside the ramp's wrap from 255 to 0.
    same = offset == np.bincount(offset.ravel()).argmax()
    assert same.mean() > 0.95


def test_snapshot_while_streaming_is_refused():
    with orvane.Camera(virtual=True) as cam:
        with cam.stream() as stream:
            stream.next()
            with pytest.raises(orvane.OrvaneError) as e:
                cam.snapshot()
            assert e.value.code == orvane.ERR_STATE
