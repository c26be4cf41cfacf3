// The road between two copies of a file, as far as the library goes today: the old side
// signs its copy and sends the signature as a blob; the new side makes the delta of its copy
// against the signature read back from that blob, and sends the delta as a blob. Prints what
// each step produced and how long it took.
//
//   korrin_delta OLD NEW [WINDOW_SIZE]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include <Vantrel/Vantrel.h>

using namespace Halvorn::Vantrel;

namespace {

void PrintLogLine(void*, const wchar_t*, std::int32_t, const wchar_t* line)
{
    std::fwprintf(stderr, L"  log: %ls\n", line);
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
    LoggerRegistry::setSink(&PrintLogLine, nullptr);

    // Old side: sign, and turn the signature into a blob.
    Korrin engine;
    engine.SetWindowSize(static_cast<std::uint32_t>(window));
    MemoryDigestIO signature;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    auto start = std::chrono::steady_clock::now();
    if (engine.GenerateFileDigest(oldPath, digest) != RESULT_OK) {
        std::fprintf(stderr, "%s: cannot sign %s\n", argv[0], argv[1]);
        return 1;
    }
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
    if (read != RESULT_OK) {
        std::fprintf(stderr, "%s: the signature blob does not read back\n", argv[0]);
        return 1;
    }
    FileDigest receivedDigest(&received);
    MemoryDeltaIO changes;
    FileDelta delta(&changes);
    start = std::chrono::steady_clock::now();
    if (engine.GenerateFileDelta(newPath, receivedDigest, delta) != RESULT_OK) {
        std::fprintf(stderr, "%s: cannot make the delta of %s\n", argv[0], argv[2]);
        return 1;
    }
    const double deltaSeconds = SecondsSince(start);
    unsigned char* deltaBlob = nullptr;
    std::uint32_t deltaSize = 0;
    changes.WriteToBlob(&deltaBlob, &deltaSize);
    std::free(deltaBlob);

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
    return 0;
}
