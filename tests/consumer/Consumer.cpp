// Exercises the installed library through its public header only; exits non-zero on any
// wrong answer.
#include <cstdio>
#include <string>

#include <Vantrel/Vantrel.h>

using namespace Halvorn::Vantrel;

namespace {

int lines = 0;

void CountLine(void*, const wchar_t*, std::int32_t, const wchar_t*)
{
    ++lines;
}

} // namespace

int main(int, char** argv)
{
    LoggerRegistry::setSink(&CountLine, nullptr);
    Korrin engine;
    engine.SetWindowSize(2048);
    std::uint32_t window = 0;
    engine.GetWindowSize(window);
    Rcheck32Digest checksum;
    checksum.Start(reinterpret_cast<const unsigned char*>("abc"), 3);
    std::uint32_t value = 0;
    checksum.GetDigest(value);
    MD5Digest md5;
    md5.Append(reinterpret_cast<const unsigned char*>("abc"), 3);
    md5.Finish();
    const _md5_hash expectedMd5 = {
        {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0, 0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72}};

    // The program's own file, read by the window and as a whole, must give one SHA-1 value.
    const std::string self = argv[0];
    const std::wstring path(self.begin(), self.end());
    FileWindow file;
    const bool opened = file.Open(path, 4096) == RESULT_OK;
    for (std::uint32_t count = 0; opened && file.Read(count) == RESULT_OK && count > 0;)
        file.Move(count);
    file.Close();
    SHA1Digest slid;
    SHA1Digest whole;
    file.GetFileDigest(slid);
    const bool sameSha1 = digest_calculate(path, whole) == RESULT_OK && slid == whole;
    const bool logged = file.Close() == RESULT_FAILED && lines == 1; // a failure reaches the host's sink
    // The converting constructors, as a client written against their declarations uses them.
    _sha1_hash sha1 = {};
    whole.GetDigest(sha1);
    const SHA1Digest fromValue = sha1;
    const MD5Digest expected = expectedMd5;
    MemoryDigestIO signatureStore;
    FileDigest signature = &signatureStore;
    MemoryDeltaIO deltaStore;
    FileDelta delta = &deltaStore;
    const bool road = engine.GenerateFileDigest(path, signature) == RESULT_OK &&
                      engine.GenerateFileDelta(path, signature, delta) == RESULT_OK &&
                      delta.GetBufferDeltaCount() == 0; // a file against its own signature: copies only
    FileLock lock;
    const bool locked = lock.Create(FileLock::Exclusive, path.c_str());
    lock.Release();

    const struct {
        bool right;
        const char* what;
    } checks[] = {{window == 2048, "window size"},
                  {value == 0x024A0126u, "rolling checksum"},
                  {md5 == expected, "md5"},
                  {opened && sameSha1 && slid == fromValue, "sha1"},
                  {road, "delta"},
                  {logged, "log sink"},
                  {locked, "file lock"}};
    for (const auto& check : checks) {
        if (!check.right) {
            std::fprintf(stderr, "consumer: %s\n", check.what);
            return 1;
        }
    }
    std::puts("consumer: the library works");
    return 0;
}
