// Delta generation against `rdiff delta` on the same files, window (block) size 2048 for both,
// one run of each per case:
//   BM_DeltaRandom     two independent random files: nothing to copy (target: 8x rdiff)
//   BM_DeltaIdentical  the new file equals the old: everything copies (target: 1.5x)
//   BM_DeltaText       text lines and a copy with about 1% of its lines inserted, deleted or
//                      edited (target: 3x, and a delta at most 2% larger than rdiff's)
//
// Both signatures are made beforehand, untimed: rdiff's with `rdiff -b 2048 signature`,
// Korrin's with GenerateFileDigest and then passed through a blob into a fresh store, as a
// client receiving it would. Timed: `rdiff delta` through the shell, wall clock, and
// Korrin::GenerateFileDelta alone (korrin_s, also the benchmark's own time) and with
// MemoryDeltaIO::WriteToBlob after it (korrin_blob_s). `rdiff delta` loads its signature
// within its time, so Korrin's ReadFromBlob is shown apart (korrin_sig_load_s); the store's
// checksum filter and index are made by the delta generation's first lookup, within korrin_s.
// Every input is read once beforehand so that both read it from the page cache. rdiff writes
// its delta to a file, Korrin keeps it in memory; the sizes compared are that file's and the
// blob's.
//
// Counters: rdiff_s, korrin_s, korrin_blob_s, korrin_sig_load_s, speedup (rdiff_s over
// korrin_s), speedup_blob, target (the speed-up wanted), rdiff_delta_B, korrin_delta_B,
// size_ratio (Korrin over rdiff), allocs_per_MiB (operator new calls during GenerateFileDelta
// per MiB of new file), copies, literals, literal_B. The label says whether the targets were
// met.
//
// The Korrin delta is checked, not applied: its instructions must cover the new file exactly,
// and its make-up must be what the case implies. Without `rdiff` on the PATH, the Korrin half
// still runs and the label says that rdiff was skipped.
//
// KORRIN_BENCH_MIB sets the size of the random and identical files in MiB (default 256),
// KORRIN_BENCH_TEXT_MIB that of the text file (default 40).

#include <Vantrel/DeltaEntry.h>
#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/shared_ptr.hpp>

#include "AllocationCounter.h"

namespace {

namespace fs = std::filesystem;

using Halvorn::Vantrel::BufferDelta;
using Halvorn::Vantrel::BufferDeltaEntry;
using Halvorn::Vantrel::DeltaEntry;
using Halvorn::Vantrel::DigestDelta;
using Halvorn::Vantrel::DigestDeltaEntry;
using Halvorn::Vantrel::FileDelta;
using Halvorn::Vantrel::FileDigest;
using Halvorn::Vantrel::Korrin;
using Halvorn::Vantrel::MemoryDeltaIO;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_OK;

constexpr std::uint32_t kWindow = 2048;
constexpr std::size_t kMiB = std::size_t{1} << 20;
// The longest generated text line, newline included; bounds what one edit can spoil.
constexpr std::size_t kLongestLine = 121;

std::size_t Mebibytes(const char* variable, std::size_t fallback)
{
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    // Anything unreadable falls back to the default rather than silently measuring nothing.
    return *end == '\0' && value > 0 ? static_cast<std::size_t>(value) : fallback;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// A fresh directory for one case's files, removed with everything in it when the case ends.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        const fs::path base = fs::temp_directory_path();
        std::random_device entropy;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = base / ("korrin-delta-bench-" + std::to_string(entropy()));
            if (fs::create_directory(candidate))
                path_ = candidate;
        }
        if (path_.empty())
            throw std::runtime_error("no temporary directory for the benchmark files");
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    fs::path operator/(const char* name) const { return path_ / name; }

private:
    fs::path path_;
};

