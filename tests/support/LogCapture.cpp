#include "tests/support/LogCapture.h"

#include "engine/Log.h"

#include <algorithm>

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

template <typename Matches> static int CountIf(const std::vector<LogRecord>& records, Matches matches)
{
    return static_cast<int>(std::count_if(records.begin(), records.end(), matches));
}

int LogCapture::Count(const std::string& text) const
{
    return CountIf(Records(), [&](const LogRecord& r) { return r.text == text; });
}

int LogCapture::Count(spdlog::level::level_enum level, const std::string& text) const
{
    return CountIf(Records(), [&](const LogRecord& r) { return r.level == level && r.text == text; });
}

int LogCapture::CountAtLeast(spdlog::level::level_enum level) const
{
    return CountIf(Records(), [&](const LogRecord& r) { return r.level >= level; });
}

int LogCapture::CountLevel(spdlog::level::level_enum level) const
{
    return CountIf(Records(), [&](const LogRecord& r) { return r.level == level; });
}

std::string LogCapture::Dump() const
{
    std::string out;
    for (const LogRecord& r : Records())
        out += std::string(spdlog::level::to_string_view(r.level).data()) + ": " + r.text + "\n";
    return out;
}
} // namespace testsupport
