"""Loading the camera library and declaring the C functions the package calls.

The library is looked for, in this order:

1. ``ORVANE_LIBRARY``: the path of ``libOrvaneSdk_A06_USB3_Q7.so`` or of the directory
   holding it;
2. beside this package (a copy placed in the ``orvane`` folder);
3. the build tree of a source checkout (``build/`` next to ``python/``), so the package
   runs from the tree after ``scripts/orvane test``;
4. the system's dynamic loader (an installed library, e.g. under ``/usr/local/lib``).

Every function is bound through :class:`ctypes.CDLL`, which releases the GIL for the
duration of each call, so a snapshot or a wait for a frame never blocks other Python
threads.
"""

from __future__ import annotations

import ctypes
import os
import threading
from ctypes import (POINTER, Structure, c_char, c_char_p, c_double, c_int, c_size_t,
                    c_ssize_t, c_ubyte, c_uint, c_ulong, c_void_p)
from pathlib import Path

LIBRARY_NAME = "libOrvaneSdk_A06_USB3_Q7.so"

# Window messages.
WM_FRAME = 0x8002
WM_ERROR = 0x8003
WM_DEVICECHANGE = 0x0219


class CameraInfoRecord(Structure):
    _fields_ = [
        ("size", c_int),
        ("sensorWidth", c_int),
        ("sensorHeight", c_int),
        ("globalGainMin", c_int),
        ("globalGainMax", c_int),
        ("colorGainMin", c_int),
        ("colorGainMax", c_int),
        ("exposureMin", c_int),
        ("exposureMax", c_int),
        ("reserved", c_int),
        ("exposureSecondsMin", c_double),
        ("exposureSecondsMax", c_double),
    ]


class FrameInfoRecord(Structure):
    _fields_ = [
        ("reserved", c_int),
        ("width", c_int),
        ("height", c_int),
        ("bitsPerPixel", c_int),
        ("frameRate", c_int),
        ("buffer", c_void_p),
    ]


class Message(Structure):
    _fields_ = [("message", c_uint), ("wParam", c_size_t), ("lParam", c_ssize_t)]


HANDLE = c_uint
HWND = c_void_p
INT_P = POINTER(c_int)
NAMES = (c_char * 256) * 10

