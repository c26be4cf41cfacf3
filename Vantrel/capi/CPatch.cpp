// The C interface's rebuilding: to a new file, or in place.
#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>

#include "Vantrel/capi/CHandles.h"
#include "Vantrel/FileLock.h"

using namespace Halvorn::Vantrel;

extern "C" {

int korrin_patch(const char* old_path, korrin_delta* delta, const char* new_path)
{
    static const char function[] = "korrin_patch";
    KORRIN_C_REQUIRE(old_path != nullptr && delta != nullptr && new_path != nullptr, function);
    return CApi::Guarded(function, [&] {
        Korrin engine;
        return engine.ApplyFileDelta(CApi::WidePath(old_path), FileDelta(&delta->Store()),
                                     CApi::WidePath(new_path));
    });
}

int korrin_patch_in_place(const char* path, korrin_delta* delta, uint32_t flags)
{
    static const char function[] = "korrin_patch_in_place";
    KORRIN_C_REQUIRE(path != nullptr && delta != nullptr, function);
    if ((flags & ~KORRIN_LOCK) != 0)
        return ReportError(KORRIN_INVALID_ARGUMENT, L"unknown flags", function, __LINE__);
    return CApi::Guarded(function, [&] {
        const std::wstring wide = CApi::WidePath(path);
        Korrin engine;
        if ((flags & KORRIN_LOCK) == 0)
            return engine.ApplyFileDelta(wide, FileDelta(&delta->Store()));
        // Held from before the rebuild to after the replacement, so that two callers never
        // rebuild the same file at once; rebuilding takes it again and keeps it.
        FileLock lock;
        if (!lock.Create(FileLock::Exclusive, wide.c_str()))
            return ReportError(RESULT_FAILED, wide.c_str(), function, __LINE__);
        return engine.ApplyFileDelta(wide, FileDelta(&delta->Store()), &lock);
    });
}

} // extern "C"
