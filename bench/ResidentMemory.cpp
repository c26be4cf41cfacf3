// Linux-specific on purpose: /proc/self/status for VmRSS and VmHWM, /proc/self/clear_refs to
// reset VmHWM, and glibc's malloc_trim to return cached free memory. Kept here so that no
// other benchmark file depends on the operating system.
#include "ResidentMemory.h"

#include <fstream>
#include <sstream>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace KorrinBench {

namespace {

// A "Name:   1234 kB" line of /proc/self/status, in bytes.
bool ParseKilobytes(const std::string& line, const char* name, std::uint64_t& bytes)
{
    const std::string prefix = std::string(name) + ":";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::istringstream fields(line.substr(prefix.size()));
    std::uint64_t kilobytes = 0;
    std::string unit;
    if (!(fields >> kilobytes >> unit) || unit != "kB")
        return false;
    bytes = kilobytes * 1024;
    return true;
}

} // namespace

bool ReadResidentMemory(ResidentMemory& memory)
{
    std::ifstream status("/proc/self/status");
    bool haveCurrent = false;
    bool havePeak = false;
    for (std::string line; std::getline(status, line);) {
        haveCurrent = ParseKilobytes(line, "VmRSS", memory.current) || haveCurrent;
        havePeak = ParseKilobytes(line, "VmHWM", memory.peak) || havePeak;
    }
    return haveCurrent && havePeak;
}

bool ResetPeakResidentMemory()
{
    // Writing 5 resets the peak resident size (Linux 4.0 and later).
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

void ReleaseFreeMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace KorrinBench
