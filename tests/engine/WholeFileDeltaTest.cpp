#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateDeltaForWholeFile";

using Composition = std::tuple<int, int, std::uint64_t>; // copies, literals, literal bytes

const DeltaProperties kBefore{3, 9, 77, -5, Sha1Pattern(1)};

_sha1_hash DigestOf(MemoryDeltaIO& store)
{
    return PropertiesOf(store).sha1;
}

class WholeFileDeltaTest : public ::testing::Test {
protected:
    Composition CompositionOf(MemoryDeltaIO& store)
    {
        FileDelta delta(&store);
        Composition c{-1, -1, 1};
        engine.ReturnDeltaComposition(delta, std::get<0>(c), std::get<1>(c), std::get<2>(c));
        return c;
    }

    // Makes the delta of the file at `path` into `store`, expecting `code`; returns the log.
    std::vector<std::wstring> Generate(const std::wstring& path, IDeltaIO& store, int code)
    {
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateDeltaForWholeFile(path, delta), code);
        return capture.Texts();
    }

    TempDir dir;
    Korrin engine;
};

// The file travels in literals of at most 65535 bytes, after what the store held; of the
// properties only the SHA-1 value is written.
TEST_F(WholeFileDeltaTest, TheFileTravelsInLiteralsOfAtMost65535Bytes)
{
    MemoryDeltaIO none;
    EXPECT_EQ(CompositionOf(none), (Composition{0, 0, 0}));
    for (std::size_t size : {0, 1, 65535, 65536, 131071}) {
        SCOPED_TRACE(size);
        const std::string bytes = PatternBytes(size, static_cast<std::uint32_t>(size));
        dir.WriteFile(L"new.bin", bytes);
        MemoryDeltaIO store;
        WriteProperties(store, kBefore);
        store.WriteDelta(4u);
        Generate(dir.Path(L"new.bin"), store, RESULT_OK);
        Instructions expected = {Copy(4)};
        for (std::size_t at = 0; at < size; at += 65535)
            expected.push_back(Literal(bytes.substr(at, 65535)));
        EXPECT_EQ(InstructionsOf(store), expected);
        EXPECT_EQ(CompositionOf(store), (Composition{1, static_cast<int>((size + 65534) / 65535), size}));
        DeltaProperties after = PropertiesOf(store);
        EXPECT_EQ(after.sha1, Sha1Of(bytes));
        after.sha1 = kBefore.sha1;
        EXPECT_EQ(after, kBefore);
    }
}

TEST_F(WholeFileDeltaTest, FailuresAreReportedWithTheirCodes)
{
    // A missing file: one line naming it, and the store as it was.
    const std::wstring missing = dir.Path(L"missing.bin");
    MemoryDeltaIO kept;
    WriteProperties(kept, kBefore);
    kept.WriteDelta(1u);
    EXPECT_TRUE(IsErrorChain(Generate(missing, kept, RESULT_FAILED),
                             {ErrorPrefix(RESULT_FAILED, kFunction, missing)}));
    EXPECT_EQ(InstructionsOf(kept), Instructions{Copy(1)});
    EXPECT_EQ(PropertiesOf(kept), kBefore);

    // A store refusing the second literal, the SHA-1 value or Finish: each from its own site.
    const std::string bytes = PatternBytes(70000);
    dir.WriteFile(L"new.bin", bytes);
    RefusingDeltaIO second, digest, finish;
    second.Refuse(Call::Record, 2);
    digest.Refuse(Call::Sha1);
    finish.Refuse(Call::Finish);
    std::set<int> sites;
    for (RefusingDeltaIO* store : {&second, &digest, &finish}) {
        store->code = 321;
        const std::vector<std::wstring> texts = Generate(dir.Path(L"new.bin"), *store, 321);
        EXPECT_TRUE(IsErrorChain(texts, {ErrorPrefix(321, kFunction)}));
        sites.insert(texts.empty() ? -1 : LineNumberOf(texts[0]));
    }
    EXPECT_EQ(sites.size(), 3u);
    EXPECT_EQ(InstructionsOf(second), Instructions{Literal(bytes.substr(0, 65535))})
        << "the first literal stays";
    EXPECT_EQ(DigestOf(second), _sha1_hash{});
    EXPECT_EQ(digest.GetBufferDeltaSize(), 70000u);
    EXPECT_EQ(DigestOf(finish), Sha1Of(bytes)) << "the SHA-1 value came before Finish";
}

} // namespace
