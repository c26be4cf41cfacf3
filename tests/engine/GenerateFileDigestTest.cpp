#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/Road.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

class GenerateFileDigestTest : public ::testing::Test {
protected:
    // Signs `bytes` with window `window` and checks the whole signature against the definition:
    // the caller's version, the file's size, time (in seconds since 1970) and SHA-1, and block i
    // for bytes i*W onwards under their own checksum and MD5. Answers its groups.
    Groups ExpectSignatureOf(const std::string& bytes, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", bytes);
        const auto clock = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(dir.NativePath(L"old.bin"), clock - std::chrono::hours(50));
        MemoryDigestIO store;
        store.WriteVersion(7);
        FileDigest digest(&store);
        Korrin engine;
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const std::int64_t time = PropertiesOf(store).time;
        EXPECT_NEAR(double(time),
                    double(std::chrono::duration_cast<std::chrono::seconds>(now).count() - 50 * 3600), 5.0);
        EXPECT_EQ(PropertiesOf(store), (DeltaProperties{7, window, bytes.size(), time, Sha1Of(bytes)}));
        MemoryDigestIO expected;
        for (std::size_t at = 0; at < bytes.size(); at += window) {
            const auto* data = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
            const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(window, bytes.size() - at));
            Rcheck32Digest checksum;
            checksum.Start(data, length);
            MD5Digest md5;
            md5.Append(data, length);
            md5.Finish();
            std::uint32_t weak = 0;
            _md5_hash strong;
            checksum.GetDigest(weak);
            md5.GetDigest(strong);
            expected.WriteDigest(static_cast<std::uint32_t>(at / window), weak, strong);
        }
        EXPECT_EQ(GroupsOf(store), GroupsOf(expected));
        return GroupsOf(store);
    }

    TempDir dir;
};

TEST_F(GenerateFileDigestTest, FilesOfWholeAndPartialBlocks)
{
    const std::string bytes = PatternBytes(3 * 1024 + 100, 3);
    ExpectSignatureOf("", 4);
    ExpectSignatureOf(bytes.substr(0, 3 * 1024), 1024); // k*W: ends on a read of 0 bytes
    ExpectSignatureOf(bytes, 1024);                     // k*W + r: a short last block
    ExpectSignatureOf(bytes, 1);
    ExpectSignatureOf(bytes, 5000);                 // one block shorter than the window
    ExpectSignatureOf(std::string(4096, 'z'), 512); // every block equal: one group
    // Blocks "abcd", "efgh" and "ij": the short last block is checksummed over its two bytes,
    // A = 105 + 106, B = 105 + 211.
    EXPECT_EQ(std::get<0>(ExpectSignatureOf("abcdefghij", 4).at(0)), 0x013C00D3u);
}

} // namespace
