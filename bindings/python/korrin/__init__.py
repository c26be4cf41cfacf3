"""Korrin from Python: signatures, deltas and rebuilding over the library's C interface.

    import korrin

    with korrin.Signature.make("old.bin") as sig:           # on the old file's side
        blob = sig.to_bytes()
    with korrin.Signature.from_bytes(blob) as sig, \\
         korrin.Delta.make(sig, "new.bin") as delta:         # on the new file's side
        blob = delta.to_bytes()
    with korrin.Delta.from_bytes(blob) as delta:            # back on the old file's side
        korrin.patch_in_place("old.bin", delta)

Paths are `str`, `bytes` or `os.PathLike`. Failures raise `KorrinError`, whose `code` is the
library's result code and whose `log` holds the lines the library logged for the failure;
running out of memory inside the library raises `KorrinMemoryError`, which is also a
`MemoryError`. Signatures and deltas hold memory in the library until they are closed: use
them in a `with` block, or call `close()`; garbage collection frees the rest. One handle may
be shared between threads: its calls take turns.

The shared library is looked up when first needed: the file named by the environment
variable KORRIN_LIBRARY, else the installed library by its name."""

import contextlib
import dataclasses
import os
import threading
import weakref
from ctypes import byref, c_void_p

from ._library import (
    InfoStruct,
    KorrinError,
    KorrinMemoryError,
    LibraryNotFoundError,
    Result,
    call,
    lib,
    path_argument,
    take_blob,
)

__all__ = [
    "DEFAULT_BLOCK_SIZE",
    "Delta",
    "Info",
    "KorrinError",
    "KorrinMemoryError",
    "LibraryNotFoundError",
    "Result",
    "Signature",
    "library_version",
    "patch",
    "patch_in_place",
]

DEFAULT_BLOCK_SIZE = 2048
_MAX_BLOCK_SIZE = 2**31 - 1


def library_version():
    """The loaded library's version, "major.minor.patch"."""
    return lib().korrin_version().decode("ascii")


def _shown(path):
    return repr(os.fsdecode(path))


@dataclasses.dataclass(frozen=True)
class Info:
    """What a signature or a delta holds."""

    version: int  # format version; 1 for what the library makes
    block_size: int  # the signature's block size, which its deltas share
    file_size: int  # the size of the file described
    modified_time: int  # its modification time, seconds since 1970
    sha1: bytes  # its SHA-1 value, 20 bytes
    blocks: int  # a signature's blocks; 0 for a delta
    copies: int  # a delta's copy instructions; 0 for a signature
    literals: int  # a delta's literal instructions
    literal_bytes: int  # the bytes they carry
    size: int  # the size of the blob or file that carries it

    @property
    def sha1_hex(self):
        return self.sha1.hex()


class _Handle:
    """A signature or delta the library holds, freed exactly once: by close(), at the end of a
    `with` block, or when garbage collected."""

    _kind = ""
    _free = ""
    _info = ""

    def __init__(self, *arguments):
        raise TypeError(f"a {self._kind} is made by the class methods of {type(self).__name__}")

    @classmethod
    def _adopt(cls, pointer):
        handle = cls.__new__(cls)
        handle._pointer = pointer
        handle._lock = threading.Lock()
        handle._finalizer = weakref.finalize(handle, getattr(lib(), cls._free), pointer)
        return handle

    @classmethod
    def _made(cls, what, function, *arguments):
        out = c_void_p()
        call(what, function, *arguments, byref(out))
        return cls._adopt(out.value)

    @contextlib.contextmanager
    def _use(self):
        # The library allows one thread at a time on a handle, and a close waits for its use.
        with self._lock:
            if self._pointer is None:
                raise ValueError(f"the {self._kind} is closed")
            yield self._pointer

    def close(self):
        """Frees what the library holds for it; closing again does nothing."""
        with self._lock:
            self._pointer = None
            self._finalizer()

    @property
    def closed(self):
        return self._pointer is None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    @property
    def info(self):
        """An `Info` of what it holds."""
        raw = InfoStruct()
        with self._use() as pointer:
            call(f"cannot describe the {self._kind}", getattr(lib(), self._info), pointer, byref(raw))
        fields = {field.name: getattr(raw, field.name) for field in dataclasses.fields(Info)}
        fields["sha1"] = bytes(raw.sha1)
        return Info(**fields)


def _blob_argument(data):
    if isinstance(data, bytes):
        return data
    return memoryview(data).tobytes()  # any bytes-like object; a TypeError for the rest


