#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantrel/digests/Sha1Beside.h"
#include "support/Stores.h"
#include "support/TestData.h"

namespace {

using namespace KorrinTest;
using Halvorn::Vantrel::SHA1Digest;
using Halvorn::Vantrel::Sha1Beside;

// Inputs on both sides of the bytes hashed in line, in pieces of odd sizes that pass through
// two buffers, each overwritten as soon as Settle allows: the digest must end as appending the
// same pieces in line leaves it, whether read after Settle() or after the destructor.
TEST(Sha1Beside, EndsAsTheSameAppendsInLine)
{
    const std::string bytes = PatternBytes(3u << 20, 9);
    const auto inlineBytes = static_cast<std::uint32_t>(Sha1Beside::kInlineBytes);
    for (std::uint32_t size : {0u, 4099u, inlineBytes, inlineBytes + 1, 3u << 20}) {
        for (std::uint32_t piece : {4099u, 65536u, (1u << 20) + 3}) {
            SCOPED_TRACE(testing::Message() << size << " bytes in pieces of " << piece);
            const bool settled = piece == 65536u;
            SHA1Digest digest;
            {
                std::vector<unsigned char> buffers[2] = {std::vector<unsigned char>(piece),
                                                         std::vector<unsigned char>(piece)};
                Sha1Beside sha1(digest);
                for (std::uint32_t at = 0, turn = 0; at < size; at += piece, turn ^= 1) {
                    sha1.Settle(1);
                    const std::uint32_t length = std::min(piece, size - at);
                    std::memcpy(buffers[turn].data(), bytes.data() + at, length);
                    sha1.Append(buffers[turn].data(), length);
                }
                if (settled) {
                    sha1.Settle();
                    digest.Finish();
                }
            }
            if (!settled)
                digest.Finish();
            EXPECT_TRUE(digest == FinishedSha1(bytes.substr(0, size)));
        }
    }
}

} // namespace
