"""The Python package against the library named by KORRIN_LIBRARY (the build tree's, under
ctest)."""

import contextlib
import hashlib
import importlib.util
import os
import pathlib
import random
import shutil
import subprocess
import sys
import threading

import pytest

import korrin
from korrin import Delta, KorrinError, Result, Signature

POSIX = os.name == "posix"


@pytest.fixture
def files(tmp_path):
    """An old file and a new one made from it by an overwrite, an insertion and a cut."""
    generator = random.Random(15)
    old = generator.randbytes(300_000)
    new = old[:1000] + b"overwritten" + old[1011:120_000] + b"inserted" + old[120_000:250_000] + old[260_000:]
    (tmp_path / "old.bin").write_bytes(old)
    (tmp_path / "new.bin").write_bytes(new)
    return tmp_path, old, new


def carried(tmp_path, signature, new_path, carrier):
    """The delta of `new_path` against `signature`, after both travelled as `carrier`."""
    if carrier == "bytes":
        with Signature.from_bytes(signature.to_bytes()) as received, Delta.make(received, new_path) as delta:
            return Delta.from_bytes(bytearray(delta.to_bytes()))
    signature.write(tmp_path / "old.sig")
    with Signature.read(tmp_path / "old.sig") as received:
        Delta.make_file(received, new_path, tmp_path / "new.delta")
    return Delta.open(tmp_path / "new.delta")


