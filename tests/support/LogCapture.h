#pragma once
// Collects what the named logger writes while the capture lives, so tests can check exact messages.
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport
{
struct LogRecord
{
    spdlog::level::level_enum level;
    std::string text;
};

class RecordingSink : public spdlog::sinks::base_sink<std::mutex>
{
  public:
    std::vector<LogRecord> records;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        records.push_back({msg.level, std::string(msg.payload.data(), msg.payload.size())});
    }
    void flush_() override {}
};

class LogCapture
{
  public:
    // Attaches to the registered "VelmoranLogger", registering one first when there is none.
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    using Level = spdlog::level::level_enum;
    const std::vector<LogRecord>& Records() const { return sink->records; }
    void Clear() { sink->records.clear(); }
    // Number of messages equal to text (at the given level, or any level when none is given).
    int Count(const std::string& text) const
    {
        return CountIf([&](auto& r) { return r.text == text; });
    }
    int Count(Level level, const std::string& text) const
    {
        return CountIf([&](auto& r) { return r.level == level && r.text == text; });
    }
    bool Has(Level at, const std::string& text) const { return Count(at, text) > 0; }
    // Messages at or above the level, for failure output.
    int CountAtLeast(Level level) const
    {
        return CountIf([&](auto& r) { return r.level >= level; });
    }
    // Messages at exactly this level.
    int CountLevel(Level level) const
    {
        return CountIf([&](auto& r) { return r.level == level; });
    }
    std::string Dump() const;

  private:
    template <typename Matches> int CountIf(Matches matches) const
    {
        return static_cast<int>(std::count_if(Records().begin(), Records().end(), matches));
    }
    std::shared_ptr<RecordingSink> sink;
    std::shared_ptr<spdlog::logger> logger;
};
} // namespace testsupport
