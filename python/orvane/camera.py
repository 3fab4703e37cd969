"""Cameras: listing them and one open camera session."""

from __future__ import annotations

import os
import threading
import time
from collections import namedtuple
from ctypes import byref, c_int, c_ubyte, create_string_buffer
from pathlib import Path

import numpy as np

from . import _lib
from .errors import OrvaneError
from .frames import COLOR_MODES, Layout
from .settings import Settings

DEFAULT_VIRTUAL = "30f0:pace=fast"

FORMATS = {"bmp": 0, "raw": 1, "jpeg": 2, "jpeg100": 2, "jpeg70": 3, "jpeg20": 4,
           "png": 5, "tiff": 6}
_EXTENSIONS = {".bmp": "bmp", ".raw": "raw", ".jpg": "jpeg", ".jpeg": "jpeg", ".png": "png",
               ".tif": "tiff", ".tiff": "tiff"}

CameraEntry = namedtuple("CameraEntry", "index name")
CameraInfo = namedtuple(
    "CameraInfo",
    "sensor_width sensor_height global_gain_min global_gain_max color_gain_min "
    "color_gain_max exposure_min exposure_max exposure_seconds_min exposure_seconds_max")


def use_virtual(virtual) -> None:
    """Selects virtual cameras as orvane-cli's ``--virtual`` does.

    ``True`` gives one fast virtual camera, a string is a camera list in the syntax of
    ``ORVANE_VIRTUAL_CAMERAS`` (``"30f0:scene=chart"``, ``"2"``), ``False`` switches back
    to real cameras and ``None`` leaves the choice as it is. The library reads the choice
    when no session is open, so change it before opening cameras.
    """
    if virtual is None:
        return
    if virtual is False:
        os.environ.pop("ORVANE_VIRTUAL_CAMERAS", None)
    else:
        os.environ["ORVANE_VIRTUAL_CAMERAS"] = DEFAULT_VIRTUAL if virtual is True else str(virtual)


def cameras(virtual=None):
    """The attached cameras as a list of ``(index, name)`` entries.

    ``virtual`` selects virtual cameras (see :func:`use_virtual`).
    """
    use_virtual(virtual)
    lib = _lib.lib()
    handle = lib.Orvane_Initialize(None)
    if handle == 0:
        raise OrvaneError(5, "initialize")
    try:
        names = _lib.NAMES()
        count = lib.Orvane_EnumDevice(handle, byref(names))
        return [CameraEntry(i, names[i].value.decode("utf-8", "replace")) for i in range(count)]
    finally:
        lib.Orvane_Release(handle)


class _Registers:
    """Register access by index: ``regs[address]`` reads, ``regs[address] = value`` writes."""

    def __init__(self, camera, what, read, write):
        self._cam, self._what, self._read, self._write = camera, what, read, write

    def __getitem__(self, address):
        ok = c_int(0)
        value = self._read(self._cam._handle_or_raise(), int(address), byref(ok))
        self._cam._check(ok.value, f"read {self._what} 0x{int(address):x}")
        return value

    def __setitem__(self, address, value):
        self._cam._check(self._write(self._cam._handle_or_raise(), int(address), int(value)),
                         f"write {self._what} 0x{int(address):x}")


class _Mask:
    """The flat-field and defect mask of a camera."""

    def __init__(self, camera):
        self._cam = camera

    def update(self, reference):
        """Takes the ``"dark"`` or ``"bright"`` reference from a new frame (or, while
        streaming, from the newest one)."""
        modes = {"dark": 0, "bright": 1}
        if reference not in modes:
            raise ValueError("reference must be 'dark' or 'bright'")
        cam = self._cam
        if cam._stream is None:
            cam.snapshot()
        cam._check(cam._lib.Orvane_UpdateMaskData(cam._handle_or_raise(), modes[reference]),
                   f"mask update {reference}")

    def save(self, path):
        cam = self._cam
        cam._check(cam._lib.Orvane_SaveMaskFile(cam._handle_or_raise(), os.fsencode(path)),
                   f"save mask {path}")

    def load(self, path):
        cam = self._cam
        cam._check(cam._lib.Orvane_LoadMaskFile(cam._handle_or_raise(), os.fsencode(path)),
                   f"load mask {path}")

    @property
    def enabled(self) -> bool:
        """Whether the mask filter corrects frames."""
        return bool(self._cam.settings.mask_filter)

    @enabled.setter
    def enabled(self, on):
        self._cam.settings.mask_filter = 1 if on else 0


