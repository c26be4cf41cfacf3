// Stores that refuse chosen operations with a chosen code, for the failure paths of the code
// that writes or reads signatures and deltas; everything else is the in-memory store's. A
// refused read of the SHA-1 value scribbles over it, so that a caller trusting it shows.
//
//     KorrinTest::RefusingDeltaIO store;
//     store.Refuse(KorrinTest::Call::Record, 2);  // the second instruction written, and every later one
#ifndef KORRIN_TESTS_SUPPORT_REFUSING_H
#define KORRIN_TESTS_SUPPORT_REFUSING_H

#include <iterator>
#include <numeric>

#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>

namespace KorrinTest {

// Properties are refused both ways. Record is a block or an instruction written, ReadRecord an
// instruction read; Lookup and BlockLookup are the two forms of a signature's Find.
enum class Call { Version, Window, Size, Time, Sha1, Finish, Record, ReadRecord, Lookup, BlockLookup };

template <typename Store>
class Refusing : public Store {
public:
    int code = 7;
    // From the nth call of `call` on (1-based, counted from now), every one is refused, with
    // `with` from then on when given.
    void Refuse(Call call, int nth = 1, int with = 0)
    {
        from_[int(call)] = calls_[int(call)] + nth;
        code = with != 0 ? with : code;
    }
    // Calls of that kind, or (without one) of every kind, refused ones included.
    int Calls(Call call) const { return calls_[int(call)]; }
    int Calls() const { return std::accumulate(std::begin(calls_), std::end(calls_), 0); }

    // Each property both ways: the store's own call, unless `call` is refused.
    // clang-format off
#define KORRIN_REFUSABLE(name, type, call) \
    int name(type v) override { return Refused(Call::call) ? code : Store::name(v); }
    KORRIN_REFUSABLE(WriteVersion, std::uint32_t, Version)
    KORRIN_REFUSABLE(ReadVersion, std::uint32_t&, Version)
    KORRIN_REFUSABLE(WriteWindowSize, std::uint32_t, Window)
    KORRIN_REFUSABLE(ReadWindowSize, std::uint32_t&, Window)
    KORRIN_REFUSABLE(WriteFileSize, std::uint64_t, Size)
    KORRIN_REFUSABLE(ReadFileSize, std::uint64_t&, Size)
    KORRIN_REFUSABLE(WriteFileModifiedTime, const std::int64_t&, Time)
    KORRIN_REFUSABLE(ReadFileModifiedTime, std::int64_t&, Time)
    KORRIN_REFUSABLE(WriteFileDigest, const _sha1_hash&, Sha1)
#undef KORRIN_REFUSABLE
    // clang-format on
    int ReadFileDigest(_sha1_hash& v) override
    {
        if (!Refused(Call::Sha1))
            return Store::ReadFileDigest(v);
        for (unsigned char& byte : v.bytes)
            byte = 0xEE;
        return code;
    }
    int Finish() override
    {
        return Refused(Call::Finish) ? code : Store::Finish();
    }

protected:
    bool Refused(Call call) const
    {
        const int n = ++calls_[int(call)];
        return from_[int(call)] != 0 && n >= from_[int(call)];
    }

private:
    mutable int calls_[10] = {};
    int from_[10] = {};
};

class RefusingDigestIO : public Refusing<Halvorn::Vantrel::MemoryDigestIO> {
public:
    int WriteDigest(std::uint32_t index, const std::uint32_t& checksum, const _md5_hash& md5) override
    {
        return Refused(Call::Record) ? code : MemoryDigestIO::WriteDigest(index, checksum, md5);
    }
    int Find(const std::uint32_t& checksum, bool& found) const override
    {
        return Refused(Call::Lookup) ? code : MemoryDigestIO::Find(checksum, found);
    }
    int Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
             std::uint32_t& index) const override
    {
        return Refused(Call::BlockLookup) ? code : MemoryDigestIO::Find(checksum, md5, found, index);
    }
};

class RefusingDeltaIO : public Refusing<Halvorn::Vantrel::MemoryDeltaIO> {
public:
    int WriteDelta(const unsigned char* data, std::uint32_t length) override
    {
        return Refused(Call::Record) ? code : MemoryDeltaIO::WriteDelta(data, length);
    }
    int WriteDelta(std::uint32_t index) override
    {
        return Refused(Call::Record) ? code : MemoryDeltaIO::WriteDelta(index);
    }
    int ReadDelta(void** cursor, boost::shared_ptr<Halvorn::Vantrel::DeltaEntry>& entry) override
    {
        return Refused(Call::ReadRecord) ? code : MemoryDeltaIO::ReadDelta(cursor, entry);
    }
};

} // namespace KorrinTest

#endif