// Random bytes written in 1 MiB pieces, so that a large file never sits whole in memory.
// Every path in `paths` gets the same bytes.
void WriteRandom(const std::vector<fs::path>& paths, std::size_t bytes, std::uint64_t seed)
{
    std::vector<std::ofstream> outs;
    for (const fs::path& path : paths)
        outs.emplace_back(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(seed);
    std::vector<char> piece(kMiB);
    for (std::size_t written = 0; written < bytes;) {
        const std::size_t n = std::min(piece.size(), bytes - written);
        for (std::size_t i = 0; i < n; i += 8) {
            const std::uint64_t word = random();
            for (std::size_t b = 0; b < 8 && i + b < n; ++b)
                piece[i + b] = static_cast<char>(word >> (8 * b));
        }
        for (std::ofstream& out : outs)
            out.write(piece.data(), static_cast<std::streamsize>(n));
        written += n;
    }
    for (std::ofstream& out : outs)
        if (!out.flush())
            throw std::runtime_error("cannot write a benchmark file");
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write a benchmark file");
}

// Reads the whole file so that the timed runs find it in the page cache; returns its size.
std::uint64_t ReadThrough(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> piece(kMiB);
    std::uint64_t total = 0;
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
        total += static_cast<std::uint64_t>(in.gcount());
    return total;
}

// ---- Text ------------------------------------------------------------------------------

const std::array<const char*, 48> kVocabulary = {
    "the",     "of",     "and",    "to",      "in",      "is",      "that",     "for",
    "it",      "with",   "as",     "was",     "on",      "be",      "at",       "by",
    "this",    "had",    "not",    "are",     "but",     "from",    "or",       "have",
    "river",   "garden", "window", "morning", "letter",  "between", "question", "harbour",
    "quietly", "across", "winter", "almost",  "stone",   "village", "market",   "evening",
    "travel",  "bright", "number", "several", "measure", "kitchen", "remember", "afterwards",
};

std::string Word(std::mt19937& random)
{
    return kVocabulary[random() % kVocabulary.size()];
}

// A line of words, 20 to 120 characters before its newline: words are added until the
// length reaches a target of at most 108, and no word is longer than 12 characters.
std::string Line(std::mt19937& random)
{
    const std::size_t target = 20 + random() % 89;
    std::string line = Word(random);
    line[0] = static_cast<char>(line[0] - 'a' + 'A');
    while (line.size() < target)
        line += ' ' + Word(random);
    line += random() % 4 == 0 ? ",\n" : ".\n";
    return line;
}

// Replaces the word around a random position of the line with another one.
std::string EditLine(const std::string& line, std::mt19937& random)
{
    const std::size_t body = line.size() - 2; // without the closing mark and newline
    std::size_t at = random() % body;
    if (line[at] == ' ')
        ++at; // a word follows: the body ends with one
    std::size_t first = line.rfind(' ', at);
    first = first == std::string::npos ? 0 : first + 1;
    std::size_t last = line.find(' ', at);
    last = last == std::string::npos || last > body ? body : last;
    std::string replacement = Word(random);
    if (line.substr(first, last - first) == replacement)
        replacement += "s";
    return line.substr(0, first) + replacement + line.substr(last);
}

struct TextPair {
    std::string oldText;
    std::string newText;
    std::size_t edits = 0; // lines inserted, deleted or edited
};

TextPair MakeText(std::size_t bytes)
{
    TextPair pair;
    std::mt19937 random(77031);
    std::vector<std::string> lines;
    for (std::size_t total = 0; total < bytes;) {
        lines.push_back(Line(random));
        total += lines.back().size();
    }
    pair.oldText.reserve(bytes + kLongestLine);
    for (const std::string& line : lines)
        pair.oldText += line;

    std::mt19937 editing(5801);
    pair.newText.reserve(bytes + bytes / 50);
    for (const std::string& line : lines) {
        if (editing() % 100 != 0) {
            pair.newText += line;
            continue;
        }
        ++pair.edits;
        switch (editing() % 3) {
        case 0: // a new line before this one
            pair.newText += Line(editing);
            pair.newText += line;
            break;
        case 1: // this line deleted
            break;
        default:
            pair.newText += EditLine(line, editing);
            break;
        }
    }
    return pair;
}

// ---- rdiff -----------------------------------------------------------------------------

bool RdiffAvailable()
{
    static const bool available = std::system("rdiff --version >/dev/null 2>&1") == 0;
    return available;
}

// The path as one word for the shell.
std::string Quoted(const fs::path& path)
{
    std::string quoted = "'";
    for (const char c : path.string()) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

struct RdiffRun {
    bool ok = false;
    double seconds = 0;
    std::uint64_t deltaBytes = 0;
};

RdiffRun RunRdiff(const ScratchDirectory& scratch, const fs::path& oldPath, const fs::path& newPath)
{
    RdiffRun run;
    const fs::path signature = scratch / "rdiff.sig";
    const fs::path delta = scratch / "rdiff.delta";
    const std::string makeSignature =
        "rdiff -b " + std::to_string(kWindow) + " signature " + Quoted(oldPath) + " " + Quoted(signature);
    if (std::system(makeSignature.c_str()) != 0)
        return run;
    ReadThrough(signature);
    ReadThrough(newPath);
    const std::string makeDelta =
        "rdiff delta " + Quoted(signature) + " " + Quoted(newPath) + " " + Quoted(delta);
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(makeDelta.c_str());
    run.seconds = Seconds(std::chrono::steady_clock::now() - start);
    std::error_code error;
    run.deltaBytes = fs::file_size(delta, error);
    run.ok = status == 0 && !error;
    return run;
}

// ---- Korrin ----------------------------------------------------------------------------

struct KorrinRun {
    std::string failure;         // empty when the run succeeded and the delta covers the new file
    double seconds = 0;          // GenerateFileDelta
    double blobSeconds = 0;      // GenerateFileDelta and WriteToBlob
    double signatureSeconds = 0; // ReadFromBlob, which `rdiff delta` does inside its time
    std::uint64_t blobBytes = 0;
    std::uint64_t allocations = 0;
    int copies = 0;
    int literals = 0;
    std::uint64_t literalBytes = 0;
};

// The bytes of the new file that the delta's instructions stand for, or failure when a copy
// names a block the old file does not have.
bool CoveredBytes(MemoryDeltaIO& store, std::uint64_t oldSize, std::uint64_t& covered)
{
    const std::uint64_t blocks = (oldSize + kWindow - 1) / kWindow;
    covered = 0;
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    // Counted rather than read to the end, where the store would log the failed read.
    for (std::uint32_t i = store.GetDeltaCount(); i > 0; --i) {
        if (store.ReadDelta(&cursor, entry) != RESULT_OK)
            return false;
        if (entry->type == DigestDelta) {
            const std::uint32_t index = static_cast<const DigestDeltaEntry&>(*entry).blockIndex;
            if (index >= blocks)
                return false;
            const std::uint64_t start = std::uint64_t{index} * kWindow;
            covered += std::min<std::uint64_t>(kWindow, oldSize - start);
        } else if (entry->type == BufferDelta) {
            covered += static_cast<const BufferDeltaEntry&>(*entry).length;
        } else {
            return false;
        }
    }
    return true;
}

KorrinRun RunKorrin(const fs::path& oldPath, const fs::path& newPath, std::uint64_t oldSize,
                    std::uint64_t newSize)
{
    KorrinRun run;
    Korrin korrin;
    korrin.SetWindowSize(kWindow);

    // The signature as a client would receive it: made, turned into a blob, read back.
    MemoryDigestIO signatureStore;
    {
        MemoryDigestIO made;
        FileDigest madeDigest(&made);
        madeDigest.SetVersion(1);
        if (korrin.GenerateFileDigest(oldPath.wstring(), madeDigest) != RESULT_OK) {
            run.failure = "GenerateFileDigest failed";
            return run;
        }
        unsigned char* blob = nullptr;
        std::uint32_t size = 0;
        made.WriteToBlob(&blob, &size);
        if (blob == nullptr) {
            run.failure = "the signature did not fit in a blob";
            return run;
        }
        const auto start = std::chrono::steady_clock::now();
        const int read = signatureStore.ReadFromBlob(blob, size);
        run.signatureSeconds = Seconds(std::chrono::steady_clock::now() - start);
        std::free(blob);
        if (read != RESULT_OK) {
            run.failure = "the signature blob did not read back";
            return run;
        }
    }
    const FileDigest digest(&signatureStore);

    ReadThrough(newPath);
    MemoryDeltaIO store;
    FileDelta delta(&store);
    const std::uint64_t allocationsBefore = KorrinBench::AllocationCount();
    const auto start = std::chrono::steady_clock::now();
    const int result = korrin.GenerateFileDelta(newPath.wstring(), digest, delta);
    const auto generated = std::chrono::steady_clock::now();
    run.allocations = KorrinBench::AllocationCount() - allocationsBefore;
    unsigned char* blob = nullptr;
    std::uint32_t blobSize = 0;
    const auto blobStart = std::chrono::steady_clock::now();
    if (result == RESULT_OK)
        store.WriteToBlob(&blob, &blobSize);
    const auto blobEnd = std::chrono::steady_clock::now();
    std::free(blob);
    run.seconds = Seconds(generated - start);
    run.blobSeconds = run.seconds + Seconds(blobEnd - blobStart);
    run.blobBytes = blobSize;
    if (result != RESULT_OK) {
        run.failure = "GenerateFileDelta failed";
        return run;
    }
    if (blob == nullptr) {
        run.failure = "the delta did not fit in a blob";
        return run;
    }

    korrin.ReturnDeltaComposition(delta, run.copies, run.literals, run.literalBytes);
    std::uint64_t covered = 0;
    if (!CoveredBytes(store, oldSize, covered))
        run.failure = "the delta copies a block the old file does not have";
    else if (covered != newSize)
        run.failure = "the delta's instructions do not add up to the new file";
    return run;
}

// ---- The cases -------------------------------------------------------------------------

struct Case {
    fs::path oldPath;
    fs::path newPath;
    double targetSpeedup = 0;
    double maxSizeRatio = 0; // 0: the sizes are not compared
};

// Runs both sides, checks Korrin's delta with `plausible` (which names what is wrong, or
// returns an empty string) and reports. Korrin's time is the benchmark's time.
template <typename Plausible>
void RunCase(benchmark::State& state, const ScratchDirectory& scratch, const Case& c, Plausible plausible)
{
    const std::uint64_t oldSize = ReadThrough(c.oldPath);
    const std::uint64_t newSize = ReadThrough(c.newPath);

    KorrinRun korrin;
    for (auto _ : state) {
        korrin = RunKorrin(c.oldPath, c.newPath, oldSize, newSize);
        state.SetIterationTime(korrin.seconds);
    }
    if (korrin.failure.empty())
        korrin.failure = plausible(korrin, oldSize, newSize);
    if (!korrin.failure.empty()) {
        state.SkipWithError(korrin.failure.c_str());
        return;
    }

    state.SetBytesProcessed(static_cast<std::int64_t>(newSize));
    state.counters["korrin_s"] = korrin.seconds;
    state.counters["korrin_blob_s"] = korrin.blobSeconds;
    state.counters["korrin_sig_load_s"] = korrin.signatureSeconds;
    state.counters["korrin_delta_B"] = static_cast<double>(korrin.blobBytes);
    state.counters["allocs_per_MiB"] =
        static_cast<double>(korrin.allocations) * kMiB / static_cast<double>(newSize);
    state.counters["copies"] = korrin.copies;
    state.counters["literals"] = korrin.literals;
    state.counters["literal_B"] = static_cast<double>(korrin.literalBytes);
    state.counters["target"] = c.targetSpeedup;

    if (!RdiffAvailable()) {
        state.SetLabel("rdiff not found on the PATH: comparison skipped (Debian package rdiff)");
        return;
    }
    const RdiffRun rdiff = RunRdiff(scratch, c.oldPath, c.newPath);
    if (!rdiff.ok) {
        state.SkipWithError("rdiff signature or delta failed");
        return;
    }
    const double speedup = rdiff.seconds / korrin.seconds;
    const double sizeRatio = static_cast<double>(korrin.blobBytes) / static_cast<double>(rdiff.deltaBytes);
    state.counters["rdiff_s"] = rdiff.seconds;
    state.counters["rdiff_delta_B"] = static_cast<double>(rdiff.deltaBytes);
    state.counters["speedup"] = speedup;
    state.counters["speedup_blob"] = rdiff.seconds / korrin.blobSeconds;

    std::string label = speedup >= c.targetSpeedup ? "speed-up target met" : "speed-up target MISSED";
    if (c.maxSizeRatio > 0) {
        state.counters["size_ratio"] = sizeRatio;
        label += sizeRatio <= c.maxSizeRatio ? ", size target met" : ", size target MISSED";
    }
    state.SetLabel(label);
}

void BM_DeltaRandom(benchmark::State& state)
{
    const ScratchDirectory scratch;
    const std::size_t bytes = Mebibytes("KORRIN_BENCH_MIB", 256) * kMiB;
    const Case c{scratch / "old.bin", scratch / "new.bin", 8.0, 0};
    WriteRandom({c.oldPath}, bytes, 20240611);
    WriteRandom({c.newPath}, bytes, 19970405);
    RunCase(state, scratch, c, [](const KorrinRun& run, std::uint64_t, std::uint64_t newSize) -> std::string {
        if (run.copies != 0 || run.literalBytes != newSize)
            return "random case: the delta should be all literal bytes";
        return {};
    });
}
BENCHMARK(BM_DeltaRandom)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_DeltaIdentical(benchmark::State& state)
{
    const ScratchDirectory scratch;
    const std::size_t bytes = Mebibytes("KORRIN_BENCH_MIB", 256) * kMiB;
    const Case c{scratch / "old.bin", scratch / "new.bin", 1.5, 0};
    WriteRandom({c.oldPath, c.newPath}, bytes, 20240611);
    RunCase(state, scratch, c, [](const KorrinRun& run, std::uint64_t oldSize, std::uint64_t) -> std::string {
        const std::uint64_t blocks = (oldSize + kWindow - 1) / kWindow;
        if (static_cast<std::uint64_t>(run.copies) != blocks || run.literals != 0 || run.literalBytes != 0)
            return "identical case: the delta should copy every block and nothing else";
        return {};
    });
}
BENCHMARK(BM_DeltaIdentical)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_DeltaText(benchmark::State& state)
{
    const ScratchDirectory scratch;
    const Case c{scratch / "old.txt", scratch / "new.txt", 3.0, 1.02};
    std::size_t edits = 0;
    {
        const TextPair text = MakeText(Mebibytes("KORRIN_BENCH_TEXT_MIB", 40) * kMiB);
        WriteText(c.oldPath, text.oldText);
        WriteText(c.newPath, text.newText);
        edits = text.edits;
    }
    state.counters["edits"] = static_cast<double>(edits);
    RunCase(state, scratch, c, [edits](const KorrinRun& run, std::uint64_t, std::uint64_t) -> std::string {
        // A line is shorter than a block, so it touches at most two: an edit spoils at most
        // two blocks and brings at most one line of its own.
        const std::uint64_t most = edits * (2 * kWindow + kLongestLine);
        if (run.copies == 0 || run.literalBytes > most)
            return "text case: the delta should copy all but the blocks the edits touched";
        return {};
    });
}
BENCHMARK(BM_DeltaText)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
