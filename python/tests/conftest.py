"""Test isolation: every test gets its own settings directory and shared-memory name, so
tests never see each other's stored settings or device tables, even under ctest -j."""

import ctypes
import itertools
import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import orvane  # noqa: E402

_counter = itertools.count()


@pytest.fixture(autouse=True)
def isolated(tmp_path, monkeypatch):
    config = tmp_path / "config"
    config.mkdir()
    monkeypatch.setenv("XDG_CONFIG_HOME", str(config))
    monkeypatch.setenv("HOME", str(tmp_path))
    monkeypatch.setenv("ORVANE_SHM_NAME", f"/orvane-py{os.getpid()}-{next(_counter)}")
    monkeypatch.delenv("ORVANE_VIRTUAL_CAMERAS", raising=False)
    monkeypatch.delenv("DISPLAY", raising=False)  # no preview windows on a developer's screen
    yield tmp_path


@pytest.fixture
def clib():
    """The camera library bound directly, independent of the package's own bindings."""
    c = ctypes.CDLL(orvane.library_path())
    c.Orvane_Initialize.restype = ctypes.c_uint
    c.Orvane_Initialize.argtypes = [ctypes.c_void_p]
    for name in ("Orvane_Release", "Orvane_GetLastError", "Orvane_GetColorMode",
                 "Orvane_Width", "Orvane_Height"):
        getattr(c, name).argtypes = [ctypes.c_uint]
    for name in ("Orvane_SetColorMode", "Orvane_SetDeviceNumber"):
        getattr(c, name).argtypes = [ctypes.c_uint, ctypes.c_int]
    c.Orvane_SnapShot.argtypes = [ctypes.c_uint, ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    return c


def registry_file():
    return Path(os.environ["XDG_CONFIG_HOME"]) / "orvane" / "registry.reg"


def add_window_preset(number, width, height, x=0, y=0):
    """Stores a capture-window preset for camera 0, as the stream format dialog does.
    The settings file must exist already (any session writes it on first run)."""
    key = "HKEY_CURRENT_USER\\Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00"
    values = {"TH": 3072, "TV": 2048, "EH": width, "EV": height, "EHS": x, "EVS": y, "Buf": 4}
    lines = [f"\r\n[{key}\\Size_{number:02d}]"]
    lines += [f'"{k}"=dword:{v:08x}' for k, v in values.items()]
    with open(registry_file(), "ab") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode())


def small_camera(virtual, width=320, height=240, **kwargs):
    """A camera on a small capture window (fast tests)."""
    orvane.cameras(virtual=virtual)  # the first session writes the settings file
    add_window_preset(1, width, height)
    cam = orvane.Camera(**kwargs)
    cam.use_preset(width, height)
    return cam
