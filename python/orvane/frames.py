"""How the library lays out an image in memory, and NumPy views onto such memory."""

from __future__ import annotations

import time
from dataclasses import dataclass

import numpy as np

# bits per pixel: (samples per pixel, sample type)
COLOR_MODES = {
    8: (1, np.uint8),
    16: (1, np.uint16),
    24: (3, np.uint8),
    32: (4, np.uint8),
    48: (3, np.uint16),
    64: (4, np.uint16),
}


@dataclass(frozen=True)
class Layout:
    """One image as the library delivers it: rows top first, each padded to 4 bytes."""

    width: int
    height: int
    bits: int

    @property
    def channels(self) -> int:
        return COLOR_MODES[self.bits][0]

    @property
    def dtype(self):
        return np.dtype(COLOR_MODES[self.bits][1])

    @property
    def stride(self) -> int:
        return (self.width * self.bits // 8 + 3) // 4 * 4

    @property
    def nbytes(self) -> int:
        return self.stride * self.height

    @property
    def shape(self):
        if self.channels == 1:
            return (self.height, self.width)
        return (self.height, self.width, self.channels)

    def allocate(self) -> np.ndarray:
        """Memory for one image in the library's layout (flat bytes)."""
        return np.empty(self.nbytes, dtype=np.uint8)

    def view(self, memory: np.ndarray) -> np.ndarray:
        """The image in ``memory`` as an array of :attr:`shape`, padding skipped (no copy)."""
        item = self.dtype.itemsize
        strides = (self.stride, self.channels * item)
        if self.channels > 1:
            strides += (item,)
        return np.ndarray(self.shape, self.dtype, memory, 0, strides)

    def matches(self, array: np.ndarray) -> bool:
        """True when ``array`` has this image's shape and type."""
        return array.shape == self.shape and array.dtype == self.dtype

    def is_library_layout(self, array: np.ndarray) -> bool:
        """True when the library can write straight into ``array``."""
        item = self.dtype.itemsize
        want = (self.stride, self.channels * item) + ((item,) if self.channels > 1 else ())
        return (self.matches(array) and array.strides == want and array.flags.writeable
                and array.flags.aligned)


@dataclass
class Frame:
    """One frame of :meth:`orvane.Camera.stream`.

    Attributes:
        array: the image, shaped and typed as :meth:`orvane.Camera.snapshot` returns it
            (blue-green-red channel order for colour).
        number: the frame's place in the stream, 0 for the first frame the camera
            delivered after the stream started; frames that were dropped leave gaps.
        timestamp: ``time.monotonic()`` when the frame reached Python.
        frame_rate: the camera's frame rate as the library measures it (frames per second).
    """

    array: np.ndarray
    number: int
    timestamp: float
    frame_rate: float

    def __array__(self, dtype=None):
        return self.array if dtype is None else self.array.astype(dtype)


def now() -> float:
    return time.monotonic()


def to_rgb(array: np.ndarray) -> np.ndarray:
    """Red-green-blue(-alpha) order for a blue-green-red(-x) image; a view for 3 channels."""
    if array.ndim != 3:
        return array
    if array.shape[2] == 3:
        return array[:, :, ::-1]
    return array[:, :, [2, 1, 0, 3]]
