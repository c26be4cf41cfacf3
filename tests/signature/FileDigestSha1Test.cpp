#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Sha1Of.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

// The SHA-1 value goes in as bytes and comes back finished; an unfinished digest stores 20
// zero bytes. A failing store is logged on reading only, and leaves the caller's digest.
TEST(FileDigestSha1, GoesInAsBytesAndComesBackFinished)
{
    MemoryDigestIO store;
    FileDigest digest(&store);
    ASSERT_EQ(digest.SetFileDigest(FinishedSha1("abc")), RESULT_OK);
    SHA1Digest out;
    ASSERT_EQ(digest.GetFileDigest(out), RESULT_OK);
    EXPECT_TRUE(out == FinishedSha1("abc")); // true only for a finished left side
    EXPECT_TRUE(out != FinishedSha1("abd"));
    ASSERT_EQ(digest.SetFileDigest(SHA1Digest()), RESULT_OK);
    _sha1_hash stored;
    store.ReadFileDigest(stored);
    EXPECT_EQ(stored, _sha1_hash{});

    RefusingDigestIO refusing;
    refusing.Refuse(Call::Sha1);
    refusing.code = 12345;
    FileDigest failing(&refusing);
    LogCapture capture;
    EXPECT_EQ(failing.SetFileDigest(FinishedSha1("x")), 12345);
    EXPECT_TRUE(capture.Lines().empty());
    out = FinishedSha1("kept");
    EXPECT_EQ(failing.GetFileDigest(out), 12345);
    EXPECT_TRUE(out == FinishedSha1("kept"));
    EXPECT_TRUE(
        IsErrorChain(capture.Texts(), {L"Error 12345 at func: Halvorn::Vantrel::FileDigest::GetFileDigest"}));
}

} // namespace
