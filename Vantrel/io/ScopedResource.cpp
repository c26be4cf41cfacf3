#include "Vantrel/io/ScopedResource.h"

#include "platform/Runtime.h"

namespace Halvorn {

void CRTFileDescriptorClose::Close(int descriptor)
{
    Platform::CurrentRuntime().Close(descriptor);
}

void CRTFileClose::Close(std::FILE* stream)
{
    Platform::CurrentRuntime().CloseStream(stream);
}

} // namespace Halvorn
