// The C interface's log callback, version and release of what it hands out.
#include <cstdlib>
#include <mutex>
#include <string>

#include "Vantrel/capi/CHandles.h"
#include "Vantrel/Logging.h"

namespace {

struct Callback {
    std::mutex lock; // installing and logging may run on different threads
    korrin_log_callback function = nullptr;
    void* context = nullptr;
};

Callback& Installed()
{
    static Callback callback;
    return callback;
}

std::string Utf8(const wchar_t* wide)
{
    std::string bytes;
    Halvorn::Utf8Names::Encode(wide, std::char_traits<wchar_t>::length(wide), bytes, 0xFFFD);
    return bytes;
}

void Deliver(void*, const wchar_t* logger, std::int32_t severity, const wchar_t* line)
{
    try {
        const std::string name = Utf8(logger);
        const std::string text = Utf8(line);
        korrin_log_callback function = nullptr;
        void* context = nullptr;
        {
            // Called outside the lock, so that a callback may itself call the library.
            Callback& callback = Installed();
            std::lock_guard<std::mutex> hold(callback.lock);
            function = callback.function;
            context = callback.context;
        }
        if (function != nullptr)
            function(context, name.c_str(), severity, text.c_str());
    } catch (...) {
        // A line that cannot be delivered is dropped; the result code still tells.
    }
}

} // namespace

extern "C" {

void korrin_set_log_callback(korrin_log_callback callback, void* context)
{
    Callback& installed = Installed();
    {
        std::lock_guard<std::mutex> hold(installed.lock);
        installed.function = callback;
        installed.context = context;
    }
    LoggerRegistry::setSink(callback != nullptr ? &Deliver : nullptr, nullptr);
}

const char* korrin_version(void)
{
    return KORRIN_VERSION_STRING;
}

void korrin_free(void* memory)
{
    // Blobs come from malloc, in the library's own runtime.
    std::free(memory);
}

} // extern "C"
