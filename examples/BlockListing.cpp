// Lists the blocks of a file as a signature describes them: for every block of the window
// size its index, rolling checksum and MD5 value, then the whole file's SHA-1 value, taken
// once by sliding a FileWindow over the file and once by digest_calculate.
//
//   korrin_blocks FILE [WINDOW_SIZE]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <Vantrel/Vantrel.h>

using namespace Halvorn::Vantrel;

namespace {

void PrintLogLine(void*, const wchar_t*, std::int32_t, const wchar_t* line)
{
    std::fwprintf(stderr, L"  log: %ls\n", line);
}

std::string Hex(const unsigned char* bytes, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
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

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FILE [WINDOW_SIZE]\n", argv[0]);
        return 2;
    }
    const std::wstring path = Widen(argv[1]);
    const unsigned long parsed = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 2048;
    if (path.empty() || parsed == 0 || parsed > 0x7FFFFFFF) {
        std::fprintf(stderr, "%s: give a file and a window size from 1 to 2147483647\n", argv[0]);
        return 2;
    }
    LoggerRegistry::setSink(&PrintLogLine, nullptr);

    Korrin engine;
    engine.SetWindowSize(static_cast<std::uint32_t>(parsed));
    std::uint32_t window = 0;
    engine.GetWindowSize(window);

    FileWindow file;
    if (file.Open(path, window) != RESULT_OK) {
        std::fprintf(stderr, "%s: cannot open %s\n", argv[0], argv[1]);
        return 1;
    }
    std::printf("block  checksum  md5\n");
    std::uint32_t index = 0;
    std::uint32_t count = 0;
    while (file.Read(count) == RESULT_OK && count > 0) {
        Rcheck32Digest checksum;
        checksum.Start(file.Buffer(), count);
        std::uint32_t weak = 0;
        checksum.GetDigest(weak);

        MD5Digest md5;
        md5.Append(file.Buffer(), count);
        md5.Finish();
        _md5_hash strong;
        md5.GetDigest(strong);

        std::printf("%5u  %08x  %s\n", index++, weak, Hex(strong.bytes, sizeof strong.bytes).c_str());
        if (file.Move(count) != RESULT_OK)
            return 1;
    }
    file.Close();

    SHA1Digest slid;
    file.GetFileDigest(slid);
    SHA1Digest whole;
    if (digest_calculate(path, whole) != RESULT_OK) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    _sha1_hash a;
    _sha1_hash b;
    slid.GetDigest(a);
    whole.GetDigest(b);
    std::printf("%u blocks of %u bytes\nsha1 %s (window) %s (whole file)\n", index, window,
                Hex(a.bytes, sizeof a.bytes).c_str(), slid == whole ? "matches" : "DIFFERS FROM");
    return slid == whole ? 0 : 1;
}
