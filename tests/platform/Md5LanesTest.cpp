// Every version of Md5Many this processor runs, and the dispatching Md5Many itself, against
// the hashing layer, one message at a time.
#include "platform/Md5Lanes.h"

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Hashing.h"
#include "platform/portable/Md5LanesCore.h"
#include "support/HexValue.h"
#include "support/TestData.h"

namespace {

using Halvorn::Platform::Md5ManyVariant;
using KorrinTest::ToHex;

std::string Md5Of(const unsigned char* data, std::uint32_t length)
{
    md5_context* context = nullptr;
    _md5_hash value{};
    const bool done =
        md5_init(&context) == 0 && md5_append(context, data, length) == 0 && md5_finish(context, &value) == 0;
    md5_destroy(context);
    return done ? ToHex(value) : "hashing layer failed";
}

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
            expected.push_back(Md5Of(data[i], lengths[i]));
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

// Any mix: every lane count up to well past two rounds of the widest lanes, each message
// its own length (edges and anything up to 5000 bytes), start and alignment; empty ones
// sometimes without data.
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
}

// The two common cases, for each length: a file's consecutive blocks, the last one shorter,
// for one lane round and a bit, and a few windows of one length one byte apart.
TEST_F(Md5Lanes, BlocksOfOneLengthAndWindowsOneByteApart)
{
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

} // namespace
