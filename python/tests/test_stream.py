"""Streaming: frames in order, drops counted, the preview stopped on leaving the loop."""

import time

import numpy as np
import pytest

import orvane
from conftest import small_camera

RAMP = "30f0:pace=fast:scene=ramp"


def test_frames_arrive_in_order_without_drops_when_the_consumer_keeps_up():
    with small_camera(RAMP, width=320, height=240) as cam:
        cam.color_mode = 8
        # The camera runs at the fast pace. The library starts on the next image after its
        # wait time, so that is the reader's slack; a long one keeps a heavily loaded test
        # machine from making the reader late.
        cam.wait_time = 200
        stream = cam.stream(count=20, queue_size=8, timeout=20)
        frames = [(f.number, f.timestamp, f.array.shape) for f in stream]
        assert stream.dropped == 0
    assert [n for n, _, _ in frames] == list(range(20))
    times = [t for _, t, _ in frames]
    assert times == sorted(times)
    assert all(shape == (240, 320) for _, _, shape in frames)


def test_a_slow_consumer_has_frames_dropped_and_counted():
    with small_camera(RAMP, width=320, height=240) as cam:
        cam.color_mode = 8
        cam.wait_time = 0
        got = []
        with cam.stream(queue_size=2, timeout=20) as stream:
            for frame in stream:
                got.append(frame.number)
                time.sleep(0.15)
                if len(got) == 5:
                    break
            dropped = stream.dropped
    assert dropped > 0
    assert got == sorted(got) and len(set(got)) == 5
    assert got[-1] - got[0] + 1 > 5, "the gaps are the dropped frames"


def test_leaving_the_loop_stops_the_preview():
    with small_camera(RAMP, width=320, height=240) as cam:
        for frame in cam.stream():
            assert frame.array.shape == (240, 320, 3)
            assert frame.frame_rate >= 0
            break
        cam.snapshot()  # refused while a preview runs
        with pytest.raises(orvane.OrvaneError):
            with cam.stream() as stream:
                stream.next()
                raise orvane.OrvaneError(9, "user")
        cam.snapshot()


def test_frames_are_numpy_arrays_that_stay_valid():
    # Buffers are recycled only when nobody holds the frame any more.
    with small_camera(RAMP, width=320, height=240) as cam:
        cam.color_mode = 8
        kept = [f for f in cam.stream(count=12, queue_size=4, timeout=20)]
    copies = [f.array.copy() for f in kept]
    for f, c in zip(kept, copies):
        assert np.array_equal(np.asarray(f), c)
    assert len({id(f.array.base) for f in kept}) == len(kept), \
        "no buffer was reused under a kept frame"


def test_buffers_are_recycled_once_frames_are_let_go():
    with small_camera(RAMP, width=320, height=240) as cam:
        cam.color_mode = 8
        cam.wait_time = 20
        bases = set()
        for frame in cam.stream(count=30, queue_size=2, timeout=20):
            bases.add(id(frame.array.base))
            del frame
    assert len(bases) <= 2 + 2 + 1, "a small pool serves the whole stream"
