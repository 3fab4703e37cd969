"""Frames from the library's callback preview as a Python iterator."""

from __future__ import annotations

import sys
import threading
from collections import deque
from ctypes import c_int

from . import _lib
from .errors import OrvaneError
from .frames import Frame, now


def _refs(array) -> int:
    return sys.getrefcount(array)


def _baseline() -> int:
    pool = [object()]
    for item in pool:
        return _refs(item)
    return 0


_FREE_REFS = _baseline()  # references of a pooled buffer that nobody else holds


class Stream:
    """An iterator of :class:`~orvane.Frame` objects from a running preview.

    The library announces every processed frame to a message window; a reader thread
    (which holds the GIL only between library calls) copies the frame out under the
    library's frame lock into a recycled NumPy buffer and puts it in a queue of
    ``queue_size`` frames. When the queue is full the oldest frame gives way to the new
    one; :attr:`dropped` counts the frames the consumer did not get because it was
    slow. ``count`` ends the stream after that many frames; ``timeout`` is how long
    ``next()`` waits before raising :class:`TimeoutError`.

    Frames are numbered by the library's announcements, so a gap in ``number`` is a
    frame that was dropped. The library keeps one processed image at a time and starts
    on the next one after its wait time (:attr:`Camera.wait_time`); a reader that comes
    later than that (on a heavily loaded machine) finds the next image, and the one it
    missed is counted as dropped. A longer wait time gives the reader more slack.

    Leaving a ``for`` loop over the stream (``break``, an exception, or the end) stops
    the preview, as do :meth:`close` and leaving a ``with`` block.
    """

    def __init__(self, camera, queue_size=4, count=None, timeout=5.0):
        if queue_size < 1:
            raise ValueError("queue_size must be at least 1")
        if camera._stream is not None:
            raise OrvaneError(1, "the camera is already streaming")
        self._cam = camera
        self._lib = camera._lib
        self._layout = camera.layout()
        self._queue_size = int(queue_size)
        self._count = count
        self._timeout = timeout
        self._cond = threading.Condition()
        self._queue = deque()  # guarded by _cond
        self._error = None  # guarded by _cond; raised by next() once the queue is empty
        self._ended = False  # guarded by _cond
        self._dropped = 0  # guarded by _cond
        self._announced = 0  # written by the reader thread only
        self._delivered = 0  # written by the consuming thread only
        self._running = True
        self._pool = []  # used by the reader thread only
        self._window = _lib.MessageWindow()
        handle = camera._handle_or_raise()
        camera._stream = self
        try:
            # No buffer: the frames are copied out by the reader, under the frame lock,
            # so a frame is never read while the library writes the next one.
            camera._check(self._lib.Orvane_CallBackPreview(handle, self._window.hwnd, None, 0, 1),
                          "start the stream")
        except BaseException:
            camera._stream = None
            self._window.close()
            raise
        self._thread = threading.Thread(target=self._read, name="orvane-stream", daemon=True)
        self._thread.start()

    # ---- consumer side ------------------------------------------------------------

    @property
    def dropped(self) -> int:
        """Frames the camera delivered that the consumer never got."""
        with self._cond:
            return self._dropped

    @property
    def layout(self):
        return self._layout

    def __iter__(self):
        try:
            while True:
                try:
                    yield self.next()
                except StopIteration:
                    return
        finally:
            self.close()

    def __next__(self):
        return self.next()

    def next(self, timeout=None) -> Frame:
        """The next frame; StopIteration after ``count`` frames or :meth:`close`."""
        if self._count is not None and self._delivered >= self._count:
            raise StopIteration
        timeout = self._timeout if timeout is None else timeout
        with self._cond:
            if not self._cond.wait_for(lambda: self._queue or self._error or self._ended,
                                       timeout):
                raise TimeoutError(f"no frame within {timeout} s")
            if self._queue:
                frame = self._queue.popleft()
                self._delivered += 1
                return frame
            if self._error is not None:
                error, self._error = self._error, None
                raise error
            raise StopIteration

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self) -> None:
        """Stops the preview and the reader; frames not yet taken are discarded."""
        with self._cond:
            if self._ended and not self._running:
                return
            self._running = False
        cam = self._cam
        if cam._handle:
            self._lib.Orvane_StopPreview(cam._handle)
        if self._thread is not threading.current_thread():
            self._thread.join()
        self._window.close()
        with self._cond:
            self._ended = True
            self._queue.clear()
            self._cond.notify_all()
        if cam._stream is self:
            cam._stream = None

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    # ---- reader thread ------------------------------------------------------------

    def _buffer(self):
        for memory in self._pool:
            if _refs(memory) <= _FREE_REFS:
                return memory
        memory = self._layout.allocate()
        if len(self._pool) < self._queue_size + 2:
            self._pool.append(memory)
        return memory

    def _fail(self, error):
        cam = self._cam
        if error.asynchronous:
            cam._expect_echo(error.code)  # the application window gets the same code
        if error.asynchronous and cam._on_message is not None:
            cam._on_message(error)
            return
        with self._cond:
            if self._error is None:
                self._error = error
            self._cond.notify_all()

    def _waiting(self):
        """Takes the announcements already waiting: (frames, newest record, failed)."""
        frames, info, failed = 0, None, False
        while True:
            m = self._window.get(0)
            if m is None:
                return frames, info, failed
            if m.message != _lib.WM_FRAME:
                continue
            if m.lParam == 0:
                frames, info = frames + 1, m.wParam
                continue
            self._fail(OrvaneError(int(m.lParam), "stream", asynchronous=True))
            failed = failed or m.lParam == 13

    def _read(self):
        handle = self._cam._handle
        layout = self._layout
        last = -1  # number of the last frame put in the queue
        failed = False
        while self._running and not failed:
            m = self._window.get(100)
            if m is None or m.message != _lib.WM_FRAME:
                continue
            if m.lParam != 0:
                self._fail(OrvaneError(int(m.lParam), "stream", asynchronous=True))
                failed = m.lParam == 13  # the camera's delivery failed: the preview has ended
                continue
            info = m.wParam
            newest = self._announced  # number of the newest announced frame
            self._announced += 1
            # Frames announced meanwhile have replaced this one in the library's buffer.
            more, newer, failed = self._waiting()
            if more:
                newest, info = newest + more, newer
                self._announced += more
            memory = self._buffer()
            if self._lib.Orvane_GetImage(handle, memory.ctypes.data, layout.nbytes, 1):
                # The copy holds the frame lock, so no frame is finished during it, and
                # finishing one after it takes a whole pipeline run: a frame announced
                # right after the copy was finished before it began, and the copy is that
                # newer frame (the one announced last).
                more, newer, late_failure = self._waiting()
                failed = failed or late_failure
                if more:
                    newest, info = newest + more, newer
                    self._announced += more
            else:
                memory = None
            if memory is None:
                if not self._running:
                    break
                try:
                    self._cam._check(0, "stream")
                except OrvaneError as e:
                    self._fail(e)
                continue
            rate = _lib.FrameInfoRecord.from_address(info).frameRate / 10.0 if info else 0.0
            frame = Frame(layout.view(memory), newest, now(), rate)
            with self._cond:
                self._dropped += newest - last - 1
                last = newest
                if len(self._queue) >= self._queue_size:
                    self._queue.popleft()
                    self._dropped += 1
                self._queue.append(frame)
                self._cond.notify_all()
        with self._cond:
            self._ended = True
            self._cond.notify_all()
