#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Sha1Of.h"
#include "support/TestData.h"

namespace {

using Halvorn::Vantrel::FileDigest;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;
using KorrinTest::FinishedSha1;
using KorrinTest::IsErrorLine;
using KorrinTest::LogCapture;
using KorrinTest::RefusingDigestIO;

TEST(FileDigestSha1, GoesInAsBytesAndComesBackFinished)
{
    MemoryDigestIO store;
    FileDigest digest(&store);
    ASSERT_EQ(digest.SetFileDigest(FinishedSha1("abc")), RESULT_OK);
    SHA1Digest out;
    ASSERT_EQ(digest.GetFileDigest(out), RESULT_OK);
    // Finished: the left side of == must be, and the value is the one given.
    EXPECT_TRUE(out == FinishedSha1("abc"));
    EXPECT_TRUE(out != FinishedSha1("abd"));

    // An unfinished digest stores its 20 zero bytes.
    ASSERT_EQ(digest.SetFileDigest(SHA1Digest()), RESULT_OK);
    _sha1_hash stored;
    store.ReadFileDigest(stored);
    EXPECT_EQ(stored, _sha1_hash{});
}

TEST(FileDigestSha1, AFailingStoreIsLoggedAndLeavesTheCallersDigest)
{
    RefusingDigestIO store;
    store.Refuse(KorrinTest::Call::Sha1);
    store.code = 12345;
    FileDigest digest(&store);
    LogCapture capture;

    EXPECT_EQ(digest.SetFileDigest(FinishedSha1("x")), 12345);
    EXPECT_TRUE(capture.Lines().empty()); // setting reports nothing itself

    SHA1Digest out = FinishedSha1("kept");
    EXPECT_EQ(digest.GetFileDigest(out), 12345);
    EXPECT_TRUE(out == FinishedSha1("kept"));
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_TRUE(
        IsErrorLine(capture.Texts()[0], L"Error 12345 at func: Halvorn::Vantrel::FileDigest::GetFileDigest"));
}

} // namespace
