"""Every property and setting: accepted values round trip, refused ones raise with the
library's code and change nothing."""

import pytest

import orvane

# Settings without a range of their own, or that the device decides.
NOT_RANGED = {"bayer_gain_rgb", "peltier", "device_option_104", "device_on_off_105",
              "device_option_106"}


@pytest.fixture
def cam():
    with orvane.Camera(virtual=True) as c:
        yield c


def test_ranges_come_from_the_library(cam):
    info = cam.info
    assert (info.sensor_width, info.sensor_height) == (3072, 2048)
    ranges = cam.settings.ranges
    assert ranges["global_gain"] == (info.global_gain_min, info.global_gain_max)
    assert ranges["exposure_time"] == (info.exposure_min, info.exposure_max)
    assert ranges["color_gain_red"] == (info.color_gain_min, info.color_gain_max)
    assert ranges["gamma"] == (0, 200)
    assert set(ranges) == set(orvane.SETTINGS)


def test_every_ranged_setting_round_trips_and_refuses_one_step_outside(cam):
    for name, limits in cam.settings.ranges.items():
        if limits is None:
            continue
        lo, hi = limits
        for value in (lo, hi):
            cam.settings.set(name, value)
            if name == "gray_auto_one_shot":
                continue
            if name == "exposure_time" and value == hi:
                # The sensor keeps the longest exposure its frame timing allows.
                assert lo <= cam.settings.get(name) <= hi
                continue
            assert cam.settings.get(name) == value, name
        if name in ("bayer_gain_auto", "gray_auto_one_shot"):
            continue  # any value is taken as on or off
        before = cam.settings.get(name)
        for outside in (lo - 1, hi + 1):
            with pytest.raises(orvane.OrvaneError) as e:
                cam.settings.set(name, outside)
            assert e.value.code == orvane.ERR_ARGUMENT, name
            assert cam.settings.get(name) == before, name


def test_settings_by_attribute_and_as_a_dict(cam):
    cam.settings.gamma = 120
    assert cam.settings.gamma == 120
    cam.settings.bayer_gain_rgb = 0x112233
    assert (cam.settings.bayer_gain_red, cam.settings.bayer_gain_green,
            cam.settings.bayer_gain_blue) == (0x33, 0x22, 0x11)
    values = dict(cam.settings)
    assert values["gamma"] == 120 and "gray_auto_one_shot" not in values
    with pytest.raises(AttributeError):
        cam.settings.no_such_setting
    with pytest.raises(AttributeError):
        cam.settings.gray_auto_one_shot


def test_exposure_gain_and_colour_mode(cam):
    cam.exposure = 350
    assert cam.exposure == 350
    cam.exposure_seconds = 0.05
    assert cam.exposure_seconds == pytest.approx(0.05, abs=1e-4)
    assert cam.exposure == 500
    cam.gain = 200
    assert cam.gain == 200
    for bits in (8, 16, 24, 32, 48, 64):
        cam.color_mode = bits
        assert cam.color_mode == bits
    with pytest.raises(orvane.OrvaneError) as e:
        cam.color_mode = 12
    assert (e.value.code, e.value.name) == (9, "ORVANE_ERR_ARGUMENT")
    assert cam.color_mode == 64


def test_window_mirrors_and_wait_time(cam):
    assert cam.window == (0, 0, 3072, 2048)
    cam.window = (0, 0, 3072, 2048)
    with pytest.raises(orvane.OrvaneError) as e:
        cam.window = (0, 0, 1024, 2048)  # this sensor takes stored presets only
    assert e.value.code == orvane.ERR_ARGUMENT
    with pytest.raises(orvane.OrvaneError) as e:
        cam.window = (8, 0, 3072, 2048)
    assert e.value.code == orvane.ERR_WINDOW_RANGE
    with pytest.raises(orvane.OrvaneError) as e:
        cam.use_preset(800, 600)
    assert e.value.code == orvane.ERR_WINDOW
    for attr in ("mirror_h", "mirror_v"):
        setattr(cam, attr, True)
        assert getattr(cam, attr) is True
        setattr(cam, attr, False)
        assert getattr(cam, attr) is False
    cam.wait_time = 0
    assert cam.wait_time == 0
    with pytest.raises(orvane.OrvaneError):
        cam.wait_time = -1
    assert cam.wait_time == 0


def test_registers_io_port_and_configuration_memory(cam):
    cam.fpga[0x20] = 0x5A
    assert cam.fpga[0x20] == 0x5A
    cam.sensor[0x3008] = 0x12
    assert cam.sensor[0x3008] == 0x12
    cam.io_port = 0x3C
    assert cam.io_port == 0x3C
    cam.memory[0x010] = 0x77
    assert cam.memory[0x010] == 0x77


def test_unsupported_features_raise_code_eleven(cam):
    with pytest.raises(orvane.OrvaneError) as e:
        cam.temperature
    assert e.value.code == orvane.ERR_UNSUPPORTED


def test_error_texts_are_the_headers():
    import pathlib
    import re

    header = pathlib.Path(__file__).resolve().parents[2] / "include" / "OrvaneSdk.h"
    found = {}
    for m in re.finditer(r"#define (ORVANE_ERR_\w+) (\d+)[ \t]*(?:/\*\s*(.*?)\s*\*/)?",
                         header.read_text()):
        found[int(m.group(2))] = (m.group(1), m.group(3) or "no error")
    assert found == orvane.ERRORS
