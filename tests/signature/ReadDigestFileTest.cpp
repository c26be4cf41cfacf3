// What ReadDigestFile refuses beyond what the blob reader refuses. That it reads what the blob
// reader reads, from a file and from a stream, is held in ../io/BlobRecordsTest.cpp.
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ReadDigestFile.h>
#include <Vantrel/ResultCodes.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Road.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

// A store that holds blocks is refused, one that refuses a block passes its code on, and a
// read that fails past the first buffer is reported: each with one line.
TEST(ReadDigestFile, RefusesFilledStoresPassesStoreCodesOnAndReportsFailedReads)
{
    TempDir dir;
    MemoryDigestIO source;
    for (std::uint32_t b = 0; b < 50000; ++b)
        source.WriteDigest(b, b, _md5_hash{});
    dir.WriteFile(L"signature", BlobText(source));
    const std::wstring path = dir.Path(L"signature");
    LogCapture capture;
    MemoryDigestIO holding;
    holding.WriteDigest(0, 0, _md5_hash{});
    EXPECT_EQ(ReadDigestFile(path, holding), RESULT_FAILED);
    RefusingDigestIO refusing;
    refusing.Refuse(Call::Record);
    EXPECT_EQ(ReadDigestFile(path, refusing), refusing.code);
    FaultyRuntime runtime;
    runtime.FailCall(RuntimeCall::Read, EIO, 2);
    MemoryDigestIO store;
    EXPECT_EQ(ReadDigestFile(path, store), RESULT_FAILED);
    const std::vector<std::wstring> texts = capture.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find(L"holds blocks already"), std::wstring::npos) << texts[0];
    EXPECT_TRUE(IsErrorLine(texts[1], ErrorPrefix(refusing.code, L"Halvorn::Vantrel::ReadDigestFile", path)));
    EXPECT_NE(texts[2].find(L"cannot be read"), std::wstring::npos) << texts[2];
}

} // namespace
