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
using KorrinTest::Copy;
using KorrinTest::ErrorPrefix;
using KorrinTest::Instruction;
using KorrinTest::InstructionsOf;
using KorrinTest::IsErrorChain;
using KorrinTest::LineNumberOf;
using KorrinTest::Literal;
using KorrinTest::LogCapture;
using KorrinTest::RefusingDeltaIO;
using KorrinTest::Sha1Of;
using Instructions = std::vector<Instruction>;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateDeltaForWholeFile";

using Composition = std::tuple<int, int, std::uint64_t>; // copies, literals, literal bytes

const KorrinTest::DeltaProperties kBefore{3, 9, 77, -5, KorrinTest::Sha1Pattern(1)};

_sha1_hash DigestOf(MemoryDeltaIO& store)
{
    return KorrinTest::PropertiesOf(store).sha1;
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

    KorrinTest::TempDir dir;
    Korrin engine;
};

TEST_F(WholeFileDeltaTest, TheFileTravelsInLiteralsOfAtMost65535Bytes)
{
    MemoryDeltaIO none;
    EXPECT_EQ(CompositionOf(none), (Composition{0, 0, 0}));

    for (std::size_t size : {0, 1, 65535, 65536, 131071}) {
        SCOPED_TRACE(size);
        const std::string bytes = KorrinTest::PatternBytes(size, static_cast<std::uint32_t>(size));
        dir.WriteFile(L"new.bin", bytes);
        MemoryDeltaIO store;
        Generate(dir.Path(L"new.bin"), store, RESULT_OK);

        Instructions expected;
        for (std::size_t at = 0; at < size; at += 65535)
            expected.push_back(Literal(bytes.substr(at, 65535)));
        EXPECT_EQ(InstructionsOf(store), expected);
        EXPECT_EQ(CompositionOf(store), (Composition{0, static_cast<int>((size + 65534) / 65535), size}));
        EXPECT_EQ(DigestOf(store), Sha1Of(bytes));
    }
}

// Properties stay what the store held, and the literals come after what was there.
TEST_F(WholeFileDeltaTest, AppendsAndWritesNoOtherProperty)
{
    dir.WriteFile(L"new.bin", "hello");
    MemoryDeltaIO store;
    KorrinTest::WriteProperties(store, kBefore);
    store.WriteDelta(4u);
    Generate(dir.Path(L"new.bin"), store, RESULT_OK);

    EXPECT_EQ(InstructionsOf(store), (Instructions{Copy(4), Literal("hello")}));
    EXPECT_EQ(CompositionOf(store), (Composition{1, 1, 5}));
    KorrinTest::DeltaProperties after = KorrinTest::PropertiesOf(store);
    EXPECT_EQ(after.sha1, Sha1Of("hello"));
    after.sha1 = kBefore.sha1;
    EXPECT_EQ(after, kBefore);
}

TEST_F(WholeFileDeltaTest, FailuresAreReportedWithTheirCodes)
{
    // A missing file: one line naming it, and the store as it was.
    const std::wstring missing = dir.Path(L"missing.bin");
    MemoryDeltaIO kept;
    KorrinTest::WriteProperties(kept, kBefore);
    kept.WriteDelta(1u);
    EXPECT_TRUE(IsErrorChain(Generate(missing, kept, RESULT_FAILED),
                             {ErrorPrefix(RESULT_FAILED, kFunction, missing)}));
    EXPECT_EQ(InstructionsOf(kept), Instructions{Copy(1)});
    EXPECT_EQ(KorrinTest::PropertiesOf(kept), kBefore);

    // A store refusing the second literal, the SHA-1 value or Finish: each from its own site.
    const std::string bytes = KorrinTest::PatternBytes(70000);
    dir.WriteFile(L"new.bin", bytes);
    RefusingDeltaIO second, digest, finish;
    second.Refuse(KorrinTest::Call::Record, 2);
    digest.Refuse(KorrinTest::Call::Sha1);
    finish.Refuse(KorrinTest::Call::Finish);
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
