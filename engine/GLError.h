#pragma once
// The GL error check that renderer code calls after GL work, and GLFW's error report. Apart from the
// logger (engine/Logger.h), which programs without GL use too.

// Reports one pending GL error (a single glGetError per call), naming the caller as "Class::Method".
void CheckGLError(const char* function, unsigned line);

// GLFW reports its errors on standard error, not through the logger.
void GLFWErrorCallback(int error, const char* description);

// Name of a GL error code as the log shows it; "<unknown>" for codes without one.
const char* GLErrorName(unsigned code);
