// A signature store that refuses chosen operations with a chosen code, for the failure
// paths of the code that writes or reads signatures. Everything else is the in-memory store.
#ifndef KORRIN_TESTS_SUPPORT_REFUSINGDIGESTIO_H
#define KORRIN_TESTS_SUPPORT_REFUSINGDIGESTIO_H

#include <Vantrel/MemoryDigestIO.h>

namespace KorrinTest {

class RefusingDigestIO : public Halvorn::Vantrel::MemoryDigestIO {
public:
    // 0 means "never"; otherwise the nth call of WriteDigest (1-based) and every later one fail.
    int refuseWriteDigestFrom = 0;
    int refuseWindowSize = 0;
    int refuseFileSize = 0;
    int refuseModifiedTime = 0;
    int refuseFileDigest = 0; // both reading and writing the SHA-1 value
    int refuseFinish = 0;
    int code = 7;
    int writeDigestCalls = 0;

    int WriteDigest(std::uint32_t blockIndex, const std::uint32_t& checksum, const _md5_hash& md5) override
    {
        ++writeDigestCalls;
        if (refuseWriteDigestFrom != 0 && writeDigestCalls >= refuseWriteDigestFrom)
            return code;
        return MemoryDigestIO::WriteDigest(blockIndex, checksum, md5);
    }
    int WriteWindowSize(std::uint32_t value) override
    {
        return refuseWindowSize ? code : MemoryDigestIO::WriteWindowSize(value);
    }
    int WriteFileSize(std::uint64_t value) override
    {
        return refuseFileSize ? code : MemoryDigestIO::WriteFileSize(value);
    }
    int WriteFileModifiedTime(const std::int64_t& value) override
    {
        return refuseModifiedTime ? code : MemoryDigestIO::WriteFileModifiedTime(value);
    }
    int WriteFileDigest(const _sha1_hash& value) override
    {
        return refuseFileDigest ? code : MemoryDigestIO::WriteFileDigest(value);
    }
    int ReadFileDigest(_sha1_hash& value) override
    {
        return refuseFileDigest ? code : MemoryDigestIO::ReadFileDigest(value);
    }
    int Finish() override { return refuseFinish ? code : MemoryDigestIO::Finish(); }
};

} // namespace KorrinTest

#endif
