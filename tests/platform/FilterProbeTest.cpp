#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "Vantrel/signature/ChecksumFilter.h"
#include "platform/FilterProbe.h"

namespace {

using Halvorn::Vantrel::ChecksumFilter;

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
