// Delta generation takes faster paths when the signature is in the library's own store:
// lookups made inline, windows scanned in vector registers, candidate blocks confirmed in
// batches ahead of the loop. A store derived from it, which could answer otherwise, gets the
// plain path: one lookup through the interface and one MD5 stream per window. Both must give
// the same delta byte for byte, whatever the files and the window size.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Road.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;

class PlainSignature : public MemoryDigestIO {};

class FastPathDeltaTest : public ::testing::Test {
protected:
    std::vector<unsigned char> DeltaAgainst(MemoryDigestIO& signature, std::uint32_t window)
    {
        Korrin engine;
        engine.SetWindowSize(window);
        FileDigest digest(&signature);
        digest.SetVersion(1);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old"), digest), RESULT_OK);
        MemoryDeltaIO changes;
        FileDelta delta(&changes);
        EXPECT_EQ(engine.GenerateFileDelta(dir.Path(L"new"), digest, delta), RESULT_OK);
        return KorrinTest::BlobOf(changes);
    }

    void ExpectSameDeltas(const std::string& old, const std::string& now, std::uint32_t window)
    {
        dir.WriteFile(L"old", old);
        dir.WriteFile(L"new", now);
        MemoryDigestIO own;
        PlainSignature plain;
        ASSERT_TRUE(DeltaAgainst(own, window) == DeltaAgainst(plain, window))
            << "window " << window << ", " << old.size() << " and " << now.size() << " bytes";
    }

    KorrinTest::TempDir dir;
};

TEST_F(FastPathDeltaTest, RandomPairsGiveTheDeltaOfThePlainPath)
{
    std::mt19937 random(1234);
    auto bytes = [&](std::size_t n, unsigned alphabet) {
        std::string s(n, '\0');
        for (char& c : s)
            c = static_cast<char>(random() % alphabet);
        return s;
    };
    const std::uint32_t windows[] = {1, 2, 3, 7, 64, 333, 700, 2048, 4096, 65536};
    for (int round = 0; round < 30; ++round) {
        // Few letters make checksums collide and blocks repeat; runs of one byte make
        // long runs of equal blocks.
        const unsigned alphabet = round % 3 == 0 ? 2 : round % 3 == 1 ? 256 : 4;
        std::string old = bytes(random() % (round % 5 == 0 ? 400000 : 40000), alphabet);
        if (round % 4 == 0)
            old += std::string(random() % 50000, 'z');
        std::string now = old;
        for (int edit = static_cast<int>(random() % 12); edit > 0; --edit) {
            const std::size_t at = now.empty() ? 0 : random() % now.size();
            switch (random() % 4) {
            case 0:
                now.insert(at, bytes(1 + random() % 3000, alphabet));
                break;
            case 1:
                now.erase(at, 1 + random() % 3000);
                break;
            case 2:
                now.insert(at, old.substr(random() % (old.size() + 1), random() % 9000)); // a copy moved
                break;
            default:
                if (!now.empty())
                    now[at] = static_cast<char>(now[at] ^ 1);
            }
        }
        const std::uint32_t window = windows[round % 10];
        ExpectSameDeltas(old, now, window);
        ExpectSameDeltas(old, old, window);
    }
}

} // namespace
