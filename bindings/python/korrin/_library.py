"""The shared library behind the package: finding and loading it, its C functions as ctypes
sees them, result codes and errors, and the capture of the lines it logs."""

import ctypes
import ctypes.util
import enum
import os
import sys
import threading

from ctypes import POINTER, byref, c_char_p, c_int, c_int32, c_int64, c_size_t, c_ubyte, c_uint32, c_uint64, c_void_p

if sys.platform == "win32":
    INSTALLED_NAME = "Halvorn.Korrin.1.0.dll"
elif sys.platform == "darwin":
    INSTALLED_NAME = "libHalvorn.Korrin.1.0.1.dylib"
else:
    INSTALLED_NAME = "libHalvorn.Korrin.1.0.so.1"


class Result(enum.IntEnum):
    """The library's result codes."""

    OK = 0
    FAILED = 32768
    WRITE_EBADF = -11009  # writing the new file failed with errno 9
    WRITE_ENOSPC = -11021  # writing the new file failed: the disk is full
    WRITE_EINVAL = -11030  # writing the new file failed with errno 22
    NO_MEMORY = -1  # an allocation failed; nothing was changed
    INVALID_ARGUMENT = -2  # a null handle, pointer or path


_REASONS = {
    Result.WRITE_EBADF: "writing the new file failed (errno 9)",
    Result.WRITE_ENOSPC: "the disk is full",
    Result.WRITE_EINVAL: "writing the new file failed (errno 22)",
    Result.NO_MEMORY: "out of memory",
    Result.INVALID_ARGUMENT: "invalid argument",
}


class KorrinError(Exception):
    """A call into the library failed.

    `code` is the library's result code (a `Result` member when it is one of the known codes),
    `log` the lines the library logged during the failing call, innermost failure first."""

    def __init__(self, message, code, log=()):
        super().__init__(message)
        self.code = code
        self.log = list(log)

    def __reduce__(self):
        # Whole across pickling, as a multiprocessing pool sends it back.
        return type(self), (self.args[0], self.code, self.log)


class KorrinMemoryError(KorrinError, MemoryError):
    """The library ran out of memory (`Result.NO_MEMORY`); nothing was changed. Caught by
    `except MemoryError` as well as by `except KorrinError`."""


class LibraryNotFoundError(OSError):
    """The shared library could not be found or loaded."""


def error(what, code, log):
    try:
        code = Result(code)
    except ValueError:
        pass
    reason = _REASONS.get(code)
    message = f"{what} ({reason}, result {int(code)})" if reason else f"{what} (result {int(code)})"
    kind = KorrinMemoryError if code == Result.NO_MEMORY else KorrinError
    return kind(message, code, log)


# ---- Log capture ----
# The library has one callback for the process. Each call collects the lines logged on its own
# thread, so that calls running side by side on other threads do not mix their lines in.

_LOG_CALLBACK = ctypes.CFUNCTYPE(None, c_void_p, c_char_p, c_int32, c_char_p)
_capture = threading.local()


def _on_log(context, logger, severity, line):
    lines = getattr(_capture, "lines", None)
    if lines is not None and line is not None:
        # Paths in the lines come back as the bytes they were given: decoded the way
        # os.fsdecode would, so that an undecodable name still reads as it went in.
        lines.append(line.decode("utf-8", "surrogateescape"))


# Lives as long as the process: the library keeps the pointer.
_on_log_pointer = _LOG_CALLBACK(_on_log)


def call(what, function, *arguments):
    """Calls `function` and raises the KorrinError of a non-zero result, with `what` as the
    message and the lines logged on this thread meanwhile."""
    outer = getattr(_capture, "lines", None)
    _capture.lines = lines = []
    try:
        code = function(*arguments)
    finally:
        _capture.lines = outer
    if code != Result.OK:
        raise error(what, code, lines)


# ---- Loading ----


class InfoStruct(ctypes.Structure):
    """struct korrin_info."""

    _fields_ = [
        ("version", c_uint32),
        ("block_size", c_uint32),
        ("file_size", c_uint64),
        ("modified_time", c_int64),
        ("sha1", c_ubyte * 20),
        ("blocks", c_uint64),
        ("copies", c_uint64),
        ("literals", c_uint64),
        ("literal_bytes", c_uint64),
        ("size", c_uint64),
    ]