# name: (result type, argument types). The handle comes first unless noted.
_PROTOTYPES = {
    "Orvane_Initialize": (HANDLE, [HWND]),
    "Orvane_Release": (c_int, [HANDLE]),
    "Orvane_GetDllVersion": (c_uint, []),
    "Orvane_GetLastError": (c_int, [HANDLE]),
    "Orvane_GetCameraInfo": (c_int, [HANDLE, POINTER(CameraInfoRecord)]),
    "Orvane_EnumDevice": (c_int, [HANDLE, POINTER(NAMES)]),
    "Orvane_SetDeviceNumber": (c_int, [HANDLE, c_int]),
    "Orvane_GetDeviceName": (c_int, [HANDLE, c_int, c_char_p, c_int]),
    "Orvane_CallBackPreview": (c_int, [HANDLE, HWND, c_void_p, c_int, c_int]),
    "Orvane_StartPreview": (c_int, [HANDLE]),
    "Orvane_StopPreview": (c_int, [HANDLE]),
    "Orvane_Close": (c_int, [HANDLE]),
    "Orvane_SnapShot": (c_int, [HANDLE, c_void_p, c_int, c_int]),
    "Orvane_GetImage": (c_int, [HANDLE, c_void_p, c_int, c_int]),
    "Orvane_SetWaitTime": (c_int, [HANDLE, c_int]),
    "Orvane_GetWaitTime": (c_int, [HANDLE]),
    "Orvane_SaveImage": (c_int, [HANDLE, c_char_p, c_int]),
    "Orvane_Record": (c_int, [HANDLE, c_char_p, c_int, c_int]),
    "Orvane_SetCaptureWindow": (c_int, [HANDLE, c_int, c_int]),
    "Orvane_SetCaptureWindowEx": (c_int, [HANDLE] + [c_int] * 6),
    "Orvane_GetCaptureWindowEx": (c_int, [HANDLE] + [INT_P] * 6),
    "Orvane_Width": (c_int, [HANDLE]),
    "Orvane_Height": (c_int, [HANDLE]),
    "Orvane_SetColorMode": (c_int, [HANDLE, c_int]),
    "Orvane_GetColorMode": (c_int, [HANDLE]),
    "Orvane_SetMirrorH": (c_int, [HANDLE, c_int]),
    "Orvane_SetMirrorV": (c_int, [HANDLE, c_int]),
    "Orvane_GetMirrorH": (c_int, [HANDLE]),
    "Orvane_GetMirrorV": (c_int, [HANDLE]),
    "Orvane_SetFilterValue": (c_int, [HANDLE, c_int, c_int]),
    "Orvane_GetFilterValue": (c_int, [HANDLE, c_int, INT_P]),
    "Orvane_SetExposureTimeEx": (c_int, [HANDLE, c_double]),
    "Orvane_GetExposureTimeEx": (c_double, [HANDLE, INT_P]),
    "Orvane_SetAutoIris": (c_int, [HANDLE, c_int]),
    "Orvane_GetAutoIris": (c_int, [HANDLE, INT_P]),
    "Orvane_GetTemperatureEx": (c_double, [HANDLE, INT_P]),
    "Orvane_Fpga_ReadRegister": (c_int, [HANDLE, c_int, INT_P]),
    "Orvane_Fpga_WriteRegister": (c_int, [HANDLE, c_int, c_int]),
    "Orvane_ReadRegisterEx": (c_int, [HANDLE, c_int, INT_P]),
    "Orvane_WriteRegisterEx": (c_int, [HANDLE, c_int, c_int]),
    "Orvane_ReadSromID": (c_int, [HANDLE, c_int, INT_P]),
    "Orvane_WriteSromID": (c_int, [HANDLE, c_int, c_int]),
    "Orvane_GetIOPort": (c_int, [HANDLE, POINTER(c_ubyte)]),
    "Orvane_SetIOPort": (c_int, [HANDLE, c_ubyte]),
    "Orvane_LoadConfigFileA": (c_int, [HANDLE, c_char_p]),
    "Orvane_LoadMaskFile": (c_int, [HANDLE, c_char_p]),
    "Orvane_SaveMaskFile": (c_int, [HANDLE, c_char_p]),
    "Orvane_UpdateMaskData": (c_int, [HANDLE, c_int]),
    "Orvane_Trigger": (c_int, [HANDLE]),
    "Orvane_CreateMessageWindow": (HWND, [c_ulong]),
    "Orvane_DestroyMessageWindow": (c_int, [HWND]),
    "Orvane_GetMessage": (c_int, [HWND, POINTER(Message), c_int]),
    "Orvane_GetMessageFd": (c_int, [HWND]),
}


def _candidates():
    env = os.environ.get("ORVANE_LIBRARY")
    if env:
        p = Path(env)
        yield p / LIBRARY_NAME if p.is_dir() else p
        return
    here = Path(__file__).resolve().parent
    yield here / LIBRARY_NAME
    yield here.parent.parent / "build" / LIBRARY_NAME
    yield Path(LIBRARY_NAME + ".1")  # the dynamic loader's search path


_lock = threading.Lock()
_lib = None  # guarded by _lock


def library_path() -> str:
    """The file the package loads (or would load) the camera library from."""
    for candidate in _candidates():
        if candidate.is_absolute():
            if candidate.exists():
                return str(candidate)
        else:
            return str(candidate)
    return LIBRARY_NAME


def lib() -> ctypes.CDLL:
    """The loaded camera library, with every prototype declared (loaded on first use)."""
    global _lib
    with _lock:
        if _lib is None:
            path = library_path()
            try:
                loaded = ctypes.CDLL(path)
            except OSError as e:
                raise OSError(
                    f"cannot load the camera library ({path}): {e}. Build it with "
                    "'scripts/orvane test', install it, or set ORVANE_LIBRARY to its path."
                ) from e
            for name, (restype, argtypes) in _PROTOTYPES.items():
                fn = getattr(loaded, name)
                fn.restype = restype
                fn.argtypes = argtypes
            _lib = loaded
        return _lib


class MessageWindow:
    """A library message window: messages posted to it queue until read."""

    def __init__(self):
        self._hwnd = lib().Orvane_CreateMessageWindow(0)
        if not self._hwnd:
            raise OSError("cannot create a message window")

    @property
    def hwnd(self):
        return self._hwnd

    def get(self, timeout_ms: int):
        """The next message, or None after timeout_ms (0: only what is waiting)."""
        if not self._hwnd:
            return None
        m = Message()
        if lib().Orvane_GetMessage(self._hwnd, ctypes.byref(m), int(timeout_ms)) != 1:
            return None
        return m

    def close(self):
        if self._hwnd:
            lib().Orvane_DestroyMessageWindow(self._hwnd)
            self._hwnd = None

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass
