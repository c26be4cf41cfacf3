#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/ResultCodes.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

struct OfSignature {
    using Store = MemoryDigestIO;
    using Refusing = RefusingDigestIO;
    using File = FileDigest;
    static constexpr const wchar_t* kGet = L"Halvorn::Vantrel::FileDigest::GetFileDigest";
};
struct OfDelta {
    using Store = MemoryDeltaIO;
    using Refusing = RefusingDeltaIO;
    using File = FileDelta;
    static constexpr const wchar_t* kGet = L"Halvorn::Vantrel::FileDelta::GetFileDigest";
};

template <typename Kind>
class FileSha1Test : public ::testing::Test {
};
using Kinds = ::testing::Types<OfSignature, OfDelta>;
TYPED_TEST_SUITE(FileSha1Test, Kinds);

// FileDigest and FileDelta hand the SHA-1 value over alike: in as bytes, out finished (an
// unfinished digest stores 20 zero bytes). A failing store is logged on reading only, and
// leaves the caller's digest as it was.
TYPED_TEST(FileSha1Test, GoesInAsBytesAndComesBackFinished)
{
    typename TypeParam::Store store;
    typename TypeParam::File file(&store);
    ASSERT_EQ(file.SetFileDigest(FinishedSha1("abc")), RESULT_OK);
    SHA1Digest out;
    ASSERT_EQ(file.GetFileDigest(out), RESULT_OK);
    EXPECT_TRUE(out == FinishedSha1("abc")); // true only for a finished left side
    EXPECT_TRUE(out != FinishedSha1("abd"));
    EXPECT_EQ(out.Append(reinterpret_cast<const unsigned char*>("x"), 1), RESULT_FAILED);
    ASSERT_EQ(file.SetFileDigest(SHA1Digest()), RESULT_OK);
    _sha1_hash stored;
    store.ReadFileDigest(stored);
    EXPECT_EQ(stored, _sha1_hash{});

    typename TypeParam::Refusing refusing;
    refusing.Refuse(Call::Sha1, 12345);
    typename TypeParam::File failing(&refusing);
    LogCapture capture;
    EXPECT_EQ(failing.SetFileDigest(FinishedSha1("x")), 12345);
    EXPECT_TRUE(capture.Lines().empty());
    out = FinishedSha1("kept");
    EXPECT_EQ(failing.GetFileDigest(out), 12345);
    EXPECT_TRUE(out == FinishedSha1("kept"));
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {ErrorPrefix(12345, TypeParam::kGet)}));
}

} // namespace
