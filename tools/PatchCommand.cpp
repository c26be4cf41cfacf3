// korrin patch OLD DELTA NEW, and korrin patch --in-place FILE DELTA [--lock]
#include <cerrno>
#include <cstdio>
#include <string>

#include <Vantrel/Vantrel.h>

#include "BlobFiles.h"
#include "Commands.h"
#include "CountingStores.h"
#include "Failures.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "Progress.h"
#include "Report.h"
#include "System.h"
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

namespace {

// The library rebuilds in place under `temporary`, which it removes on failure: when that
// name cannot be made, or something it could not clear is in the way, say so.
std::string WhyNoTemporary(const std::string& temporary)
{
    bool existed = false;
    std::FILE* probe = System::CreateNewFile(temporary, existed);
    if (probe == nullptr)
        return existed ? ": something is in the way of its temporary file " + temporary
                       : ": its temporary file " + temporary + " cannot be made: " + SystemError(errno);
    std::fclose(probe);
    System::RemoveFile(temporary);
    return "";
}

// Why a rebuild failed, as far as the tool can tell from outside: the old file, the write's
// code, the delta itself, the temporary file of a rebuild in place; past those, what is left
// is the final SHA-1 check.
std::string RebuildReason(const std::string& oldPath, int result, CountingDeltaReader& delta,
                          const std::string& temporary = "")
{
    const std::string reason = WhyUnreadable(oldPath);
    if (!reason.empty())
        return reason;
    if (result == RESULT_WRITE_ENOSPC)
        return ": the disk is full";
    if (result == RESULT_WRITE_EBADF || result == RESULT_WRITE_EINVAL)
        return ": writing the new file failed";
    if (delta.Damaged())
        return ": the delta is damaged or cannot be read";
    std::uint32_t version = 0;
    delta.ReadVersion(version);
    if (version != 1)
        return ": the delta is of format version " + std::to_string(version) + ", and only version 1 can be applied";
    const std::string blocked = temporary.empty() ? "" : WhyNoTemporary(temporary);
    if (!blocked.empty())
        return blocked;
    return ": the result does not match the delta's SHA-1 value, so the delta was made against another old file";
}

void PatchToNewFile(const Options& options, const Stopwatch& clock)
{
    // NEW may be OLD: the old file is read whole before the new one takes its name.
    RefuseInputAsOutput(options.operands[2], "the new file", {{options.operands[1], "the delta"}});
    OutputFile out(options.operands[2], "the new file");
    CountingDeltaReader reader;
    OpenDelta(options.operands[1], reader);
    const InputFile old(options.operands[0], "the old file");

    std::uint32_t window = 0;
    std::uint64_t size = 0;
    reader.ReadWindowSize(window);
    reader.ReadFileSize(size);
    Meter meter("rebuilding", size, WantsMeter(size, options.quiet));
    reader.CountInto(&meter, window);
    std::wstring target;
    ToWide(out.PathForLibrary(), target);
    const FileDelta delta(&reader);
    Korrin engine;
    const int result = engine.ApplyFileDelta(old.WidePath(), delta, target);
    meter.Finish();
    if (result != RESULT_OK)
        throw Failure("cannot rebuild " + out.Display() + " from " + old.Display() +
                      RebuildReason(old.Path(), result, reader));
    out.Commit();
    Summarise(options, "rebuilt " + out.Display(), size, reader.Tally().bytes, clock.Seconds());
}

void PatchInPlace(const Options& options, const Stopwatch& clock)
{
    const std::string& name = options.operands[0];
    if (SameFile(options.operands[1], name))
        throw Failure("cannot rebuild " + name + " in place: it is also the delta");
    System::FileInfo info;
    System::Examine(name, info);
    // Only a file can be rebuilt beside itself and replaced; a pipe would also hang the reading.
    if (info.exists && !info.regular)
        throw Failure("cannot rebuild " + name + " in place: it is not a regular file");
    // A link stays as it is: the file it leads to is rebuilt and replaced.
    const std::string target = info.link && info.exists ? System::FinalPath(name) : name;
    if (target.empty())
        throw Failure("cannot rebuild " + name + " in place: " + SystemError(errno));
    // The library's temporary name is fixed, and so is the lock's: the file system must hold them.
    const char* const tooLong = System::NameTooLong(target + ".dfttemp")                      ? ".dfttemp"
                                : options.lock && System::NameTooLong(target + ".korrin-lock") ? ".korrin-lock"
                                                                                               : nullptr;
    if (tooLong != nullptr)
        throw Failure("cannot rebuild " + name + " in place: its name leaves no room for the suffix " +
                      std::string(tooLong) + " of a file made beside it");
    std::wstring path;
    ToWide(target, path);
    // Held for the whole run, so that no second run writes the same temporary file meanwhile:
    // the library takes the same lock again before the replacement, which the lock allows.
    FileLock lock;
    if (options.lock && !lock.Create(FileLock::Exclusive, path.c_str())) {
        System::FileInfo companion;
        const bool held = System::Examine(target + ".korrin-lock", companion) && companion.exists;
        throw Failure("cannot rebuild " + name + " in place: " +
                      (held ? "another process holds its lock" : "its lock file cannot be made beside it"));
    }
    CountingDeltaReader reader;
    OpenDelta(options.operands[1], reader);

    std::uint32_t window = 0;
    std::uint64_t size = 0;
    reader.ReadWindowSize(window);
    reader.ReadFileSize(size);
    Meter meter("rebuilding", size, WantsMeter(size, options.quiet));
    reader.CountInto(&meter, window);
    const FileDelta delta(&reader);
    Korrin engine;
    // The library rebuilds beside the file under this name, and removes it on failure.
    const std::string temporary = target + ".dfttemp";
    System::RemoveOnInterrupt(temporary);
    const int result = options.lock ? engine.ApplyFileDelta(path, delta, &lock)
                                    : engine.ApplyFileDelta(path, delta);
    System::KeepOnInterrupt(temporary);
    meter.Finish();
    if (result != RESULT_OK) {
        System::FileInfo left;
        if (options.lock && !lock.IsHeld() && System::Examine(temporary, left) && left.exists)
            throw Failure("cannot replace " + name + ": another process holds its lock, so the rebuilt file is left as " +
                          temporary);
        throw Failure("cannot rebuild " + name + " in place" + RebuildReason(name, result, reader, temporary));
    }
    Summarise(options, "rebuilt " + name + " in place", size, reader.Tally().bytes, clock.Seconds());
}

} // namespace

void Patch(const Options& options)
{
    const Stopwatch clock;
    if (options.inPlace)
        PatchInPlace(options, clock);
    else
        PatchToNewFile(options, clock);
}

} // namespace Tool
} // namespace Halvorn