@pytest.mark.parametrize("block_size", [2048, 7, 1 << 20])
@pytest.mark.parametrize("carrier", ["bytes", "files"])
def test_the_road_rebuilds_the_new_file_beside_the_old_one_and_in_place(files, block_size, carrier):
    tmp_path, old, new = files
    with Signature.make(tmp_path / "old.bin", block_size=block_size) as signature:
        sig = signature.info
        assert (sig.version, sig.block_size, sig.file_size) == (1, block_size, len(old))
        assert sig.sha1 == hashlib.sha1(old).digest()
        assert sig.blocks == -(-len(old) // block_size)
        assert sig.size == len(signature.to_bytes())
        delta = carried(tmp_path, signature, tmp_path / "new.bin", carrier)
    with delta:
        info = delta.info
        assert (info.version, info.block_size, info.file_size, info.blocks) == (1, block_size, len(new), 0)
        assert info.sha1_hex == hashlib.sha1(new).hexdigest()
        assert info.size == len(delta.to_bytes())
        if block_size < len(old):
            assert info.copies > 0 and info.literal_bytes < len(new) // 2
        else:
            assert (info.copies, info.literals, info.literal_bytes) == (0, 1, len(new))
        # One delta serves twice: each use reads its instructions from the start.
        korrin.patch(tmp_path / "old.bin", delta, tmp_path / "rebuilt.bin")
        korrin.patch_in_place(str(tmp_path / "old.bin"), delta, lock=carrier == "files")
    assert (tmp_path / "rebuilt.bin").read_bytes() == new
    assert (tmp_path / "old.bin").read_bytes() == new


@pytest.mark.parametrize("into_file", [False, True])
def test_a_whole_file_delta_rebuilds_the_file_from_any_other(files, into_file):
    tmp_path, old, new = files
    (tmp_path / "empty").write_bytes(b"")
    if into_file:
        Delta.whole_file(tmp_path / "new.bin", tmp_path / "whole.delta")
        delta = Delta.open(tmp_path / "whole.delta")
    else:
        delta = Delta.whole(tmp_path / "new.bin")
    with delta:
        assert (delta.info.copies, delta.info.literal_bytes) == (0, len(new))
        for base in ("empty", "old.bin"):
            korrin.patch(tmp_path / base, delta, tmp_path / "rebuilt.bin")
            assert (tmp_path / "rebuilt.bin").read_bytes() == new


def function_lines(error, function):
    return [line for line in error.log if f"at func: {function} line: " in line]


@pytest.mark.parametrize("read, function", [
    (Signature.from_bytes, "Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob"),
    (Delta.from_bytes, "Halvorn::Vantrel::MemoryDeltaIO::ReadFromBlob"),
])
def test_a_bad_blob_raises_with_its_code_and_the_lines_of_this_call_alone(read, function):
    for attempt in range(2):
        with pytest.raises(KorrinError) as caught:
            read(b"\xee" * 30)
        assert caught.value.code is Result.FAILED
        assert len(function_lines(caught.value, function)) == 1, caught.value.log


@pytest.mark.parametrize("failure, function", [
    ("another old file", "Halvorn::Vantrel::FileDelta::GenerateFile"),
    ("a lock held elsewhere", "korrin_patch_in_place"),
])
def test_an_in_place_patch_that_fails_leaves_the_file_whole(files, failure, function):
    tmp_path, old, new = files
    target = tmp_path / "target.bin"
    target.write_bytes(old[::-1] if failure == "another old file" else old)
    with Signature.make(tmp_path / "old.bin") as signature, Delta.make(signature, tmp_path / "new.bin") as delta, \
            contextlib.ExitStack() as held:
        if failure == "a lock held elsewhere":
            fcntl = pytest.importorskip("fcntl")
            fcntl.flock(held.enter_context(open(f"{target}.korrin-lock", "wb")), fcntl.LOCK_EX)
        with pytest.raises(KorrinError) as caught:
            korrin.patch_in_place(target, delta, lock=True)
    assert caught.value.code == Result.FAILED
    assert function_lines(caught.value, function), caught.value.log
    assert target.read_bytes() == (old[::-1] if failure == "another old file" else old)


def test_each_thread_gets_the_log_lines_of_its_own_calls(files):
    tmp_path, old, new = files
    (tmp_path / "other.bin").write_bytes(old[::-1])
    with Signature.make(tmp_path / "old.bin") as signature:
        delta = Delta.make(signature, tmp_path / "new.bin")
    calls = [
        # Slow, and logging only at its end: quick failures on other threads run meanwhile.
        (20, lambda: korrin.patch(tmp_path / "other.bin", delta, tmp_path / "out.bin")),
        (2000, lambda: Signature.from_bytes(b"\xee" * 30)),
        (2000, lambda: Delta.from_bytes(b"\xee" * 30)),
    ]

    def log_of(call):
        try:
            call()
        except KorrinError as e:
            return e.log

    failures = []

    def repeat(times, call, expected):
        for attempt in range(times):
            log = log_of(call)
            if log != expected:
                failures.append(log)

    threads = [threading.Thread(target=repeat, args=(times, call, log_of(call))) for times, call in calls]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    delta.close()
    assert failures == []


NAMES = [("str", "ünïcødé-файл"), ("path", pathlib.Path("ünïcødé-файл"))]
if POSIX:
    NAMES += [("bytes", b"not-utf8-\xff\xfe"), ("fsdecoded", os.fsdecode(b"not-utf8-\xff\xfe"))]


@pytest.mark.parametrize("kind, name", NAMES, ids=[kind for kind, name in NAMES])
def test_names_outside_ascii_reach_their_files_and_the_log(files, kind, name, monkeypatch):
    tmp_path, old, new = files
    monkeypatch.chdir(tmp_path)
    stem = os.fsencode(name) if kind == "bytes" else name

    def named(suffix):
        return stem + os.fsencode(suffix) if kind == "bytes" else type(stem)(f"{stem}{suffix}")

    shutil.copy("old.bin", named(".old"))
    shutil.copy("new.bin", named(".new"))
    with Signature.make(named(".old"), 512) as signature:
        signature.write(named(".sig"))
    with Signature.read(named(".sig")) as signature:
        Delta.make_file(signature, named(".new"), named(".delta"))
    with Delta.open(named(".delta")) as delta:
        korrin.patch(named(".old"), delta, named(".rebuilt"))
        korrin.patch_in_place(named(".old"), delta)
    for result in (".rebuilt", ".old"):
        with open(named(result), "rb") as rebuilt:
            assert rebuilt.read() == new
    with pytest.raises(KorrinError) as caught:
        Signature.make(named(".missing"))
    assert any(os.fsdecode(named(".missing")) in line for line in caught.value.log), caught.value.log


def test_handles_closed_or_misused_fail_cleanly(files):
    tmp_path, old, new = files
    signature = Signature.make(tmp_path / "old.bin")
    delta = Delta.make(signature, tmp_path / "new.bin")
    for handle in (signature, delta):
        handle.close()
        handle.close()
        assert handle.closed
    uses = [
        lambda: signature.to_bytes(),
        lambda: signature.info,
        lambda: signature.write(tmp_path / "x"),
        lambda: Delta.make(signature, tmp_path / "new.bin"),
        lambda: Delta.make_file(signature, tmp_path / "new.bin", tmp_path / "x"),
        lambda: delta.to_bytes(),
        lambda: delta.info,
        lambda: korrin.patch(tmp_path / "old.bin", delta, tmp_path / "x"),
        lambda: korrin.patch_in_place(tmp_path / "old.bin", delta),
    ]
    for use in uses:
        with pytest.raises(ValueError, match="is closed"):
            use()
    with Delta.whole(tmp_path / "new.bin") as open_delta:
        misuses = [
            (TypeError, lambda: Signature()),
            (TypeError, lambda: Delta.make(open_delta, tmp_path / "new.bin")),
            (TypeError, lambda: korrin.patch(tmp_path / "old.bin", tmp_path / "x.delta", tmp_path / "x")),
            (TypeError, lambda: Signature.from_bytes("text")),
            (TypeError, lambda: Signature.make(1234)),
            (ValueError, lambda: Signature.make("old\0.bin")),
            # Past 32 bits a block size would wrap around to another one on its way to C.
            (ValueError, lambda: Signature.make(tmp_path / "old.bin", 2**32 + 2048)),
            (ValueError, lambda: Signature.make(tmp_path / "old.bin", 0)),
        ]
        for error, misuse in misuses:
            with pytest.raises(error):
                misuse()
    assert not (tmp_path / "x").exists()


PACKAGE_ROOT = pathlib.Path(korrin.__file__).parents[1]


def run_module(*arguments, cwd):
    return subprocess.run([sys.executable, "-m", "korrin", *map(str, arguments)], cwd=cwd, capture_output=True,
                          text=True, env=dict(os.environ, PYTHONPATH=str(PACKAGE_ROOT)))


def test_the_module_runs_the_tool_commands(files):
    tmp_path, old, new = files
    shutil.copy(tmp_path / "old.bin", tmp_path / "copy.bin")
    steps = [
        ("signature", "old.bin", "old.sig", "--block-size", "1000"),
        ("delta", "old.sig", "new.bin", "new.delta"),
        ("patch", "old.bin", "new.delta", "rebuilt.bin"),
        ("patch", "--in-place", "copy.bin", "new.delta", "--lock"),
        ("whole", "new.bin", "whole.delta"),
    ]
    for step in steps:
        done = run_module(*step, cwd=tmp_path)
        assert (done.returncode, done.stderr) == (0, ""), step
    assert (tmp_path / "rebuilt.bin").read_bytes() == new
    assert (tmp_path / "copy.bin").read_bytes() == new

    expected = {"old.sig": ["signature blob", "block size      1000", "blocks          300"],
                "whole.delta": ["delta blob", "copies          0", f", {len(new)} bytes"]}
    for name, lines in expected.items():
        done = run_module("info", name, cwd=tmp_path)
        assert done.returncode == 0, done.stderr
        for line in lines:
            assert line in done.stdout

    # copy.bin is the new file by now: the delta's SHA-1 check fails on it.
    done = run_module("patch", "copy.bin", "new.delta", "out.bin", cwd=tmp_path)
    first, *log = done.stderr.splitlines()
    assert done.returncode == 1
    assert first == "korrin: cannot rebuild 'out.bin' from 'copy.bin' (result 32768)"
    assert log and all(line.startswith("  Error ") for line in log)
    assert run_module("patch", "--lock", "a", "b", "c", cwd=tmp_path).returncode == 2


@pytest.mark.skipif(not all(map(importlib.util.find_spec, ["venv", "pip", "setuptools", "wheel"])),
                    reason="needs venv, pip, setuptools and wheel")
def test_the_package_installs_with_pip(tmp_path):
    """pip install into a virtual environment, offline, then used from outside the tree."""
    shutil.copytree(PACKAGE_ROOT, tmp_path / "source", ignore=shutil.ignore_patterns("__pycache__", "tests", "build", "*.egg-info"))
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", tmp_path / "venv"],
                   check=True)
    python = tmp_path / "venv" / ("Scripts/python.exe" if os.name == "nt" else "bin/python")
    environment = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-index", "--no-build-isolation",
                    tmp_path / "source"], check=True, env=environment, cwd=tmp_path)
    shown = subprocess.run([python, "-c", "import korrin; print(korrin.__file__, korrin.library_version())"],
                           check=True, env=environment, cwd=tmp_path, capture_output=True, text=True)
    where, version = shown.stdout.split()
    assert pathlib.Path(where).is_relative_to(tmp_path / "venv")
    assert version == korrin.library_version()


def test_the_readme_example_runs(files, monkeypatch):
    readme = (PACKAGE_ROOT.parents[1] / "README.md").read_text(encoding="utf-8")
    marker = readme.find("<!-- tested: python -->")
    if marker < 0:
        pytest.skip("the README has no block marked tested: python")
    block = readme[readme.index("```python\n", marker) + 10:]
    block = block[:block.index("```")]
    tmp_path, old, new = files
    monkeypatch.chdir(tmp_path)
    exec(compile(block, "README.md", "exec"), {})
    assert (tmp_path / "rebuilt.bin").read_bytes() == new
