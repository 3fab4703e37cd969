"""Listing cameras, opening and releasing them, and how failures reach Python."""

import threading

import pytest

import orvane


def test_listing_none_one_and_two_virtual_cameras():
    assert orvane.cameras(virtual="0") == []
    one = orvane.cameras(virtual=True)
    assert [c.index for c in one] == [0]
    assert one[0].name == "OrvaneA06-USB3-Q7_01"
    two = orvane.cameras(virtual="30f0:pace=fast,30f0:pace=fast:scene=ramp")
    assert [c.index for c in two] == [0, 1]
    assert two[0].name != two[1].name


def test_opening_a_missing_camera_raises_with_the_code_of_the_library():
    with pytest.raises(orvane.OrvaneError) as e:
        orvane.Camera(3, virtual=True)
    assert e.value.code == orvane.ERR_NO_CAMERA == 2
    assert e.value.name == "ORVANE_ERR_NO_CAMERA"
    assert "camera not present" in e.value.text
    assert "open camera 3" in str(e.value)


def test_the_context_manager_releases_the_handle_also_after_an_exception(clib):
    with pytest.raises(RuntimeError):
        with orvane.Camera(virtual=True) as cam:
            handle = cam.handle
            assert clib.Orvane_GetColorMode(handle) == 24
            raise RuntimeError("user code failed")
    assert cam.closed
    assert clib.Orvane_GetColorMode(handle) == -1, "the library no longer knows the handle"
    with pytest.raises(orvane.OrvaneError) as e:
        cam.exposure
    assert e.value.code == orvane.ERR_STATE


def test_a_closed_streaming_camera_stops_its_stream(clib):
    cam = orvane.Camera(virtual=True)
    stream = cam.stream()
    stream.next()
    cam.close()
    with pytest.raises(StopIteration):
        stream.next(timeout=1)


def test_a_failure_the_library_only_posts_is_raised_with_its_code():
    # An automatic-iris mode above 2 is refused by message alone: nothing is recorded.
    with orvane.Camera(virtual=True) as cam:
        with pytest.raises(orvane.OrvaneError) as e:
            cam.auto_iris = 3
        assert e.value.code == orvane.ERR_ARGUMENT
        cam.auto_iris = "gain"
        assert cam.auto_iris == "gain"
        cam.poll_messages()  # nothing left over


def test_device_messages_go_to_the_callback_the_user_chose():
    got = []
    with orvane.Camera(virtual="30f0:pace=fast:fail_after=3", on_message=got.append) as cam:
        frames = sum(1 for _ in cam.stream(timeout=10))  # ends when the camera fails
        assert frames <= 3
        assert [m.code for m in got] == [orvane.ERR_DELIVERY]
        assert got[0].asynchronous
        cam.poll_messages()  # the same failure is not reported twice
        assert len(got) == 1


def test_device_messages_become_exceptions_by_default():
    with orvane.Camera(virtual="30f0:pace=fast:fail_after=3") as cam:
        frames = 0
        with pytest.raises(orvane.OrvaneError) as e:
            for _ in cam.stream(timeout=10):
                frames += 1
        assert e.value.code == orvane.ERR_DELIVERY and e.value.asynchronous
        assert frames <= 3
        cam.poll_messages()  # already raised: not raised a second time


def test_two_cameras_stream_from_two_threads():
    orvane.use_virtual("30f0:pace=fast,30f0:pace=fast")
    results, errors = {}, []

    def run(index):
        try:
            with orvane.Camera(index) as cam:
                cam.color_mode = 8
                numbers = [f.number for f in cam.stream(count=15, timeout=20)]
                results[index] = numbers
        except Exception as e:  # reported below, in the test's thread
            errors.append(e)

    threads = [threading.Thread(target=run, args=(i,)) for i in (0, 1)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert not errors
    for index in (0, 1):
        assert len(results[index]) == 15
        assert results[index] == sorted(results[index])


def test_the_library_version_needs_no_camera():
    assert orvane.dll_version() == 0x01F80520
