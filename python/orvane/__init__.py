"""Python interface to the Orvane A06 USB3 Q7 camera library, with frames as NumPy arrays.

    import orvane
    with orvane.Camera(virtual=True) as cam:      # or a real camera: orvane.Camera(0)
        cam.exposure = 200                         # 0.1 ms units; cam.exposure_seconds too
        cam.settings.gamma = 120                   # every image setting by name
        image = cam.snapshot()                     # (2048, 3072, 3) uint8, blue-green-red

See ``help(orvane.Camera)`` and ``help(orvane.Stream)``.
"""

from ._lib import library_path
from .camera import FORMATS, Camera, CameraEntry, CameraInfo, cameras, use_virtual
from .errors import CODES, ERRORS, OrvaneError
from .frames import COLOR_MODES, Frame, Layout, to_rgb
from .settings import SETTINGS, Settings
from .stream import Stream

globals().update(CODES)  # orvane.ERR_ARGUMENT == 9, ...

__version__ = "1.248.5"


def dll_version() -> int:
    """The library's version number (0x01F80520 for this release)."""
    from ._lib import lib
    return lib().Orvane_GetDllVersion()


__all__ = [
    "Camera", "CameraEntry", "CameraInfo", "COLOR_MODES", "CODES", "ERRORS", "FORMATS",
    "Frame", "Layout", "OrvaneError", "SETTINGS", "Settings", "Stream", "cameras",
    "dll_version", "library_path", "to_rgb", "use_virtual",
]