class Signature(_Handle):
    """The old file's blocks and properties: made from the file, or read back from a blob."""

    _kind = "signature"
    _free = "korrin_signature_free"
    _info = "korrin_signature_info"

    @classmethod
    def make(cls, path, block_size=DEFAULT_BLOCK_SIZE):
        """Signs the file at `path` in blocks of `block_size` bytes (1 to 2**31 - 1)."""
        if not isinstance(block_size, int) or isinstance(block_size, bool):
            raise TypeError("block_size must be an int")
        if not 1 <= block_size <= _MAX_BLOCK_SIZE:
            raise ValueError(f"block_size must be 1 to {_MAX_BLOCK_SIZE}, not {block_size}")
        return cls._made(f"cannot sign {_shown(path)}", lib().korrin_signature_make, path_argument(path),
                         block_size)

    @classmethod
    def from_bytes(cls, data):
        """Reads a signature blob from a bytes-like object."""
        data = _blob_argument(data)
        return cls._made("cannot read the signature blob", lib().korrin_signature_from_blob, data, len(data))

    @classmethod
    def read(cls, path):
        """Reads the signature blob in the file at `path`."""
        return cls._made(f"cannot read the signature {_shown(path)}", lib().korrin_signature_read_file,
                         path_argument(path))

    def to_bytes(self):
        """The signature as a blob."""
        with self._use() as pointer:
            return take_blob("cannot write the signature blob", lib().korrin_signature_to_blob, pointer)

    def write(self, path):
        """Writes the signature blob to the file at `path`, made or emptied first."""
        with self._use() as pointer:
            call(f"cannot write the signature {_shown(path)}", lib().korrin_signature_write_file, pointer,
                 path_argument(path))


def _signature_pointer(signature, use):
    if not isinstance(signature, Signature):
        raise TypeError(f"expected a korrin.Signature, not {type(signature).__name__}")
    return use.enter_context(signature._use())


class Delta(_Handle):
    """What turns the old file into the new one: made against a signature or from the whole
    new file, read back from a blob, or opened as a file that is read as the delta is used."""

    _kind = "delta"
    _free = "korrin_delta_free"
    _info = "korrin_delta_info"

    @classmethod
    def make(cls, signature, path):
        """Describes the file at `path` against `signature`, in memory."""
        with contextlib.ExitStack() as use:
            return cls._made(f"cannot make the delta of {_shown(path)}", lib().korrin_delta_make,
                             _signature_pointer(signature, use), path_argument(path))

    @staticmethod
    def make_file(signature, path, delta_path):
        """Describes the file at `path` against `signature` straight into the file at
        `delta_path`, with no whole delta in memory."""
        with contextlib.ExitStack() as use:
            call(f"cannot make the delta of {_shown(path)}", lib().korrin_delta_make_file,
                 _signature_pointer(signature, use), path_argument(path), path_argument(delta_path))

    @classmethod
    def whole(cls, path):
        """A delta that needs no signature: all of the file at `path` as literal bytes."""
        return cls._made(f"cannot make the whole-file delta of {_shown(path)}", lib().korrin_delta_whole,
                         path_argument(path))

    @staticmethod
    def whole_file(path, delta_path):
        """The whole-file delta of the file at `path`, straight into the file at `delta_path`."""
        call(f"cannot make the whole-file delta of {_shown(path)}", lib().korrin_delta_whole_file,
             path_argument(path), path_argument(delta_path))

    @classmethod
    def from_bytes(cls, data):
        """Reads a delta blob from a bytes-like object (copied)."""
        data = _blob_argument(data)
        return cls._made("cannot read the delta blob", lib().korrin_delta_from_blob, data, len(data))

    @classmethod
    def open(cls, path):
        """Opens the delta file at `path`, which is read as the delta is used and must stay in
        place until the delta is closed."""
        return cls._made(f"cannot open the delta {_shown(path)}", lib().korrin_delta_open_file,
                         path_argument(path))

    def to_bytes(self):
        """The delta as a blob."""
        with self._use() as pointer:
            return take_blob("cannot write the delta blob", lib().korrin_delta_to_blob, pointer)

    def write(self, path):
        """Writes the delta blob to the file at `path`."""
        with self._use() as pointer:
            call(f"cannot write the delta {_shown(path)}", lib().korrin_delta_write_file, pointer,
                 path_argument(path))


def _delta_pointer(delta, use):
    if not isinstance(delta, Delta):
        raise TypeError(f"expected a korrin.Delta, not {type(delta).__name__}")
    return use.enter_context(delta._use())


def patch(old, delta, new):
    """Writes the file `delta` describes against the file at `old` to `new`, replacing what
    is there, and checks it by its SHA-1 value. After a failure, `new` may hold part of it."""
    with contextlib.ExitStack() as use:
        call(f"cannot rebuild {_shown(new)} from {_shown(old)}", lib().korrin_patch, path_argument(old),
             _delta_pointer(delta, use), path_argument(new))


def patch_in_place(path, delta, lock=False):
    """Replaces the file at `path` by the file `delta` describes against it, through `path` +
    ".dfttemp"; on failure the file stays as it was. With `lock`, holds the file's lock
    (`path` + ".korrin-lock") for the whole rebuild."""
    with contextlib.ExitStack() as use:
        call(f"cannot patch {_shown(path)} in place", lib().korrin_patch_in_place, path_argument(path),
             _delta_pointer(delta, use), 1 if lock else 0)
