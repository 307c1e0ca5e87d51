#include "engine/Log.h"
#include "engine/Logger.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <spdlog/pattern_formatter.h>

#include <string>

using testsupport::LogCapture;

namespace
{
// '#' in the shape stands for one digit; every other character stands for itself.
bool MatchesShape(const std::string& text, const std::string& shape)
{
    bool same = text.size() == shape.size();
    for (size_t i = 0; same && i < shape.size(); ++i)
        same = shape[i] == '#' ? text[i] >= '0' && text[i] <= '9' : text[i] == shape[i];
    return same;
}

using CheckGLErrorGLTest = testsupport::GLTest;

TEST_F(CheckGLErrorGLTest, ReportsARealErrorWithLabelAndLineAndNothingElse)
{
    LogCapture log;
    CheckGLError("Engine::Update", 1); // no error: nothing to say
    glEnable(0xFFFF);                  // not a capability: GL_INVALID_ENUM
    CheckGLError("Window::Render", 42);
    ASSERT_EQ(log.Records().size(), 1u) << log.Dump();
    EXPECT_EQ(log.Count(spdlog::level::err, "GL error occurred in Window::Render : 42 : GL_INVALID_ENUM"), 1);
}

TEST_F(CheckGLErrorGLTest, OneCheckReadsOneError)
{
    LogCapture log;
    glEnable(0xFFFF);            // GL_INVALID_ENUM
    glBindBuffer(0xFFFF, 12345); // another error; GL may keep only the first
    CheckGLError("A::B", 1);
    ASSERT_EQ(log.Records().size(), 1u);
    EXPECT_EQ(log.Records()[0].text, "GL error occurred in A::B : 1 : GL_INVALID_ENUM");
    testsupport::DrainGLErrors();
}

TEST_F(CheckGLErrorGLTest, EmptyOrMissingLabelUsesTheShortForm)
{
    LogCapture log;
    glEnable(0xFFFF);
    CheckGLError("", 7);
    glEnable(0xFFFF);
    CheckGLError(nullptr, 7);
    EXPECT_EQ(log.Count(spdlog::level::err, "GL error occurred: GL_INVALID_ENUM"), 2) << log.Dump();
}

TEST(GLErrorNameTest, NamesKnownCodesAndFallsBackForOthers)
{
    EXPECT_STREQ(GLErrorName(0x0500), "GL_INVALID_ENUM");
    EXPECT_STREQ(GLErrorName(0x0501), "GL_INVALID_VALUE");
    EXPECT_STREQ(GLErrorName(0x0502), "GL_INVALID_OPERATION");
    EXPECT_STREQ(GLErrorName(0x0505), "GL_OUT_OF_MEMORY");
    EXPECT_STREQ(GLErrorName(0x0506), "GL_INVALID_FRAMEBUFFER_OPERATION");
    for (unsigned code : {0x0503u, 0x0504u, 0x1234u})
        EXPECT_STREQ(GLErrorName(code), "<unknown>");
}

TEST(LoggerTest, PatternWritesDateTimeLevelAndTwoBlanks)
{
    spdlog::pattern_formatter formatter(kLogPattern);
    spdlog::details::log_msg msg("VelmoranLogger", spdlog::level::warn, "Shutting down app.");
    spdlog::memory_buf_t out;
    formatter.format(msg, out);
    const std::string line(out.data(), out.size());
    const std::string shape = "[####_##_## ##:##:## - warning]  Shutting down app.";
    EXPECT_TRUE(MatchesShape(line, shape + "\n") || MatchesShape(line, shape + "\r\n")) << line;
}

TEST(LoggerTest, InitializeRegistersTheNamedLoggerAtTraceOnce)
{
    auto logger = spdlog::get(kLoggerName);
    ASSERT_TRUE(logger);
    EXPECT_EQ(logger->level(), spdlog::level::trace);
    Logger second;
    second.Initialize(); // a second start must not make the registry throw
    EXPECT_EQ(second.logger, logger);
}
} // namespace
