#pragma once
// Every message goes through the one named logger. Each call looks the logger up by name, so
// messages before start-up or after shut-down are dropped without a trace.
//
// Only the formatting is a template here; the logger itself is reached through two plain functions
// (Log.cpp). Instantiating the logging library's templates at every call site made each file that
// logs take seconds longer to compile, many times that under the sanitizers.
#include <fmt/core.h>

#include <string_view>
#include <utility>

inline constexpr const char* kLoggerName = "VelmoranLogger";

namespace Log
{
enum class Level
{
    Trace,
    Debug,
    Info,
    Warn,
    Error,
    Critical
};

// Whether a message of this level would be written: the logger exists and takes the level. Checked
// before formatting, so that dropped messages cost no formatting.
bool Enabled(Level level);
void WriteText(Level level, std::string_view text);

template <typename... Args> void Write(Level level, fmt::format_string<Args...> format, Args&&... args)
{
    if (Enabled(level)) WriteText(level, fmt::vformat(format, fmt::make_format_args(args...)));
}

template <typename... Args> void Trace(fmt::format_string<Args...> format, Args&&... args)
{
    Write(Level::Trace, format, std::forward<Args>(args)...);
}
template <typename... Args> void Debug(fmt::format_string<Args...> format, Args&&... args)
{
    Write(Level::Debug, format, std::forward<Args>(args)...);
}
template <typename... Args> void Info(fmt::format_string<Args...> format, Args&&... args)
{
    Write(Level::Info, format, std::forward<Args>(args)...);
}
template <typename... Args> void Warn(fmt::format_string<Args...> format, Args&&... args)
{
    Write(Level::Warn, format, std::forward<Args>(args)...);
}
template <typename... Args> void Error(fmt::format_string<Args...> format, Args&&... args)
{
    Write(Level::Error, format, std::forward<Args>(args)...);
}
template <typename... Args> void Critical(fmt::format_string<Args...> format, Args&&... args)
{
    Write(Level::Critical, format, std::forward<Args>(args)...);
}
} // namespace Log