_OUT = POINTER(c_void_p)  # where a handle or blob comes back
_PROTOTYPES = {
    "korrin_set_log_callback": (None, [_LOG_CALLBACK, c_void_p]),
    "korrin_version": (c_char_p, []),
    "korrin_free": (None, [c_void_p]),
    "korrin_signature_make": (c_int, [c_char_p, c_uint32, _OUT]),
    "korrin_signature_from_blob": (c_int, [c_void_p, c_size_t, _OUT]),
    "korrin_signature_read_file": (c_int, [c_char_p, _OUT]),
    "korrin_signature_to_blob": (c_int, [c_void_p, _OUT, POINTER(c_size_t)]),
    "korrin_signature_write_file": (c_int, [c_void_p, c_char_p]),
    "korrin_signature_info": (c_int, [c_void_p, POINTER(InfoStruct)]),
    "korrin_signature_free": (None, [c_void_p]),
    "korrin_delta_make": (c_int, [c_void_p, c_char_p, _OUT]),
    "korrin_delta_make_file": (c_int, [c_void_p, c_char_p, c_char_p]),
    "korrin_delta_whole": (c_int, [c_char_p, _OUT]),
    "korrin_delta_whole_file": (c_int, [c_char_p, c_char_p]),
    "korrin_delta_from_blob": (c_int, [c_void_p, c_size_t, _OUT]),
    "korrin_delta_open_file": (c_int, [c_char_p, _OUT]),
    "korrin_delta_to_blob": (c_int, [c_void_p, _OUT, POINTER(c_size_t)]),
    "korrin_delta_write_file": (c_int, [c_void_p, c_char_p]),
    "korrin_delta_info": (c_int, [c_void_p, POINTER(InfoStruct)]),
    "korrin_delta_free": (None, [c_void_p]),
    "korrin_patch": (c_int, [c_char_p, c_void_p, c_char_p]),
    "korrin_patch_in_place": (c_int, [c_char_p, c_void_p, c_uint32]),
}

_loaded = None
_loading = threading.Lock()


def _open():
    explicit = os.environ.get("KORRIN_LIBRARY")
    if explicit:
        try:
            return ctypes.CDLL(explicit)
        except OSError as e:
            raise LibraryNotFoundError(f"cannot load the Korrin library named by KORRIN_LIBRARY: {e}") from None
    # The installed name through the system's own search (which honours LD_LIBRARY_PATH and
    # the like), then wherever ctypes' lookup finds it (PATH, on Windows).
    for candidate in (INSTALLED_NAME, ctypes.util.find_library("Halvorn.Korrin.1.0")):
        if candidate:
            try:
                return ctypes.CDLL(candidate)
            except OSError:
                pass
    raise LibraryNotFoundError(
        f"cannot find the Korrin library ({INSTALLED_NAME}): install it where the system finds "
        "libraries, or set KORRIN_LIBRARY to its full path")


def lib():
    """The loaded library, its functions declared and the log callback installed."""
    global _loaded
    if _loaded is None:
        with _loading:
            if _loaded is None:
                library = _open()
                for name, (restype, argtypes) in _PROTOTYPES.items():
                    function = getattr(library, name)
                    function.restype = restype
                    function.argtypes = argtypes
                library.korrin_set_log_callback(_on_log_pointer, None)
                _loaded = library
    return _loaded


def path_argument(path):
    """A path for the library: `str`, `bytes` or `os.PathLike`, as the bytes of a C string.
    On POSIX a str becomes the bytes the system would see (os.fsencode), so names that are
    not UTF-8 round-trip; on Windows the library takes UTF-8."""
    path = os.fspath(path)
    if isinstance(path, str):
        path = path.encode("utf-8") if os.name == "nt" else os.fsencode(path)
    if b"\0" in path:
        raise ValueError("embedded null byte in path")
    return path


def take_blob(what, function, handle):
    """The blob `function` hands out for `handle`, as bytes, the library's copy freed."""
    library = lib()
    blob = c_void_p()
    size = c_size_t()
    call(what, function, handle, byref(blob), byref(size))
    try:
        return ctypes.string_at(blob.value, size.value) if size.value else b""
    finally:
        library.korrin_free(blob)
