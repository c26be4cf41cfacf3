// Every version of the platform's vector routines this processor runs, and the dispatching
// routine itself, against a plain definition: the MD5 values of many messages against the
// hashing layer, one message at a time; block sums and rolled checksums against their sums;
// the checksum filter's probes against the filter's own answers.
#include "platform/Md5Lanes.h"

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantrel/signature/ChecksumFilter.h"
#include "platform/FilterProbe.h"
#include "platform/RollingSums.h"
#include "platform/portable/Md5LanesCore.h"
#include "support/Stores.h"

namespace {

using Halvorn::Platform::Md5ManyVariant;
using Halvorn::Vantrel::ChecksumFilter;
using KorrinTest::Md5Of;
using KorrinTest::ToHex;

// Lengths around the padding's edges: one block or two, whole blocks, one byte past them.
constexpr std::uint32_t kEdges[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 129};

class Md5Lanes : public ::testing::Test {
protected:
    // One pool of bytes: messages drawn from it overlap as often as not.
    static const std::string& Pool()
    {
        static const std::string pool = KorrinTest::PatternBytes(3u << 20, 11);
        return pool;
    }

    static const unsigned char* At(std::size_t offset)
    {
        return reinterpret_cast<const unsigned char*>(Pool().data()) + offset;
    }

    // Each version's values equal the hashing layer's, and nothing is written past the last.
    static void ExpectLayerValues(const std::vector<const unsigned char*>& data,
                                  const std::vector<std::uint32_t>& lengths)
    {
        std::vector<Md5ManyVariant> variants = Halvorn::Platform::Md5ManyVariants();
        variants.push_back({"Md5Many", Halvorn::Platform::Md5Many});
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < data.size(); ++i)
            expected.push_back(ToHex(Md5Of(std::string(reinterpret_cast<const char*>(data[i]), lengths[i]))));
        for (const Md5ManyVariant& variant : variants) {
            _md5_hash sentinel;
            for (unsigned char& byte : sentinel.bytes)
                byte = 0xA5;
            std::vector<_md5_hash> out(data.size() + 1, sentinel);
            ASSERT_TRUE(variant.hash(data.data(), lengths.data(), data.size(), out.data())) << variant.name;
            for (std::size_t i = 0; i < data.size(); ++i)
                ASSERT_EQ(ToHex(out[i]), expected[i]) << variant.name << ": message " << i << " of "
                                                      << data.size() << ", " << lengths[i] << " bytes";
            EXPECT_EQ(ToHex(out.back()), ToHex(sentinel)) << variant.name << ": written past the last value";
        }
    }
};

// Any mix: every lane count up to well past two rounds of the widest lanes, each message its
// own length (edges and anything up to 5000 bytes), start and alignment, empty ones sometimes
// without data. Then the two common cases, for each length: a file's consecutive blocks, the
// last one shorter, for one lane round and a bit, and a few windows of one length one byte apart.
TEST_F(Md5Lanes, MessagesOfEveryLengthAndPlace)
{
    std::mt19937 random(5);
    for (std::size_t count = 0; count <= 40; ++count) {
        std::vector<const unsigned char*> data;
        std::vector<std::uint32_t> lengths;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t length =
                random() % 2 ? kEdges[random() % std::size(kEdges)] : random() % 5000;
            data.push_back(length == 0 && random() % 2 ? nullptr : At(random() % (Pool().size() - length)));
            lengths.push_back(length);
        }
        ExpectLayerValues(data, lengths);
    }
    std::vector<std::uint32_t> windows(std::begin(kEdges) + 1, std::end(kEdges));
    windows.insert(windows.end(), {2048, 65536});
    for (std::uint32_t window : windows) {
        std::vector<const unsigned char*> blocks, starts;
        for (std::size_t i = 0; i < 33; ++i)
            blocks.push_back(At(window * i));
        std::vector<std::uint32_t> lengths(blocks.size(), window);
        lengths.back() = window / 3;
        ExpectLayerValues(blocks, lengths);
        for (std::size_t i = 0; i < 5; ++i)
            starts.push_back(At(777 + i));
        ExpectLayerValues(starts, std::vector<std::uint32_t>(starts.size(), window));
    }
}

