// The road between two copies of a file: the old side signs its copy and sends the signature
// as a blob; the new side makes the delta of its copy against the signature read back from
// that blob, and sends the delta back as a blob; the old side rebuilds the new file from it,
// first beside the old one, then in place of it. Prints what each step produced and how long
// it took, and checks both results against the new file byte for byte. OLD is replaced.
//
//   korrin_road OLD NEW [WINDOW_SIZE]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <Vantrel/Vantrel.h>

using namespace Halvorn::Vantrel;

namespace {

// The library logs the end of a delta's instructions on every rebuild, so lines are kept and
// shown only when something fails.
std::vector<std::wstring> logLines;

void KeepLogLine(void*, const wchar_t*, std::int32_t, const wchar_t* line)
{
    logLines.push_back(line);
}

int Failed(const char* program, const char* what, const char* file)
{
    std::fprintf(stderr, "%s: %s %s\n", program, what, file);
    for (const std::wstring& line : logLines)
        std::fwprintf(stderr, L"  log: %ls\n", line.c_str());
    return 1;
}

std::wstring Widen(const char* text)
{
    std::mbstate_t state{};
    const char* source = text;
    std::wstring out(std::strlen(text) + 1, L'\0');
    const std::size_t length = std::mbsrtowcs(&out[0], &source, out.size(), &state);
    if (length == static_cast<std::size_t>(-1))
        return std::wstring();
    out.resize(length);
    return out;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool SameBytes(const char* a, const std::string& b)
{
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    return first && second &&
           std::equal(std::istreambuf_iterator<char>(first), {}, std::istreambuf_iterator<char>(second), {});
}

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s OLD NEW [WINDOW_SIZE]\n", argv[0]);
        return 2;
    }
    const std::wstring oldPath = Widen(argv[1]);
    const std::wstring newPath = Widen(argv[2]);
    const unsigned long window = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 2048;
    if (oldPath.empty() || newPath.empty() || window == 0 || window > 0x7FFFFFFF) {
        std::fprintf(stderr, "%s: give two files and a window size from 1 to 2147483647\n", argv[0]);
        return 2;
    }
    LoggerRegistry::setSink(&KeepLogLine, nullptr);

    // Old side: sign, and turn the signature into a blob.
    Korrin engine;
    engine.SetWindowSize(static_cast<std::uint32_t>(window));
    MemoryDigestIO signature;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    auto start = std::chrono::steady_clock::now();
    if (engine.GenerateFileDigest(oldPath, digest) != RESULT_OK)
        return Failed(argv[0], "cannot sign", argv[1]);
    unsigned char* signatureBlob = nullptr;
    std::uint32_t signatureSize = 0;
    signature.WriteToBlob(&signatureBlob, &signatureSize);
    std::uint64_t oldSize = 0;
    digest.GetFileSize(oldSize);
    std::printf("signature: %llu bytes signed in %.3f s, blob of %u bytes\n",
                static_cast<unsigned long long>(oldSize), SecondsSince(start), signatureSize);

    // New side: read the signature back, make the delta, turn it into a blob.
    MemoryDigestIO received;
    const int read = received.ReadFromBlob(signatureBlob, signatureSize);
    std::free(signatureBlob);
    if (read != RESULT_OK)
        return Failed(argv[0], "cannot read back the signature of", argv[1]);
    FileDigest receivedDigest(&received);
    MemoryDeltaIO changes;
    FileDelta delta(&changes);
    start = std::chrono::steady_clock::now();
    if (engine.GenerateFileDelta(newPath, receivedDigest, delta) != RESULT_OK)
        return Failed(argv[0], "cannot make the delta of", argv[2]);
    const double deltaSeconds = SecondsSince(start);
    unsigned char* deltaBlob = nullptr;
    std::uint32_t deltaSize = 0;
    changes.WriteToBlob(&deltaBlob, &deltaSize);

    int copies = 0;
    int literals = 0;
    std::uint64_t literalBytes = 0;
    engine.ReturnDeltaComposition(delta, copies, literals, literalBytes);
    std::uint64_t newSize = 0;
    delta.GetFileSize(newSize);
    std::printf("delta: %llu bytes described in %.3f s: %d copies, %d literals of %llu bytes in all\n",
                static_cast<unsigned long long>(newSize), deltaSeconds, copies, literals,
                static_cast<unsigned long long>(literalBytes));
    std::printf("travels: a delta blob of %u bytes instead of %llu (%.2f%%)\n", deltaSize,
                static_cast<unsigned long long>(newSize), newSize ? 100.0 * deltaSize / newSize : 100.0);

    // Old side again: read the delta back and rebuild, beside the old file, then in its place.
    MemoryDeltaIO arrived;
    const int readDelta = arrived.ReadFromBlob(deltaBlob, deltaSize);
    std::free(deltaBlob);
    if (readDelta != RESULT_OK)
        return Failed(argv[0], "cannot read back the delta of", argv[2]);
    FileDelta toApply(&arrived);
    const std::string rebuilt = std::string(argv[1]) + ".rebuilt";
    start = std::chrono::steady_clock::now();
    if (engine.ApplyFileDelta(oldPath, toApply, Widen(rebuilt.c_str())) != RESULT_OK)
        return Failed(argv[0], "cannot rebuild", rebuilt.c_str());
    std::printf("rebuilt: %s in %.3f s, %s\n", rebuilt.c_str(), SecondsSince(start),
                SameBytes(argv[2], rebuilt) ? "identical to the new file" : "DIFFERENT FROM THE NEW FILE");
    start = std::chrono::steady_clock::now();
    if (engine.ApplyFileDelta(oldPath, toApply) != RESULT_OK)
        return Failed(argv[0], "cannot apply the delta in place to", argv[1]);
    const bool same = SameBytes(argv[2], argv[1]);
    std::printf("in place: %s in %.3f s, %s\n", argv[1], SecondsSince(start),
                same ? "identical to the new file" : "DIFFERENT FROM THE NEW FILE");
    return same && SameBytes(argv[2], rebuilt) ? 0 : 1;
}
