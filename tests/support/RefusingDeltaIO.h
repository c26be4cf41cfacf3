// A delta store that refuses chosen operations with a chosen code, for the failure paths of
// the code that writes or reads deltas. Everything else is the in-memory store.
#ifndef KORRIN_TESTS_SUPPORT_REFUSINGDELTAIO_H
#define KORRIN_TESTS_SUPPORT_REFUSINGDELTAIO_H

#include <Vantrel/MemoryDeltaIO.h>

namespace KorrinTest {

class RefusingDeltaIO : public Halvorn::Vantrel::MemoryDeltaIO {
public:
    // 0 means "never"; otherwise the nth instruction written (1-based, either form) and
    // every later one fail.
    int refuseDeltaFrom = 0;
    int refuseVersion = 0;
    int refuseWindowSize = 0;
    int refuseFileSize = 0;
    int refuseModifiedTime = 0;
    int refuseFileDigest = 0; // both reading and writing the SHA-1 value
    int refuseFinish = 0;
    int code = 7;
    int deltaCalls = 0;

    int WriteDelta(const unsigned char* data, std::uint32_t length) override
    {
        return Refused() ? code : MemoryDeltaIO::WriteDelta(data, length);
    }
    int WriteDelta(std::uint32_t blockIndex) override
    {
        return Refused() ? code : MemoryDeltaIO::WriteDelta(blockIndex);
    }
    int WriteVersion(std::uint32_t value) override
    {
        return refuseVersion ? code : MemoryDeltaIO::WriteVersion(value);
    }
    int WriteWindowSize(std::uint32_t value) override
    {
        return refuseWindowSize ? code : MemoryDeltaIO::WriteWindowSize(value);
    }
    int WriteFileSize(std::uint64_t value) override
    {
        return refuseFileSize ? code : MemoryDeltaIO::WriteFileSize(value);
    }
    int WriteFileModifiedTime(const std::int64_t& value) override
    {
        return refuseModifiedTime ? code : MemoryDeltaIO::WriteFileModifiedTime(value);
    }
    int WriteFileDigest(const _sha1_hash& value) override
    {
        return refuseFileDigest ? code : MemoryDeltaIO::WriteFileDigest(value);
    }
    // A refused read still scribbles over `value`, so that a caller trusting it shows.
    int ReadFileDigest(_sha1_hash& value) override
    {
        if (!refuseFileDigest)
            return MemoryDeltaIO::ReadFileDigest(value);
        for (unsigned char& byte : value.bytes)
            byte = 0xEE;
        return code;
    }
    int Finish() override { return refuseFinish ? code : MemoryDeltaIO::Finish(); }

private:
    bool Refused()
    {
        ++deltaCalls;
        return refuseDeltaFrom != 0 && deltaCalls >= refuseDeltaFrom;
    }
};

} // namespace KorrinTest

#endif
