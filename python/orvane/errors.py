"""The library's error codes as a Python exception."""

from __future__ import annotations

# code: (name, text), as the public header defines them.
ERRORS = {
    0: ("ORVANE_ERR_NONE", "no error"),
    1: ("ORVANE_ERR_STATE", "no device object, or not possible in the current state"),
    2: ("ORVANE_ERR_NO_CAMERA", "camera not present or cannot be opened"),
    3: ("ORVANE_ERR_THREAD", "thread or event cannot be created"),
    4: ("ORVANE_ERR_WINDOW", "preview window cannot be created, or no size preset matches"),
    5: ("ORVANE_ERR_MEMORY", "memory or buffer problem"),
    6: ("ORVANE_ERR_DEVICE", "device communication failed"),
    7: ("ORVANE_ERR_WINDOW_RANGE", "capture window invalid or refused by the device"),
    8: ("ORVANE_ERR_NO_FRAME", "no frame was obtained"),
    9: ("ORVANE_ERR_ARGUMENT", "invalid argument"),
    11: ("ORVANE_ERR_UNSUPPORTED", "not supported by this camera or library"),
    12: ("ORVANE_ERR_CONVERSION", "text conversion failed, or a bad mask-update argument"),
    13: ("ORVANE_ERR_DELIVERY", "the device's frame delivery failed"),
    14: ("ORVANE_ERR_MASK_FILE", "mask file cannot be opened or has a wrong header"),
}

# Module-level names for the codes: orvane.ERR_ARGUMENT == 9, ...
CODES = {name[len("ORVANE_"):]: code for code, (name, _) in ERRORS.items()}


class OrvaneError(Exception):
    """A failure reported by the camera library.

    Attributes:
        code: the library's error code (``ORVANE_ERR_*``; 0 when the library gave none).
        name: the code's name, e.g. ``"ORVANE_ERR_ARGUMENT"``.
        text: what the code means.
        operation: what the package was doing, e.g. ``"set gamma"``.
        asynchronous: True for a device message that arrived outside any call (for
            instance a failed frame delivery while streaming).
    """

    def __init__(self, code: int, operation: str = "", asynchronous: bool = False):
        self.code = int(code)
        self.name, self.text = ERRORS.get(self.code, (f"ORVANE_ERR_{self.code}", "unknown error"))
        self.operation = operation
        self.asynchronous = asynchronous
        where = f"{operation}: " if operation else ""
        super().__init__(f"{where}{self.text} ({self.name}, code {self.code})")

    def __reduce__(self):
        return (OrvaneError, (self.code, self.operation, self.asynchronous))
