#include "engine/Logger.h"

#include "engine/Log.h"

#include <spdlog/spdlog.h>

void Logger::Initialize()
{
    if (auto existing = spdlog::get(kLoggerName))
    {
        logger = existing;
        return;
    }
    Register(std::make_shared<spdlog::sinks::stdout_color_sink_mt>(), spdlog::level::trace);
}

void Logger::InitializeOnStandardError(spdlog::level::level_enum level)
{
    if (auto existing = spdlog::get(kLoggerName))
    {
        logger = existing;
        return;
    }
    Register(std::make_shared<spdlog::sinks::stderr_color_sink_mt>(), level);
}

void Logger::Register(std::shared_ptr<spdlog::sinks::sink> console, spdlog::level::level_enum level)
{
    sink = std::move(console);
    sink->set_pattern(kLogPattern);
    logger = std::make_shared<spdlog::logger>(kLoggerName, sink);
    logger->set_level(level);
    logger->flush_on(level);
    spdlog::register_logger(logger);
}