// The length in bits takes 64 bits once a message reaches 512 MiB, too long to hash here.
TEST_F(Md5Lanes, PaddingCarriesTheLengthInBitsInSixtyFourBits)
{
    const std::string rest = KorrinTest::PatternBytes(63);
    for (std::uint32_t length : {0x20000000u, 0xFFFFFFFFu}) {
        unsigned char tail[128];
        const std::uint32_t blocks =
            Halvorn::Platform::Md5Tail(reinterpret_cast<const unsigned char*>(rest.data()), length, tail);
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | tail[64 * blocks - 8 + i];
        EXPECT_EQ(bits, std::uint64_t{length} * 8) << length;
    }
}

// Bytes of every value.
std::vector<unsigned char> VariedBytes(std::size_t size)
{
    const std::string bytes = KorrinTest::PatternBytes(size, 99);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// Every implementation, and the one chosen, against the definition, over lengths around their
// group sizes and blocks long enough to wrap every lane, with bytes of every value.
TEST(RollingSums, EveryImplementationGivesTheDefinedSums)
{
    const std::vector<unsigned char> bytes = VariedBytes(1u << 20);
    const std::vector<unsigned char> high(70000, 0xFF);
    std::vector<Halvorn::Platform::BlockSumsVariant> variants = Halvorn::Platform::BlockSumsVariants();
    variants.push_back({"chosen", Halvorn::Platform::BlockSums});
    for (const auto* data : {&bytes, &high}) {
        for (std::uint32_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 63u, 64u, 65u, 127u, 2048u, 65537u, 69999u}) {
            std::uint32_t a = 0, b = 0;
            for (std::uint32_t i = 0; i < length; ++i) {
                a += (*data)[i];
                b += a;
            }
            for (const auto& variant : variants) {
                std::uint32_t sumA = 1, sumB = 1;
                variant.sums(data->data(), length, sumA, sumB);
                EXPECT_EQ(sumA, a) << variant.name << ' ' << length;
                EXPECT_EQ(sumB, b) << variant.name << ' ' << length;
            }
        }
    }
}

// Checksums of any stretch of `bytes` in constant time, from the definition rewritten with
// prefix sums P(n) = x(0) + ... + x(n-1) and Q(n) = P(1) + ... + P(n): the plain sum of
// x(s) .. x(s+w-1) is P(s+w) - P(s), its running sum Q(s+w) - Q(s) - w P(s).
class Checksums {
public:
    explicit Checksums(const std::vector<unsigned char>& bytes) : p_(bytes.size() + 1, 0), q_(bytes.size() + 1, 0)
    {
        for (std::size_t n = 1; n <= bytes.size(); ++n) {
            p_[n] = p_[n - 1] + bytes[n - 1];
            q_[n] = q_[n - 1] + p_[n];
        }
    }
    std::uint32_t Of(std::size_t start, std::uint32_t length) const
    {
        const std::uint32_t a = p_[start + length] - p_[start];
        const std::uint32_t b = q_[start + length] - q_[start] - length * p_[start];
        return (b << 16) | (a & 0xFFFFu);
    }

private:
    std::vector<std::uint32_t> p_, q_;
};

