"""python3 -m korrin: the korrin tool's main commands, over the Python package."""

import argparse
import datetime
import os
import sys

import korrin

_DESCRIPTION = """\
Keeps two copies of a file in step while only what changed travels: the holder of the old
file signs it, the holder of the new file describes it against that signature in a delta,
and the delta rebuilds the new file from the old one.

A small mirror of the korrin command-line tool, for scripts that have Python at hand; the
korrin tool is the one to use otherwise. Outputs are written by the library as they are
made, under their own names: after a failure, a signature, delta or rebuilt file may be
left incomplete (patch --in-place excepted, which replaces FILE only once the result is
complete and checked). There is no - for standard input or output."""

_EPILOG = "exit status: 0 done, 1 failed (the reason and the library's log follow), 2 usage error"


def _signature(arguments):
    with korrin.Signature.make(arguments.old, arguments.block_size) as signature:
        signature.write(arguments.sig)


def _delta(arguments):
    with korrin.Signature.read(arguments.sig) as signature:
        korrin.Delta.make_file(signature, arguments.new, arguments.delta)


def _whole(arguments):
    korrin.Delta.whole_file(arguments.new, arguments.delta)


def _patch(arguments):
    with korrin.Delta.open(arguments.delta) as delta:
        if arguments.in_place:
            korrin.patch_in_place(arguments.old, delta, lock=arguments.lock)
        else:
            korrin.patch(arguments.old, delta, arguments.new)


def _read_blob(path):
    """The blob at `path` as a delta or a signature, and which it is. A blob of one kind may
    read, partly or even wholly, as the other; a blob of a kind accounts for exactly its own
    size, and that settles it."""
    size = os.path.getsize(path)
    for kind, load in ((korrin.Delta, korrin.Delta.open), (korrin.Signature, korrin.Signature.read)):
        try:
            with load(path) as blob:
                info = blob.info
        except korrin.KorrinError:
            continue
        if info.size == size:
            return kind, info
    raise ValueError(f"cannot show {path}: it is not a signature or delta blob")


def _info(arguments):
    kind, info = _read_blob(arguments.file)
    name = "delta" if kind is korrin.Delta else "signature"
    modified = datetime.datetime.fromtimestamp(info.modified_time, datetime.timezone.utc)
    print(f"{arguments.file}: {name} blob of {info.size} bytes")
    print(f"  format version  {info.version}")
    print(f"  block size      {info.block_size}")
    print(f"  file size       {info.file_size}")
    print(f"  modified        {modified:%Y-%m-%d %H:%M:%S} UTC")
    print(f"  SHA-1           {info.sha1_hex}")
    if kind is korrin.Delta:
        print(f"  copies          {info.copies}")
        print(f"  literals        {info.literals}, {info.literal_bytes} bytes")
    else:
        print(f"  blocks          {info.blocks}")


def _parser():
    parser = argparse.ArgumentParser(prog="python3 -m korrin", description=_DESCRIPTION, epilog=_EPILOG,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    command = commands.add_parser("signature", help="write the signature of OLD to SIG")
    command.add_argument("old", metavar="OLD")
    command.add_argument("sig", metavar="SIG")
    command.add_argument("--block-size", type=int, default=korrin.DEFAULT_BLOCK_SIZE, metavar="N",
                         help="blocks of N bytes (1 to 2147483647; default %(default)s)")
    command.set_defaults(run=_signature)

    command = commands.add_parser("delta", help="write the delta of NEW against the signature SIG to DELTA")
    command.add_argument("sig", metavar="SIG")
    command.add_argument("new", metavar="NEW")
    command.add_argument("delta", metavar="DELTA")
    command.set_defaults(run=_delta)

    command = commands.add_parser("whole", help="write a delta that carries all of NEW, for any old file")
    command.add_argument("new", metavar="NEW")
    command.add_argument("delta", metavar="DELTA")
    command.set_defaults(run=_whole)

    command = commands.add_parser("patch", help="rebuild NEW from OLD and DELTA, or FILE in place",
                                  usage="%(prog)s OLD DELTA NEW\n       %(prog)s --in-place FILE DELTA [--lock]")
    command.add_argument("operands", nargs="+", metavar="OPERAND",
                         help="OLD DELTA NEW, or FILE DELTA with --in-place; the result is checked by its SHA-1 value")
    command.add_argument("--in-place", action="store_true", help="replace FILE by the file DELTA describes")
    command.add_argument("--lock", action="store_true",
                         help="with --in-place, hold FILE's lock (FILE.korrin-lock) for the whole rebuild")
    command.set_defaults(run=_patch, usage=command.error)

    command = commands.add_parser("info", help="show what a signature or delta holds")
    command.add_argument("file", metavar="FILE")
    command.set_defaults(run=_info)
    return parser


def main(argv=None):
    arguments = _parser().parse_args(argv)
    if arguments.command == "patch":
        expected = 2 if arguments.in_place else 3
        if len(arguments.operands) != expected:
            arguments.usage(f"expected {expected} operands, got {len(arguments.operands)}")
        if arguments.lock and not arguments.in_place:
            arguments.usage("--lock goes with --in-place")
        arguments.old, arguments.delta = arguments.operands[:2]
        arguments.new = arguments.operands[2] if expected == 3 else None
    try:
        arguments.run(arguments)
    except korrin.KorrinError as e:
        print(f"korrin: {e}", file=sys.stderr)
        for line in e.log:
            print(f"  {line}", file=sys.stderr)
        return 1
    except (OSError, ValueError) as e:
        print(f"korrin: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
