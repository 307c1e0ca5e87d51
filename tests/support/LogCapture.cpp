#include "tests/support/TestCommon.h"

#include "engine/Log.h"

namespace testsupport
{
LogCapture::LogCapture() : sink(std::make_shared<RecordingSink>())
{
    logger = spdlog::get(kLoggerName);
    if (!logger)
    {
        logger = std::make_shared<spdlog::logger>(kLoggerName);
        logger->set_level(spdlog::level::trace);
        spdlog::register_logger(logger);
    }
    logger->sinks().push_back(sink);
}

LogCapture::~LogCapture()
{
    auto& sinks = logger->sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
}

std::string LogCapture::Dump() const
{
    std::string out;
    for (const LogRecord& r : Records())
        out += std::string(spdlog::level::to_string_view(r.level).data()) + ": " + r.text + "\n";
    return out;
}
} // namespace testsupport
