#include <cstring>

#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/RefusingDigestIO.h"

namespace {

using Halvorn::Vantrel::FileDigest;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;
using KorrinTest::IsErrorLine;
using KorrinTest::LogCapture;
using KorrinTest::RefusingDigestIO;

SHA1Digest FinishedOver(const char* text)
{
    SHA1Digest digest;
    digest.Append(reinterpret_cast<const unsigned char*>(text),
                  static_cast<std::uint32_t>(std::strlen(text)));
    digest.Finish();
    return digest;
}

TEST(FileDigestSha1, GoesInAsBytesAndComesBackFinished)
{
    MemoryDigestIO store;
    FileDigest digest(&store);
    ASSERT_EQ(digest.SetFileDigest(FinishedOver("abc")), RESULT_OK);
    SHA1Digest out;
    ASSERT_EQ(digest.GetFileDigest(out), RESULT_OK);
    // Finished: the left side of == must be, and the value is the one given.
    EXPECT_TRUE(out == FinishedOver("abc"));
    EXPECT_TRUE(out != FinishedOver("abd"));

    // An unfinished digest stores its 20 zero bytes.
    ASSERT_EQ(digest.SetFileDigest(SHA1Digest()), RESULT_OK);
    _sha1_hash stored;
    store.ReadFileDigest(stored);
    EXPECT_EQ(stored, _sha1_hash{});
}

TEST(FileDigestSha1, AFailingStoreIsLoggedAndLeavesTheCallersDigest)
{
    RefusingDigestIO store;
    store.refuseFileDigest = 1;
    store.code = 12345;
    FileDigest digest(&store);
    LogCapture capture;

    EXPECT_EQ(digest.SetFileDigest(FinishedOver("x")), 12345);
    EXPECT_TRUE(capture.Lines().empty()); // setting reports nothing itself

    SHA1Digest out = FinishedOver("kept");
    EXPECT_EQ(digest.GetFileDigest(out), 12345);
    EXPECT_TRUE(out == FinishedOver("kept"));
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_TRUE(
        IsErrorLine(capture.Texts()[0], L"Error 12345 at func: Halvorn::Vantrel::FileDigest::GetFileDigest"));
}

} // namespace
