#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/RollingSums.h"

namespace {

// Both implementations against the definition, over lengths around their group sizes and
// blocks long enough to wrap every lane, with bytes of every value.
TEST(RollingSums, EveryImplementationGivesTheDefinedSums)
{
    std::mt19937 random(99);
    std::vector<unsigned char> bytes(1u << 20);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    std::vector<unsigned char> high(70000, 0xFF);
    for (const auto* data : {&bytes, &high}) {
        for (std::uint32_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 63u, 64u, 65u, 127u, 2048u, 65537u, 69999u}) {
            std::uint32_t a = 0, b = 0;
            for (std::uint32_t i = 0; i < length; ++i) {
                a += (*data)[i];
                b += a;
            }
            for (const auto& variant : Halvorn::Platform::BlockSumsVariants()) {
                std::uint32_t sumA = 1, sumB = 1;
                variant.sums(data->data(), length, sumA, sumB);
                EXPECT_EQ(sumA, a) << variant.name << ' ' << length;
                EXPECT_EQ(sumB, b) << variant.name << ' ' << length;
            }
            std::uint32_t chosenA = 1, chosenB = 1;
            Halvorn::Platform::BlockSums(data->data(), length, chosenA, chosenB);
            EXPECT_EQ(chosenA, a) << length;
            EXPECT_EQ(chosenB, b) << length;
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
    std::mt19937 random(7);
    std::vector<unsigned char> bytes(300000);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    std::vector<unsigned char> high(bytes.size(), 0xFF);
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

} // namespace
