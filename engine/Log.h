#pragma once
// Every message goes through the one named logger. Each call looks the logger up by name, so
// messages before start-up or after shut-down are dropped without a trace.
#include <spdlog/spdlog.h>

#include <utility>

inline constexpr const char* kLoggerName = "VelmoranLogger";

namespace Log
{
template <typename... Args>
void Write(spdlog::level::level_enum level, spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    if (auto logger = spdlog::get(kLoggerName))
        logger->log(level, fmt, std::forward<Args>(args)...);
}

template <typename... Args> void Trace(spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    Write(spdlog::level::trace, fmt, std::forward<Args>(args)...);
}
template <typename... Args> void Debug(spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    Write(spdlog::level::debug, fmt, std::forward<Args>(args)...);
}
template <typename... Args> void Info(spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    Write(spdlog::level::info, fmt, std::forward<Args>(args)...);
}
template <typename... Args> void Warn(spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    Write(spdlog::level::warn, fmt, std::forward<Args>(args)...);
}
template <typename... Args> void Error(spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    Write(spdlog::level::err, fmt, std::forward<Args>(args)...);
}
template <typename... Args> void Critical(spdlog::format_string_t<Args...> fmt, Args&&... args)
{
    Write(spdlog::level::critical, fmt, std::forward<Args>(args)...);
}
} // namespace Log
