#include "engine/GLError.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/TestCommon.h"

#include <GL/glew.h>

namespace
{
using CheckGLErrorGLTest = testsupport::GLTest;

// Nothing without an error; one check reads one error (GL may keep only the first of two); an empty or
// missing label gives the short form. Codes GL does not define are named "<unknown>".
TEST_F(CheckGLErrorGLTest, ReportsEachRealErrorOnceWithLabelAndLine)
{
    testsupport::LogCapture log;
    CheckGLError("Engine::Update", 1);
    glEnable(0xFFFF);            // not a capability: GL_INVALID_ENUM
    glBindBuffer(0xFFFF, 12345); // another error
    CheckGLError("Window::Render", 42);
    EXPECT_EQ(log.Dump(), "error: GL error occurred in Window::Render : 42 : GL_INVALID_ENUM\n");
    testsupport::DrainGLErrors();
    for (const char* label : {"", static_cast<const char*>(nullptr)})
    {
        glEnable(0xFFFF);
        CheckGLError(label, 7);
    }
    EXPECT_EQ(log.Count(spdlog::level::err, "GL error occurred: GL_INVALID_ENUM"), 2) << log.Dump();

    const std::pair<unsigned, const char*> names[] = {{0x0500, "GL_INVALID_ENUM"},
                                                      {0x0501, "GL_INVALID_VALUE"},
                                                      {0x0502, "GL_INVALID_OPERATION"},
                                                      {0x0505, "GL_OUT_OF_MEMORY"},
                                                      {0x0506, "GL_INVALID_FRAMEBUFFER_OPERATION"},
                                                      {0x0503, "<unknown>"},
                                                      {0x1234, "<unknown>"}};
    for (const auto& [code, name] : names)
        EXPECT_STREQ(GLErrorName(code), name) << code;
}
} // namespace
