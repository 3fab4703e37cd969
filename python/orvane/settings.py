"""Image and camera settings by name, over the library's filter identifiers."""

from __future__ import annotations

from ctypes import byref, c_int

# name: (identifier, range). A range of "session" values is the fixed one the library
# accepts; "gain", "color_gain" and "exposure" take the device's limits from the camera
# information record; None means the library checks nothing or the device decides.
SETTINGS = {
    "brightness": (1, (-255, 255)),
    "contrast": (2, (-127, 127)),
    "hue": (3, (-360, 360)),
    "saturation": (4, (-255, 255)),
    "sharpness": (5, (0, 30)),
    "bayer_gain_rgb": (6, None),  # red in bits 0-7, green 8-15, blue 16-23
    "bayer_gain_red": (7, (0, 400)),
    "bayer_gain_green": (8, (0, 400)),
    "bayer_gain_blue": (9, (0, 400)),
    "bayer_gain_auto": (10, (0, 1)),
    "gamma": (11, (0, 200)),
    "bayer_mode": (12, (0, 3)),
    "global_gain": (13, "gain"),
    "color_gain_red": (14, "color_gain"),
    "color_gain_green1": (15, "color_gain"),
    "color_gain_green2": (16, "color_gain"),
    "color_gain_blue": (17, "color_gain"),
    "exposure_time": (18, "exposure"),
    "gray_mode": (19, (0, 2)),
    "gray_gain_r": (20, (0, 255)),
    "gray_gain_g1": (21, (0, 255)),
    "gray_gain_g2": (22, (0, 255)),
    "gray_gain_b": (23, (0, 255)),
    "gray_offset_r": (24, (-255, 255)),
    "gray_offset_g1": (25, (-255, 255)),
    "gray_offset_g2": (26, (-255, 255)),
    "gray_offset_b": (27, (-255, 255)),
    "gray_auto_one_shot": (28, (0, 1)),  # write only: starts one gray auto-gain measurement
    "peltier": (100, None),
    "dot_filter": (102, (0, 1)),
    "mask_filter": (103, (0, 1)),
    "device_option_104": (104, None),
    "device_on_off_105": (105, None),
    "device_option_106": (106, None),
}

WRITE_ONLY = {"gray_auto_one_shot"}


class Settings:
    """Every image and camera setting of a :class:`~orvane.Camera` as an attribute.

    ``cam.settings.gamma = 120`` sets a value, ``cam.settings.gamma`` reads it, and a
    value the library refuses raises :class:`~orvane.OrvaneError` (code 9 for out of
    range). ``cam.settings.ranges`` maps each name to its accepted ``(min, max)``, or
    ``None`` where the library checks nothing or the device decides; ``dict(cam.settings)``
    reads every readable setting.
    """

    __slots__ = ("_cam",)

    def __init__(self, camera):
        object.__setattr__(self, "_cam", camera)

    @staticmethod
    def names():
        return list(SETTINGS)

    @property
    def ranges(self):
        info = self._cam.info
        device = {
            "gain": (info.global_gain_min, info.global_gain_max),
            "color_gain": (info.color_gain_min, info.color_gain_max),
            "exposure": (info.exposure_min, info.exposure_max),
        }
        return {name: device.get(r, r) if isinstance(r, str) else r
                for name, (_, r) in SETTINGS.items()}

    def _id(self, name):
        try:
            return SETTINGS[name][0]
        except KeyError:
            raise AttributeError(f"no setting named {name!r}") from None

    def get(self, name):
        if name in WRITE_ONLY:
            raise AttributeError(f"{name} can only be set")
        ident = self._id(name)
        cam = self._cam
        ok = c_int(0)
        value = cam._lib.Orvane_GetFilterValue(cam._handle_or_raise(), ident, byref(ok))
        cam._check(ok.value, f"get {name}")
        return value

    def set(self, name, value):
        ident = self._id(name)
        cam = self._cam
        cam._check(cam._lib.Orvane_SetFilterValue(cam._handle_or_raise(), ident, int(value)),
                   f"set {name}")

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        return self.get(name)

    def __setattr__(self, name, value):
        self.set(name, value)

    def __dir__(self):
        return sorted(set(SETTINGS) | {"ranges", "names", "get", "set"})

    def __iter__(self):
        for name in SETTINGS:
            if name in WRITE_ONLY:
                continue
            try:
                yield name, self.get(name)
            except Exception:  # a device without the option
                continue

    def __repr__(self):
        return f"Settings({dict(self)!r})"