// Every implementation against the definition at every position: from every alignment,
// over counts around the vector groups of 8, 16 and 32 and their remainders, with windows short
// and long, including ones whose length does not fit in 16 bits. The sums passed in carry
// junk above their low 16 bits, which must not count.
TEST(RollingSums, RolledChecksumsAreTheChecksumsOfEachWindow)
{
    const std::vector<unsigned char> bytes = VariedBytes(300000);
    const std::vector<unsigned char> high(bytes.size(), 0xFF);
    for (const Halvorn::Platform::RollChecksumsVariant& variant : Halvorn::Platform::RollChecksumsVariants()) {
        for (const auto* data : {&bytes, &high}) {
            const Checksums checksums(*data);
            for (std::uint32_t window : {1u, 2u, 15u, 16u, 17u, 2048u, 65536u, 65551u, 100000u}) {
                for (std::uint32_t offset = 0; offset < 17; ++offset) {
                    for (std::uint32_t count : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 100u}) {
                        const unsigned char* start = data->data() + offset;
                        const std::uint32_t before = checksums.Of(offset, window);
                        std::uint32_t plain = (before & 0xFFFFu) + 0x12340000u;
                        std::uint32_t running = (before >> 16) + 0xABCD0000u;
                        std::vector<std::uint32_t> out(count + 1, 0xDEADBEEFu);
                        variant.roll(start, count, window, plain, running, out.data());
                        for (std::uint32_t k = 0; k < count; ++k)
                            ASSERT_EQ(out[k], checksums.Of(offset + k + 1, window))
                                << variant.name << " window " << window << " offset " << offset << " count " << count << " k " << k;
                        EXPECT_EQ(out[count], 0xDEADBEEFu) << variant.name << " wrote past the last window";
                        const std::uint32_t last = count == 0 ? before : out[count - 1];
                        EXPECT_EQ(plain, last & 0xFFFFu) << variant.name << " " << window << " " << offset << " " << count;
                        EXPECT_EQ(running, last >> 16) << variant.name << " " << window << " " << offset << " " << count;
                    }
                }
            }
        }
    }
}

// Every version against the filter's own answers, one checksum at a time: for filters
// empty, small, at their intended fill, overfull (most answers "maybe") and large (words far
// apart), for checksums added and not, over counts around the vector groups of 8, 16 and 64
// and from several starts. Bits past the count stay clear and nothing past the last word is
// written.
TEST(FilterProbe, EveryVersionGivesTheFiltersAnswers)
{
    struct Case {
        std::size_t sized;
        std::size_t added;
    };
    std::mt19937 random(17);
    for (const Case c :
         {Case{0, 0}, Case{100, 100}, Case{5000, 5000}, Case{1000, 30000}, Case{1u << 20, 1u << 20}}) {
        ChecksumFilter filter;
        filter.Reset(c.sized);
        std::vector<std::uint32_t> added(c.added);
        for (std::uint32_t& checksum : added) {
            checksum = random();
            filter.Add(checksum);
        }
        std::vector<std::uint32_t> asked(400);
        for (std::uint32_t& checksum : asked)
            checksum = added.empty() || random() % 4 != 0 ? random() : added[random() % added.size()];
        std::size_t maybes = 0;
        for (const std::uint32_t checksum : asked)
            maybes += filter.MayContain(checksum);
        if (c.added >= 100) { // both answers occur, or the comparison below proves little
            ASSERT_TRUE(maybes > 0 && maybes < asked.size()) << c.sized << " " << c.added;
        }

        for (const Halvorn::Platform::FilterProbeVariant& variant :
             Halvorn::Platform::FilterProbeVariants()) {
            for (std::uint32_t start : {0u, 1u, 3u}) {
                for (std::uint32_t count :
                     {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 63u, 64u, 65u, 130u, 396u}) {
                    const std::uint32_t words = (count + 63) / 64;
                    std::vector<std::uint64_t> maybe(words + 1, 0x5A5A5A5A5A5A5A5Au);
                    variant.probe(asked.data() + start, count, filter.Words(), filter.Shift(), maybe.data());
                    for (std::uint32_t i = 0; i < words * 64; ++i)
                        ASSERT_EQ((maybe[i / 64] >> (i % 64)) & 1,
                                  i < count && filter.MayContain(asked[start + i]) ? 1u : 0u)
                            << variant.name << " filter " << c.sized << "/" << c.added << " start " << start
                            << " count " << count << " checksum " << i;
                    EXPECT_EQ(maybe[words], 0x5A5A5A5A5A5A5A5Au)
                        << variant.name << " wrote past the last word";
                }
            }
        }
    }
}

} // namespace
