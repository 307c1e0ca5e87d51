#pragma once
#include <spdlog/logger.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <memory>

inline constexpr const char* kLogPattern = "%^[%Y_%m_%d %H:%M:%S - %l]  %v%$";

// Owns the colour console sink and the named logger that every message site looks up.
class Logger
{
  public:
    // Creates the sink and registers "VelmoranLogger". A logger of that name that is already
    // registered is reused, so a second engine start-up cannot make the registry throw.
    void Initialize();

    std::shared_ptr<spdlog::sinks::stdout_color_sink_mt> sink;
    std::shared_ptr<spdlog::logger> logger;
};

// Reports one pending GL error (a single glGetError per call), naming the caller as "Class::Method".
void CheckGLError(const char* function, unsigned line);

// GLFW reports its errors on standard error, not through the logger.
void GLFWErrorCallback(int error, const char* description);

// Name of a GL error code as the log shows it; "<unknown>" for codes without one.
const char* GLErrorName(unsigned code);
