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
        for (std::uint32_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 2048u, 65537u, 69999u}) {
            std::uint32_t a = 0, b = 0;
            for (std::uint32_t i = 0; i < length; ++i) {
                a += (*data)[i];
                b += a;
            }
            std::uint32_t fastA = 1, fastB = 1, plainA = 1, plainB = 1;
            Halvorn::Platform::BlockSums(data->data(), length, fastA, fastB);
            Halvorn::Platform::BlockSumsPortable(data->data(), length, plainA, plainB);
            EXPECT_EQ(fastA, a) << length;
            EXPECT_EQ(fastB, b) << length;
            EXPECT_EQ(plainA, a) << length;
            EXPECT_EQ(plainB, b) << length;
        }
    }
}

} // namespace
