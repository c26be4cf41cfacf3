#include <gtest/gtest.h>

#include <Vantrel/Korrin.h>

namespace {

using Halvorn::Vantrel::Korrin;

std::uint32_t WindowOf(const Korrin& engine)
{
    std::uint32_t size = 12345;
    engine.GetWindowSize(size);
    return size;
}

TEST(Korrin, StartsWithWindowSizeZeroAndStoresAnyValue)
{
    Korrin engine;
    EXPECT_EQ(WindowOf(engine), 0u);
    for (std::uint32_t value : {0u, 1u, 2048u, 0x80000000u, 4294967295u}) {
        engine.SetWindowSize(value);
        EXPECT_EQ(WindowOf(engine), value);
    }
}

TEST(Korrin, CopiesAreIndependent)
{
    Korrin source;
    source.SetWindowSize(4096);
    Korrin copy(source);
    Korrin assigned;
    assigned = source;
    EXPECT_EQ(WindowOf(copy), 4096u);
    EXPECT_EQ(WindowOf(assigned), 4096u);

    copy.SetWindowSize(7);
    assigned.SetWindowSize(9);
    EXPECT_EQ(WindowOf(source), 4096u);
}

} // namespace