class Camera:
    """One camera session; use it as a context manager so the handle is released.

    ``index`` picks the camera (see :func:`cameras`), ``virtual`` selects virtual cameras
    as :func:`use_virtual` does. Device messages (the library's error notifications) that
    arrive outside a failing call, such as a failed frame delivery while streaming, are
    raised as :class:`~orvane.OrvaneError` by the next call, or, when ``on_message`` is a
    callable, passed to it as an ``OrvaneError`` instead (from the thread that makes the
    next call, or the stream's reader thread).

    Every method may be called from any thread; one camera is used by one thread at a
    time in the usual case, and two cameras can stream from two threads at once.
    """

    def __init__(self, index: int = 0, virtual=None, on_message=None):
        use_virtual(virtual)
        self._lib = _lib.lib()
        self._on_message = on_message
        self._stream = None
        self._no_seconds = False  # the device keeps no exposure time in seconds
        self._lock = threading.RLock()  # guards the reads of _window, _pending, _echoes
        self._pending = []  # device messages not yet passed on; guarded by _lock
        self._echoes = {}  # code: messages a stream has reported already; guarded by _lock
        self._window = _lib.MessageWindow()
        self._handle = self._lib.Orvane_Initialize(self._window.hwnd)
        if self._handle == 0:
            self._window.close()
            raise OrvaneError(5, "initialize")
        self.index = int(index)
        try:
            self._check(self._lib.Orvane_SetDeviceNumber(self._handle, self.index),
                        f"open camera {self.index}")
        except BaseException:
            self.close()
            raise
        self.settings = Settings(self)
        self.fpga = _Registers(self, "FPGA register", self._lib.Orvane_Fpga_ReadRegister,
                               self._lib.Orvane_Fpga_WriteRegister)
        self.sensor = _Registers(self, "sensor register", self._lib.Orvane_ReadRegisterEx,
                                 self._lib.Orvane_WriteRegisterEx)
        self.memory = _Registers(self, "configuration memory", self._lib.Orvane_ReadSromID,
                                 self._lib.Orvane_WriteSromID)
        self.mask = _Mask(self)

    # ---- lifecycle ------------------------------------------------------------------

    def close(self) -> None:
        """Stops any stream and releases the camera; further calls raise OrvaneError."""
        stream = self._stream
        if stream is not None:
            stream.close()
        handle, self._handle = getattr(self, "_handle", 0), 0
        if handle:
            self._lib.Orvane_Release(handle)
        window = getattr(self, "_window", None)
        if window is not None:
            window.close()

    @property
    def closed(self) -> bool:
        return not self._handle

    @property
    def handle(self) -> int:
        """The library handle, for calls through ctypes that the package does not wrap."""
        return self._handle

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    def __repr__(self):
        state = "closed" if self.closed else f"{self.width}x{self.height}, {self.color_mode} bits"
        return f"<orvane.Camera {self.index} ({state})>"

    # ---- errors and device messages -----------------------------------------------------

    def _handle_or_raise(self) -> int:
        if not self._handle:
            raise OrvaneError(1, "camera is closed")
        return self._handle

    def _drain(self):
        """Error codes of the device messages not yet passed on, oldest first.

        Codes a stream has already reported from its own window are left out once each,
        so one failure is never reported twice."""
        codes, self._pending = self._pending, []
        while True:
            m = self._window.get(0)
            if m is None:
                return codes
            if m.message != _lib.WM_ERROR or m.lParam == 0:
                continue
            code = int(m.lParam)
            if self._echoes.get(code, 0) > 0:
                self._echoes[code] -= 1
            else:
                codes.append(code)

    def _expect_echo(self, code):
        with self._lock:
            self._echoes[code] = self._echoes.get(code, 0) + 1

    def _deliver(self, codes):
        for i, code in enumerate(codes):
            error = OrvaneError(code, "device message", asynchronous=True)
            if self._on_message is None:
                self._pending = codes[i + 1:] + self._pending
                raise error
            self._on_message(error)

    def _check(self, ok, operation: str) -> None:
        """Raises for a failed call (ok == 0) with the library's reason; otherwise passes
        on device messages that arrived since the last call."""
        with self._lock:
            codes = self._drain()
            if ok:
                self._deliver(codes)
                return
            code = self._lib.Orvane_GetLastError(self._handle) if self._handle else 1
            # Every recorded failure is also posted, and some are only posted: the newest
            # message is this failure's. Older ones are passed on by the next call.
            if codes:
                code = codes.pop()
            self._pending = codes + self._pending
            raise OrvaneError(code, operation)

    def poll_messages(self) -> None:
        """Raises (or passes to ``on_message``) device messages that are waiting."""
        self._check(1, "poll")

    # ---- information ----------------------------------------------------------------

    @property
    def info(self) -> CameraInfo:
        """Sensor size and the device's gain and exposure limits."""
        rec = _lib.CameraInfoRecord()
        rec.size = 56
        self._check(self._lib.Orvane_GetCameraInfo(self._handle_or_raise(), byref(rec)),
                    "camera info")
        return CameraInfo(rec.sensorWidth, rec.sensorHeight, rec.globalGainMin,
                          rec.globalGainMax, rec.colorGainMin, rec.colorGainMax, rec.exposureMin,
                          rec.exposureMax, rec.exposureSecondsMin, rec.exposureSecondsMax)

    @property
    def name(self) -> str:
        text = create_string_buffer(256)
        self._check(self._lib.Orvane_GetDeviceName(self._handle_or_raise(), self.index, text,
                                                   256), "device name")
        return text.value.decode("utf-8", "replace")

    @property
    def width(self) -> int:
        return self._lib.Orvane_Width(self._handle_or_raise())

    @property
    def height(self) -> int:
        return self._lib.Orvane_Height(self._handle_or_raise())

    @property
    def temperature(self) -> float:
        """The sensor temperature in degrees (OrvaneError code 11 without a sensor)."""
        ok = c_int(0)
        value = self._lib.Orvane_GetTemperatureEx(self._handle_or_raise(), byref(ok))
        self._check(ok.value, "temperature")
        return value

    # ---- exposure, gain, format -------------------------------------------------------

    @property
    def exposure(self) -> int:
        """Exposure time in units of 0.1 ms (the exposure count)."""
        return self.settings.exposure_time

    @exposure.setter
    def exposure(self, count):
        self.settings.exposure_time = count

    def _in_seconds(self, call, operation: str):
        """Runs ``call``, an export on the device's exposure time in seconds that returns its
        result flag and a value, unless the device is known to keep no such time. ``(True,
        value)`` on success; ``(False, None)`` when the device keeps none (error code 11,
        remembered for later calls), and the caller then uses the exposure count."""
        if self._no_seconds:
            return False, None
        ok, value = call()
        try:
            self._check(ok, operation)
        except OrvaneError as e:
            if e.code != 11:
                raise
            self._no_seconds = True
            return False, None
        return True, value

    @property
    def exposure_seconds(self) -> float:
        """Exposure time in seconds: the device's own value where it keeps one, else the
        exposure count converted (0.1 ms steps)."""
        def get():
            ok = c_int(0)
            value = self._lib.Orvane_GetExposureTimeEx(self._handle_or_raise(), byref(ok))
            return ok.value, value

        done, value = self._in_seconds(get, "get exposure in seconds")
        return value if done else self.exposure / 10000.0

    @exposure_seconds.setter
    def exposure_seconds(self, seconds):
        def set_():
            handle = self._handle_or_raise()
            return self._lib.Orvane_SetExposureTimeEx(handle, float(seconds)), None

        done, _ = self._in_seconds(set_, f"set exposure {seconds} s")
        if not done:
            self.exposure = int(round(float(seconds) * 10000))

    @property
    def gain(self) -> int:
        """Global analog gain in sensor register units (also sets the four colour gains)."""
        return self.settings.global_gain

    @gain.setter
    def gain(self, value):
        self.settings.global_gain = value

    @property
    def auto_iris(self) -> str:
        """Automatic exposure or gain: ``"off"``, ``"exposure"`` or ``"gain"``."""
        ok = c_int(0)
        mode = self._lib.Orvane_GetAutoIris(self._handle_or_raise(), byref(ok))
        self._check(ok.value, "get auto iris")
        return ("off", "exposure", "gain")[mode] if 0 <= mode <= 2 else str(mode)

    @auto_iris.setter
    def auto_iris(self, mode):
        modes = {"off": 0, "exposure": 1, "gain": 2}
        if isinstance(mode, str) and mode not in modes:
            raise ValueError("auto_iris must be 'off', 'exposure', 'gain' or 0 to 2")
        value = modes[mode] if isinstance(mode, str) else int(mode)
        self._check(self._lib.Orvane_SetAutoIris(self._handle_or_raise(), value),
                    f"set auto iris {mode}")

    @property
    def color_mode(self) -> int:
        """Bits per pixel: 8 or 16 (monochrome), 24, 32, 48 or 64 (blue-green-red)."""
        return self._lib.Orvane_GetColorMode(self._handle_or_raise())

    @color_mode.setter
    def color_mode(self, bits):
        self._check(self._lib.Orvane_SetColorMode(self._handle_or_raise(), int(bits)),
                    f"set colour mode {bits}")

    @property
    def window(self):
        """Capture window ``(x, y, width, height)`` on the sensor.

        Setting it sends the window to the camera; this camera accepts the full sensor
        only (other sizes come from stored presets, see :meth:`use_preset`).
        """
        v = [c_int(0) for _ in range(6)]
        self._lib.Orvane_GetCaptureWindowEx(self._handle_or_raise(), *[byref(x) for x in v])
        _, x, w, _, y, h = (x.value for x in v)
        return (x, y, w, h)

    @window.setter
    def window(self, rect):
        x, y, w, h = (int(v) for v in rect)
        info = self.info
        self._check(self._lib.Orvane_SetCaptureWindowEx(self._handle_or_raise(),
                                                        info.sensor_width, x, w,
                                                        info.sensor_height, y, h),
                    f"set capture window {rect}")

    def use_preset(self, width: int, height: int) -> None:
        """Selects the stored capture-window preset of this size."""
        self._check(self._lib.Orvane_SetCaptureWindow(self._handle_or_raise(), int(width),
                                                      int(height)),
                    f"capture window preset {width}x{height}")

    @property
    def mirror_h(self) -> bool:
        return bool(self._lib.Orvane_GetMirrorH(self._handle_or_raise()))

    @mirror_h.setter
    def mirror_h(self, on):
        self._check(self._lib.Orvane_SetMirrorH(self._handle_or_raise(), 1 if on else 0),
                    "set horizontal mirror")

    @property
    def mirror_v(self) -> bool:
        return bool(self._lib.Orvane_GetMirrorV(self._handle_or_raise()))

    @mirror_v.setter
    def mirror_v(self, on):
        self._check(self._lib.Orvane_SetMirrorV(self._handle_or_raise(), 1 if on else 0),
                    "set vertical mirror")

    @property
    def wait_time(self) -> int:
        """Milliseconds the preview thread rests before waiting for each frame."""
        return self._lib.Orvane_GetWaitTime(self._handle_or_raise())

    @wait_time.setter
    def wait_time(self, ms):
        self._check(self._lib.Orvane_SetWaitTime(self._handle_or_raise(), int(ms)),
                    f"set wait time {ms}")

    @property
    def io_port(self) -> int:
        """The camera's digital I/O port (one byte)."""
        value = c_ubyte(0)
        self._check(self._lib.Orvane_GetIOPort(self._handle_or_raise(), byref(value)),
                    "read I/O port")
        return value.value

    @io_port.setter
    def io_port(self, value):
        self._check(self._lib.Orvane_SetIOPort(self._handle_or_raise(), int(value) & 0xFF),
                    "write I/O port")

    def load_config(self, path) -> None:
        """Applies a configuration file of 8-byte records."""
        self._check(self._lib.Orvane_LoadConfigFileA(self._handle_or_raise(),
                                                     os.fsencode(path)), f"load config {path}")

    # ---- images -----------------------------------------------------------------------

    def layout(self) -> Layout:
        """Size and memory layout of the images the current settings give."""
        bits = self.color_mode
        if bits not in COLOR_MODES:
            raise OrvaneError(9, f"colour mode {bits}")
        return Layout(self.width, self.height, bits)

    def snapshot(self, copy: bool = False, out: np.ndarray | None = None) -> np.ndarray:
        """Takes one frame and returns it as a NumPy array.

        The array is shaped ``(height, width)`` for 8 and 16 bits, ``(height, width, 3)``
        for 24 and 48, ``(height, width, 4)`` for 32 and 64, of ``uint8`` or ``uint16``,
        top row first, channels blue-green-red. It is a strided view onto the library's
        padded rows (nothing copied) unless ``copy=True``, which returns a compact
        C-contiguous copy. ``out`` is filled in place instead (and returned); it must
        have the shape and type above, and when its rows match the library's it receives
        the frame directly.

        Not possible while streaming (OrvaneError code 1): use the stream's frames.
        """
        layout = self.layout()
        if out is not None:
            if not layout.matches(out):
                raise ValueError(f"out must be {layout.dtype} shaped {layout.shape}, "
                                 f"not {out.dtype} {out.shape}")
            if layout.is_library_layout(out):
                self._snap_into(out.ctypes.data, layout.nbytes)
                return out
            memory = layout.allocate()
            self._snap_into(memory.ctypes.data, layout.nbytes)
            np.copyto(out, layout.view(memory))
            return out
        memory = layout.allocate()
        self._snap_into(memory.ctypes.data, layout.nbytes)
        image = layout.view(memory)
        return image.copy() if copy else image

    def _snap_into(self, address, size):
        self._check(self._lib.Orvane_SnapShot(self._handle_or_raise(), address, size, 1),
                    "snapshot")

    def stream(self, queue_size: int = 4, count: int | None = None, timeout: float = 5.0):
        """Streams frames from the callback preview; see :class:`orvane.Stream`."""
        from .stream import Stream
        return Stream(self, queue_size=queue_size, count=count, timeout=timeout)

    def save(self, path, format: str | None = None) -> Path:
        """Saves the newest processed frame (taking a snapshot first when there is none).

        ``format`` is one of ``bmp``, ``raw``, ``jpeg`` (``jpeg100``), ``jpeg70``,
        ``jpeg20``, ``png``, ``tiff``; by default it follows the file extension.
        """
        path = Path(path)
        if format is None:
            format = _EXTENSIONS.get(path.suffix.lower())
            if format is None:
                raise ValueError(f"cannot tell the image format from {path.name!r}; "
                                 "give format=")
        if format not in FORMATS:
            raise ValueError(f"unknown image format {format!r}; one of {sorted(FORMATS)}")
        handle = self._handle_or_raise()
        if not self._lib.Orvane_SaveImage(handle, os.fsencode(path), FORMATS[format]):
            code = self._lib.Orvane_GetLastError(handle)
            with self._lock:
                self._drain()
            if code != 1 or self._stream is not None:
                raise OrvaneError(code, f"save {path}")
            self.snapshot()  # no frame processed yet
            self._check(self._lib.Orvane_SaveImage(handle, os.fsencode(path), FORMATS[format]),
                        f"save {path}")
        else:
            self._check(1, "save")
        return path

    def record(self, path, seconds: float, show_window: bool = False) -> Path:
        """Records an AVI file of ``seconds`` length; returns when the file is complete."""
        if self._stream is not None:
            raise OrvaneError(1, "record while streaming")
        path = Path(path)
        handle = self._handle_or_raise()
        self._check(self._lib.Orvane_Record(handle, os.fsencode(path), int(seconds * 1000),
                                            1 if show_window else 0), f"record {path}")
        try:
            # The recorder completes the file itself with the first frame after the end;
            # allow it a moment before the preview is ended.
            time.sleep(max(0.0, float(seconds)) + 0.25)
        finally:
            # Ending the preview completes the file with what was recorded.
            self._check(self._lib.Orvane_StopPreview(handle), "stop recording")
        return path
