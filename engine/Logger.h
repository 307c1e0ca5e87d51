#pragma once
#include <spdlog/logger.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <memory>

inline constexpr const char* kLogPattern = "%^[%Y_%m_%d %H:%M:%S - %l]  %v%$";

// Owns the colour console sink and the named logger that every message site looks up.
class Logger
{
  public:
    // Creates the sink and registers "VelmoranLogger" at trace level, on standard output (the editor). A
    // logger of that name that is already registered is reused, so a second engine start-up cannot make
    // the registry throw.
    void Initialize();
    // The same on standard error from the given level on: for tools whose standard output is their
    // product, such as velmoran-build (warnings and errors).
    void InitializeOnStandardError(spdlog::level::level_enum level);

    std::shared_ptr<spdlog::sinks::sink> sink;
    std::shared_ptr<spdlog::logger> logger;

  private:
    void Register(std::shared_ptr<spdlog::sinks::sink> console, spdlog::level::level_enum level);
};
