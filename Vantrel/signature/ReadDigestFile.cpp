#include <Vantrel/ReadDigestFile.h>

#include <cstring>
#include <string>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/BlobRecords.h"
#include "Vantrel/io/ReadBuffer.h"
#include "Vantrel/io/ScopedResource.h"
#include "Vantrel/signature/SignatureRecords.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kFunction = "Halvorn::Vantrel::ReadDigestFile";
constexpr std::uint32_t kBufferBytes = 1u << 20;

int Fault(const std::wstring& name, const std::wstring& what, std::uint64_t at, int line)
{
    const std::wstring message = name + L": " + what + L", at byte " + std::to_wstring(at);
    return ReportError(RESULT_FAILED, message.c_str(), kFunction, line);
}

// A failed Write operation of the store passes its code on.
int Stored(int result, const std::wstring& name, int line)
{
    return result == RESULT_OK ? RESULT_OK : ReportError(result, name.c_str(), kFunction, line);
}

std::uint32_t PayloadOf(unsigned char tag)
{
    return tag == kBlockTag ? kBlockPayloadBytes : PropertyPayload(tag);
}

int Read(int descriptor, const std::wstring& name, IDigestIO& store)
{
    if (store.GetDigestSize() != kFixedSignatureBytes) {
        const std::wstring message = name + L": the store holds blocks already";
        return ReportError(RESULT_FAILED, message.c_str(), kFunction, __LINE__);
    }
    ReadBuffer in(descriptor, kBufferBytes);
    for (;;) {
        const std::uint64_t at = in.Offset();
        if (in.Fill(1) == 0) {
            if (in.Failed())
                return Fault(name, L"cannot be read", at, __LINE__);
            return Fault(name, L"ends without the SHA-1 record that ends a signature", at, __LINE__);
        }
        const unsigned char tag = in.Data()[0];
        const std::uint32_t payload = PayloadOf(tag);
        if (payload == 0)
            return Fault(name, L"holds a byte that begins no record", at, __LINE__);
        if (in.Fill(1 + payload) < 1 + payload)
            return Fault(name, in.Failed() ? L"cannot be read" : L"ends within a record", at, __LINE__);
        const unsigned char* p = in.Data() + 1;
        int result = RESULT_OK;
        switch (tag) {
        case kVersionTag:
            result = store.WriteVersion(GetLittleEndian<std::uint32_t>(p));
            break;
        case kWindowTag:
            result = store.WriteWindowSize(GetLittleEndian<std::uint32_t>(p));
            break;
        case kFileSizeTag:
            result = store.WriteFileSize(GetLittleEndian<std::uint64_t>(p));
            break;
        case kTimeTag:
            result = store.WriteFileModifiedTime(GetLittleEndian<std::int64_t>(p));
            break;
        case kBlockTag: {
            _md5_hash md5;
            std::memcpy(md5.bytes, p + 8, sizeof md5.bytes);
            result = store.WriteDigest(GetLittleEndian<std::uint32_t>(p),
                                       GetLittleEndian<std::uint32_t>(p + 4), md5);
            break;
        }
        default: {
            _sha1_hash digest;
            std::memcpy(digest.bytes, p, sizeof digest.bytes);
            return Stored(store.WriteFileDigest(digest), name, __LINE__);
        }
        }
        if (result != RESULT_OK)
            return Stored(result, name, __LINE__);
        in.Skip(1 + payload);
    }
}

} // namespace

int ReadDigestFile(const std::wstring& path, IDigestIO& store)
{
    Platform::Runtime& runtime = Platform::CurrentRuntime();
    ScopedFileDescriptor file(runtime.Open(path, Platform::OpenMode::ReadSequential));
    if (file.Get() < 0)
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);
    return Read(file.Get(), path, store);
}

int ReadDigestFile(int descriptor, IDigestIO& store)
{
    return Read(descriptor, L"descriptor " + std::to_wstring(descriptor), store);
}

} // namespace Vantrel
} // namespace Halvorn
