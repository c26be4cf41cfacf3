#include "Help.h"

namespace Halvorn {
namespace Tool {

namespace {

const char kGeneral[] =
    "usage: korrin COMMAND [OPTIONS] OPERANDS\n"
    "\n"
    "Keeps two copies of a file in step while only what changed travels: the holder of the\n"
    "old file signs it, the holder of the new file describes it against that signature in a\n"
    "delta, and the delta rebuilds the new file from the old one.\n"
    "\n"
    "commands:\n"
    "  signature OLD SIG           write the signature of OLD to SIG\n"
    "  delta SIG NEW DELTA         write the delta of NEW against the signature SIG to DELTA\n"
    "  whole NEW DELTA             write a delta that carries all of NEW, for any old file\n"
    "  patch OLD DELTA NEW         rebuild NEW from OLD and DELTA\n"
    "  patch --in-place FILE DELTA replace FILE by the file DELTA describes against it\n"
    "  info FILE                   show what a signature or delta holds\n"
    "\n"
    "A - in place of SIG, NEW, DELTA or info's FILE reads standard input or writes standard\n"
    "output. Outputs appear under their names only once complete.\n"
    "\n"
    "options for every command:\n"
    "  --quiet     no progress bar, no summary line\n"
    "  --verbose   also show the library's log lines when all went well\n"
    "  --help      show this help, or a command's with korrin COMMAND --help\n"
    "  --version   show the versions of the tool and of the library\n"
    "\n"
    "exit status: 0 done, 1 failed (the reason and the library's log follow), 2 usage error\n";

const char kSignature[] =
    "usage: korrin signature OLD SIG [--block-size N|auto]\n"
    "\n"
    "Cuts OLD into blocks and writes their checksums, with the file's size, time and SHA-1\n"
    "value, to the signature blob SIG. The holder of the new file needs only SIG.\n"
    "\n"
    "  --block-size N     blocks of N bytes (1 to 2147483647; default 2048). Smaller blocks\n"
    "                     find more of the old file in the new one, at the price of a\n"
    "                     larger signature (25 bytes a block).\n"
    "  --block-size auto  the power of two nearest the square root of OLD's size, from 512\n"
    "                     to 65536 (16384 for 256 MiB); the choice is shown on stderr.\n"
    "\n"
    "OLD - reads the old file from standard input; SIG - writes to standard output.\n"
    "Files over 64 MiB show a progress bar when stderr is a terminal.\n";

const char kDelta[] =
    "usage: korrin delta SIG NEW DELTA\n"
    "\n"
    "Describes NEW against the signature SIG of the old file: which blocks of the old file\n"
    "to copy and which bytes to insert. Writes the delta blob to DELTA, then a summary line:\n"
    "the sizes, the share of NEW that travels in the delta, the time taken and the speed.\n"
    "\n"
    "SIG - or NEW - reads standard input (one of them); DELTA - writes standard output. A NEW\n"
    "read from standard input is kept in a temporary file meanwhile, and the delta carries\n"
    "that file's time. Files over 64 MiB show a progress bar when stderr is a terminal.\n";

const char kWhole[] =
    "usage: korrin whole NEW DELTA\n"
    "\n"
    "Writes a delta that needs no signature: all of NEW as literal bytes, with its size, time\n"
    "and SHA-1 value. It rebuilds NEW from any old file, even an empty or unrelated one.\n"
    "\n"
    "NEW - reads standard input (kept in a temporary file meanwhile); DELTA - writes\n"
    "standard output.\n";

const char kPatch[] =
    "usage: korrin patch OLD DELTA NEW\n"
    "       korrin patch --in-place FILE DELTA [--lock]\n"
    "\n"
    "Rebuilds the new file from the old one and the delta, and checks it against the SHA-1\n"
    "value the delta carries; a delta made against another old file fails that check. Then\n"
    "prints a summary line: the sizes, the share that travelled, the time taken, the speed.\n"
    "\n"
    "The first form writes NEW (- for standard output) and leaves OLD alone; OLD may be NEW.\n"
    "With --in-place, FILE is rebuilt beside itself as FILE.dfttemp and replaced only once the\n"
    "result is complete and checked; on failure it stays as it was.\n"
    "\n"
    "  --in-place  replace FILE instead of writing a new file\n"
    "  --lock      take the lock on FILE (the file FILE.korrin-lock) before anything is\n"
    "              written and hold it to the end; when another process holds it, nothing\n"
    "              is done\n"
    "\n"
    "DELTA - reads standard input. Files over 64 MiB show a progress bar when stderr is a\n"
    "terminal.\n";

const char kInfo[] =
    "usage: korrin info FILE\n"
    "\n"
    "Tells a signature blob from a delta blob and shows what it holds: the format version,\n"
    "the block size, the size, time (UTC) and SHA-1 value of the file it stands for; for a\n"
    "signature, its number of block groups (blocks with the same checksums count once); for a\n"
    "delta, its copies, its literals and their bytes, and the share of the file's size that\n"
    "travels (the blob's size over the file's). FILE - reads standard input.\n";

} // namespace

void PrintHelp(Command command, std::FILE* stream)
{
    switch (command) {
    case Command::Signature:
        std::fputs(kSignature, stream);
        break;
    case Command::Delta:
        std::fputs(kDelta, stream);
        break;
    case Command::Whole:
        std::fputs(kWhole, stream);
        break;
    case Command::Patch:
        std::fputs(kPatch, stream);
        break;
    case Command::Info:
        std::fputs(kInfo, stream);
        break;
    case Command::None:
        std::fputs(kGeneral, stream);
        break;
    }
}

void PrintVersion(std::FILE* stream)
{
    // The library answers no version question at run time: this is the one the tool was built with.
    std::fprintf(stream, "korrin %s\nKorrin library %s; blobs of format version 1\n", KORRIN_TOOL_VERSION,
                 KORRIN_LIBRARY_VERSION);
}

} // namespace Tool
} // namespace Halvorn
