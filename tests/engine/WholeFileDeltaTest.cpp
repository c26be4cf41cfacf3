#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/DeltaProperties.h"
#include "support/DeltaReplay.h"
#include "support/LogCapture.h"
#include "support/RefusingDeltaIO.h"
#include "support/TempDir.h"
#include "support/Sha1Of.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Copy;
using KorrinTest::Instruction;
using KorrinTest::InstructionsOf;
using KorrinTest::IsErrorLine;
using KorrinTest::Literal;
using KorrinTest::LogCapture;
using KorrinTest::RefusingDeltaIO;
using KorrinTest::Sha1Of;
using Instructions = std::vector<Instruction>;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateDeltaForWholeFile";

using Composition = std::tuple<int, int, std::uint64_t>; // copies, literals, literal bytes

class WholeFileDeltaTest : public ::testing::Test {
protected:
    Composition CompositionOf(MemoryDeltaIO& store)
    {
        FileDelta delta(&store);
        Composition c{-1, -1, 1};
        engine.ReturnDeltaComposition(delta, std::get<0>(c), std::get<1>(c), std::get<2>(c));
        return c;
    }

    KorrinTest::TempDir dir;
    Korrin engine;
};

TEST_F(WholeFileDeltaTest, TheFileTravelsInLiteralsOfAtMost65535Bytes)
{
    MemoryDeltaIO none;
    EXPECT_EQ(CompositionOf(none), (Composition{0, 0, 0}));

    for (std::size_t size : {0, 1, 65535, 65536, 131071}) {
        const std::string bytes = KorrinTest::PatternBytes(size, static_cast<std::uint32_t>(size));
        dir.WriteFile(L"new.bin", bytes);
        MemoryDeltaIO store;
        FileDelta delta(&store);
        ASSERT_EQ(engine.GenerateDeltaForWholeFile(dir.Path(L"new.bin"), delta), RESULT_OK) << size;

        Instructions expected;
        for (std::size_t at = 0; at < size; at += 65535)
            expected.push_back(Literal(bytes.substr(at, 65535)));
        EXPECT_EQ(InstructionsOf(store), expected) << size;
        EXPECT_EQ(CompositionOf(store), (Composition{0, static_cast<int>((size + 65534) / 65535), size}));
        _sha1_hash sha1{};
        store.ReadFileDigest(sha1);
        EXPECT_EQ(sha1, Sha1Of(bytes)) << size;
    }
}

// Properties stay what the store held, and the literals come after what was there.
TEST_F(WholeFileDeltaTest, AppendsAndWritesNoOtherProperty)
{
    dir.WriteFile(L"new.bin", "hello");
    MemoryDeltaIO store;
    const KorrinTest::DeltaProperties before{3, 9, 77, -5, KorrinTest::Sha1Pattern(1)};
    KorrinTest::WriteProperties(store, before);
    store.WriteDelta(4u);
    FileDelta delta(&store);
    ASSERT_EQ(engine.GenerateDeltaForWholeFile(dir.Path(L"new.bin"), delta), RESULT_OK);

    EXPECT_EQ(InstructionsOf(store), (Instructions{Copy(4), Literal("hello")}));
    EXPECT_EQ(CompositionOf(store), (Composition{1, 1, 5}));
    KorrinTest::DeltaProperties after = KorrinTest::PropertiesOf(store);
    EXPECT_EQ(after.sha1, Sha1Of("hello"));
    after.sha1 = before.sha1;
    EXPECT_EQ(after, before);
}

TEST_F(WholeFileDeltaTest, FailuresAreReportedWithTheirCodes)
{
    const std::wstring missing = dir.Path(L"missing.bin");
    {
        MemoryDeltaIO store;
        const KorrinTest::DeltaProperties before{3, 9, 77, -5, KorrinTest::Sha1Pattern(1)};
        KorrinTest::WriteProperties(store, before);
        store.WriteDelta(1u);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateDeltaForWholeFile(missing, delta), RESULT_FAILED);
        ASSERT_EQ(capture.Texts().size(), 1u);
        EXPECT_TRUE(
            IsErrorLine(capture.Texts()[0], L"Error 32768 \"" + missing + L"\" at func: " + kFunction))
            << capture.Texts()[0];
        EXPECT_EQ(InstructionsOf(store), Instructions{Copy(1)});
        EXPECT_EQ(KorrinTest::PropertiesOf(store), before);
    }

    const std::string bytes = KorrinTest::PatternBytes(70000);
    dir.WriteFile(L"new.bin", bytes);
    std::vector<int> lines;
    auto expectRefusal = [&](RefusingDeltaIO& store) {
        store.code = 321;
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateDeltaForWholeFile(dir.Path(L"new.bin"), delta), 321);
        ASSERT_EQ(capture.Texts().size(), 1u);
        EXPECT_TRUE(IsErrorLine(capture.Texts()[0], L"Error 321 at func: " + kFunction))
            << capture.Texts()[0];
        const std::wstring text = capture.Texts()[0];
        lines.push_back(std::stoi(text.substr(text.rfind(L' ') + 1)));
    };
    {
        RefusingDeltaIO store;
        store.refuseDeltaFrom = 2;
        expectRefusal(store);
        EXPECT_EQ(InstructionsOf(store), Instructions{Literal(bytes.substr(0, 65535))})
            << "the first literal stays";
        _sha1_hash sha1{};
        store.ReadFileDigest(sha1);
        EXPECT_EQ(sha1, _sha1_hash{});
    }
    {
        RefusingDeltaIO store;
        store.refuseFileDigest = 1;
        expectRefusal(store);
        EXPECT_EQ(store.GetBufferDeltaSize(), 70000u);
    }
    {
        RefusingDeltaIO store;
        store.refuseFinish = 1;
        expectRefusal(store);
        _sha1_hash sha1{};
        store.ReadFileDigest(sha1);
        EXPECT_EQ(sha1, Sha1Of(bytes)) << "the SHA-1 value came before Finish";
    }
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 3u);
}

} // namespace
