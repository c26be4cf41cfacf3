// Named loggers and the sink that receives their lines.
//
// The library writes its error lines through LoggerRegistry::getLogger(name)->logf(...).
// A line is rendered from a wide printf-style format in which %d takes a 32-bit int,
// %s a wide string and %S a narrow string, on every platform, and handed to the sink the
// host program installed. With no sink installed, lines are dropped: a library does not
// write to its host's streams on its own.
//
// Loggers live until the process ends. Installing a sink and logging may happen on
// different threads; the sink itself may be called from any thread that logs.
#ifndef VANTREL_LOGGING_H
#define VANTREL_LOGGING_H

#include <cstdarg>
#include <cstdint>

#include <Vantrel/KorrinExport.h>

// Receives one rendered line, without a line terminator.
using LogSink = void (*)(void* context, const wchar_t* loggerName, std::int32_t severity,
                         const wchar_t* line);

class KORRIN_API ILogger {
public:
    virtual ~ILogger();
    // Renders the format with the values that follow and delivers the line.
    void logf(std::int32_t severity, const wchar_t* format, ...);
    virtual void logv(std::int32_t severity, const wchar_t* format, std::va_list values) = 0;
    virtual const wchar_t* name() const = 0;
};

class KORRIN_API LoggerRegistry {
public:
    // The logger of that name, made on first use; never null.
    static ILogger* getLogger(const wchar_t* name);
    // Installs the sink for every logger (null: drop lines) and returns the previous one.
    static LogSink setSink(LogSink sink, void* context, void** previousContext = nullptr);
};

#endif
