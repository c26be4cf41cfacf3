// A scope guard that owns a runtime file handle and closes it exactly once, on whatever
// path the scope is left. Build it right after the open call, before testing the result:
// an invalid handle is owned too, and simply not closed.
#ifndef VANTREL_IO_SCOPEDRESOURCE_H
#define VANTREL_IO_SCOPEDRESOURCE_H

#include <cstdio>

namespace Halvorn {

// Closer policies: IsValid tells whether a handle needs closing, Close closes it.
struct CRTFileDescriptorClose {
    static bool IsValid(int descriptor) { return descriptor >= 0; }
    static void Close(int descriptor);
};

struct CRTFileClose {
    static bool IsValid(std::FILE* stream) { return stream != nullptr; }
    static void Close(std::FILE* stream);
};

// The policy applied to a handle the guard lets go of without closing it.
template <typename T>
struct NoOp {
    static void Apply(T) {}
};

template <typename T, typename Closer, typename Releaser>
class ScopedResource {
public:
    explicit ScopedResource(T handle) : owns_(true), handle_(handle) {}
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    virtual ~ScopedResource()
    {
        if (owns_) {
            owns_ = false;
            if (Closer::IsValid(handle_))
                Closer::Close(handle_);
        }
    }

    T Get() const { return handle_; }

    // Hands the handle back to the caller, who closes it from now on.
    T Release()
    {
        owns_ = false;
        Releaser::Apply(handle_);
        return handle_;
    }

private:
    bool owns_;
    T handle_;
};

using ScopedFileDescriptor = ScopedResource<int, CRTFileDescriptorClose, NoOp<int>>;
using ScopedFileStream = ScopedResource<std::FILE*, CRTFileClose, NoOp<std::FILE*>>;

} // namespace Halvorn

#endif
