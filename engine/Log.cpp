#include "engine/Log.h"

#include <spdlog/spdlog.h>

namespace Log
{
namespace
{
spdlog::level::level_enum ToSpdlog(Level level)
{
    switch (level)
    {
    case Level::Trace:
        return spdlog::level::trace;
    case Level::Debug:
        return spdlog::level::debug;
    case Level::Info:
        return spdlog::level::info;
    case Level::Warn:
        return spdlog::level::warn;
    case Level::Error:
        return spdlog::level::err;
    case Level::Critical:
        return spdlog::level::critical;
    }
    return spdlog::level::info;
}
} // namespace

bool Enabled(Level level)
{
    const auto logger = spdlog::get(kLoggerName);
    return logger && logger->should_log(ToSpdlog(level));
}

void WriteText(Level level, std::string_view text)
{
    if (auto logger = spdlog::get(kLoggerName))
        logger->log(ToSpdlog(level), spdlog::string_view_t(text.data(), text.size()));
}
} // namespace Log
