// The five properties of a delta store as one value, so that tests can set, read and compare
// them in one go.
#ifndef KORRIN_TESTS_SUPPORT_DELTAPROPERTIES_H
#define KORRIN_TESTS_SUPPORT_DELTAPROPERTIES_H

#include <cstdint>
#include <ostream>

#include <gtest/gtest.h>

#include <Vantrel/IDeltaIO.h>
#include <Vantrel/ResultCodes.h>

namespace KorrinTest {

// A recognisable SHA-1 value: first, first + 1, ...
inline _sha1_hash Sha1Pattern(unsigned char first)
{
    _sha1_hash value;
    for (unsigned i = 0; i < 20; ++i)
        value.bytes[i] = static_cast<unsigned char>(first + i);
    return value;
}

struct DeltaProperties {
    std::uint32_t version;
    std::uint32_t window;
    std::uint64_t size;
    std::int64_t time;
    _sha1_hash sha1;
    bool operator==(const DeltaProperties& o) const
    {
        return version == o.version && window == o.window && size == o.size && time == o.time &&
               sha1 == o.sha1;
    }
};

inline std::ostream& operator<<(std::ostream& out, const DeltaProperties& p)
{
    return out << "version " << p.version << " window " << p.window << " size " << p.size << " time "
               << p.time << " sha1 starting " << int(p.sha1.bytes[0]);
}

inline void WriteProperties(Halvorn::Vantrel::IDeltaIO& store, const DeltaProperties& p)
{
    EXPECT_EQ(store.WriteVersion(p.version), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteWindowSize(p.window), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteFileSize(p.size), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteFileModifiedTime(p.time), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteFileDigest(p.sha1), Halvorn::Vantrel::RESULT_OK);
}

inline DeltaProperties PropertiesOf(Halvorn::Vantrel::IDeltaIO& store)
{
    // Preset to values no test writes, so that a read that writes nothing shows.
    DeltaProperties p{99, 99, 99, 99, Sha1Pattern(99)};
    EXPECT_EQ(store.ReadVersion(p.version), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadWindowSize(p.window), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadFileSize(p.size), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadFileModifiedTime(p.time), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadFileDigest(p.sha1), Halvorn::Vantrel::RESULT_OK);
    return p;
}

} // namespace KorrinTest

#endif
