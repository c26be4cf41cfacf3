#include "Vantrel/Logging.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/LogFormat.h"

namespace {

class SinkLogger final : public ILogger {
public:
    explicit SinkLogger(std::wstring name) : name_(std::move(name)) {}
    void logv(std::int32_t severity, const wchar_t* format, std::va_list values) override;
    const wchar_t* name() const override { return name_.c_str(); }

private:
    std::wstring name_;
};

struct Registry {
    std::mutex mutex;
    std::map<std::wstring, std::unique_ptr<SinkLogger>> loggers;
    LogSink sink = nullptr;
    void* context = nullptr;
};

// Never destroyed: loggers must outlive every static object that might still report.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

void SinkLogger::logv(std::int32_t severity, const wchar_t* format, std::va_list values)
{
    Registry& registry = TheRegistry();
    LogSink sink;
    void* context;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        sink = registry.sink;
        context = registry.context;
    }
    if (sink == nullptr)
        return;
    const std::wstring line = Halvorn::Platform::RenderLogLine(format, values);
    // Called outside the lock, so that a sink may log or swap sinks itself.
    sink(context, name_.c_str(), severity, line.c_str());
}

} // namespace

ILogger::~ILogger() = default;

void ILogger::logf(std::int32_t severity, const wchar_t* format, ...)
{
    std::va_list values;
    va_start(values, format);
    logv(severity, format, values);
    va_end(values);
}

ILogger* LoggerRegistry::getLogger(const wchar_t* name)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    std::unique_ptr<SinkLogger>& logger = registry.loggers[name != nullptr ? name : L""];
    if (!logger)
        logger.reset(new SinkLogger(name != nullptr ? name : L""));
    return logger.get();
}

LogSink LoggerRegistry::setSink(LogSink sink, void* context, void** previousContext)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const LogSink previous = registry.sink;
    if (previousContext != nullptr)
        *previousContext = registry.context;
    registry.sink = sink;
    registry.context = context;
    return previous;
}
