#include "render/Shader.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include <ostream>

#include <fstream>
#include <string>
#include <vector>

using testsupport::LogCapture;
using testsupport::TempDir;

namespace
{
const char* kVertex = R"(#version 440
layout(location = 0) in vec3 position;
uniform mat4 Mmatrix;
void main() { gl_Position = Mmatrix * vec4(position, 1.0); }
)";
const char* kFragment = R"(#version 440
uniform vec3 viewPos;
uniform int useTexture;
out vec4 fragColor;
void main() { fragColor = vec4(viewPos, float(useTexture)); }
)";

std::string WriteFile(const TempDir& dir, const std::string& name, const std::string& text)
{
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class ShaderGLTest : public testsupport::GLTest
{
};

struct BuiltIn
{
    const char* base;
    std::vector<const char*> attributes;
    std::vector<const char*> uniforms;
};

void PrintTo(const BuiltIn& p, std::ostream* out)
{
    *out << p.base;
}

class BuiltInShaderGLTest : public ShaderGLTest, public ::testing::WithParamInterface<BuiltIn>
{
};

TEST_P(BuiltInShaderGLTest, BuildsAndOffersItsInterface)
{
    const BuiltIn param = GetParam();
    LogCapture log;
    Shader shader(std::string(param.base) + ".vert", std::string(param.base) + ".frag");
    ASSERT_NE(shader.program, 0u) << log.Dump();
    EXPECT_EQ(shader.name, param.base);
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    EXPECT_EQ(log.Count(spdlog::level::trace, std::string("Loading shader: ") + param.base + ".vert"), 1);
    for (const char* attribute : param.attributes)
        EXPECT_GE(shader.GetAttribLocation(attribute), 0) << attribute;
    for (const char* uniform : param.uniforms)
        EXPECT_GE(shader.GetUniformLocation(uniform), 0) << uniform;
    EXPECT_EQ(shader.GetAttribLocation("position"), 0); // the array the draw command enables
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Shaders, BuiltInShaderGLTest,
    ::testing::Values(
        BuiltIn{"shaders/basic_lighting",
                {"position", "normal", "texcoord"},
                {"Mmatrix", "normalMatrix", "Pmatrix", "Vmatrix", "viewPos", "material.ambient",
                 "material.diffuse", "material.specular", "material.shininess", "useTexture", "texSampler"}},
        BuiltIn{"shaders/normal_shader",
                {"position", "normal"},
                {"Mmatrix", "normalMatrix", "Pmatrix", "Vmatrix"}},
        BuiltIn{"shaders/texcoord_shader", {"position", "texcoord"}, {"Mmatrix", "Pmatrix", "Vmatrix"}}));

TEST_F(ShaderGLTest, MissingFilesGiveProgramZeroAndKeepNameAndPaths)
{
    TempDir dir;
    const std::string vertex = WriteFile(dir, "ok.vert", kVertex);
    const std::string fragment = WriteFile(dir, "ok.frag", kFragment);
    const std::string missing = dir / "missing.frag";

    for (const auto& [vertexPath, fragmentPath] :
         {std::pair{vertex, missing}, std::pair{missing, fragment}, std::pair{missing, missing}})
    {
        LogCapture log;
        testing::internal::CaptureStderr();
        Shader shader(vertexPath, fragmentPath);
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(shader.program, 0u);
        EXPECT_EQ(shader.vertexPath, vertexPath);
        EXPECT_EQ(shader.fragmentPath, fragmentPath);
        EXPECT_EQ(shader.name, vertexPath.substr(0, vertexPath.find('.')));
        EXPECT_GE(log.Count(spdlog::level::err, "Unable to open file " + missing + " for reading."), 1)
            << log.Dump();
        EXPECT_EQ(log.Count(spdlog::level::trace, "Shader program deleted"), 1) << log.Dump();
        EXPECT_NE(stderrText.find("Linker failure: "), std::string::npos);
        // Attaching the missing stage's 0 is reported by the check after attaching.
        bool attachReported = false;
        for (const auto& record : log.Records())
            attachReported = attachReported ||
                             (record.text.rfind("GL error occurred in Shader::createProgram : ", 0) == 0 &&
                              record.text.find("GL_INVALID_VALUE") != std::string::npos);
        EXPECT_TRUE(attachReported) << log.Dump();
        testsupport::DrainGLErrors();

        // A failed program answers -1 without asking GL, and setting through it changes nothing.
        EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), -1);
        EXPECT_EQ(shader.locationQueries, 0u);
    }
}

TEST_F(ShaderGLTest, CompileFailureLogsStageAndInfoLog)
{
    TempDir dir;
    const std::string vertex = WriteFile(dir, "ok.vert", kVertex);
    const std::string fragment =
        WriteFile(dir, "bad.frag", "#version 440\nvoid main() { undefinedThing = 1; }\n");
    LogCapture log;
    testing::internal::CaptureStderr();
    Shader shader(vertex, fragment);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(shader.program, 0u);
    EXPECT_EQ(shader.fragmentPath, fragment);
    ASSERT_EQ(log.Count(spdlog::level::err, "Compile failure in fragment shader:"), 1) << log.Dump();
    // The info log follows as a message of its own.
    const auto& records = log.Records();
    for (size_t i = 0; i + 1 < records.size(); ++i)
        if (records[i].text == "Compile failure in fragment shader:")
        {
            EXPECT_EQ(records[i + 1].level, spdlog::level::err);
            EXPECT_NE(records[i + 1].text.find("undefinedThing"), std::string::npos) << records[i + 1].text;
        }
    testsupport::DrainGLErrors();
}

TEST_F(ShaderGLTest, LinkFailureWritesTheLogToStandardError)
{
    TempDir dir;
    const std::string vertex = WriteFile(dir, "ok.vert", kVertex);
    // Reads a value no vertex stage writes.
    const std::string fragment = WriteFile(
        dir, "unlinked.frag",
        "#version 440\nin vec3 neverWritten;\nout vec4 c;\nvoid main() { c = vec4(neverWritten, 1.0); }\n");
    LogCapture log;
    testing::internal::CaptureStderr();
    Shader shader(vertex, fragment);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shader.program, 0u);
    EXPECT_EQ(stderrText.rfind("Linker failure: ", 0), 0u) << stderrText;
    EXPECT_NE(stderrText.find("neverWritten"), std::string::npos) << stderrText;
    EXPECT_EQ(log.Count(spdlog::level::trace, "Shader program deleted"), 1) << log.Dump();
    EXPECT_EQ(log.Count(spdlog::level::err, "Compile failure in vertex shader:"), 0);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

struct NameCase
{
    const char* vertexPath;
    const char* name;
};

void PrintTo(const NameCase& p, std::ostream* out)
{
    *out << p.vertexPath;
}

class ShaderNameGLTest : public ShaderGLTest, public ::testing::WithParamInterface<NameCase>
{
};

TEST_P(ShaderNameGLTest, NameIsThePathBeforeItsFirstDot)
{
    Shader shader(GetParam().vertexPath, "shaders/basic_lighting.frag");
    EXPECT_EQ(shader.name, GetParam().name);
    EXPECT_EQ(shader.vertexPath, GetParam().vertexPath);
    testsupport::DrainGLErrors();
}

INSTANTIATE_TEST_SUITE_P(Paths, ShaderNameGLTest,
                         ::testing::Values(NameCase{"shaders/basic_lighting.vert", "shaders/basic_lighting"},
                                           NameCase{"./shaders/basic_lighting.vert", ""},
                                           NameCase{"shaders/../shaders/basic_lighting.vert", "shaders/"},
                                           NameCase{"shaders/vertex_without_dot",
                                                    "shaders/vertex_without_dot"}));

TEST_F(ShaderGLTest, SourceEndsAtAZeroByteAndEmptySourceIsCompiled)
{
    TempDir dir;
    const std::string withZero =
        WriteFile(dir, "zero.vert", std::string(kVertex) + std::string(1, '\0') + "garbage(");
    const std::string fragment = WriteFile(dir, "ok.frag", kFragment);
    LogCapture log;
    Shader shader(withZero, fragment);
    EXPECT_NE(shader.program, 0u) << log.Dump();

    const std::string empty = WriteFile(dir, "empty.frag", "");
    testing::internal::CaptureStderr();
    Shader emptyShader(withZero, empty);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(emptyShader.program, 0u);
    EXPECT_EQ(log.Count(spdlog::level::trace, "Loading shader: " + empty), 1);
    EXPECT_EQ(log.Count(spdlog::level::err, "Compile failure in fragment shader:"), 1) << log.Dump();
    testsupport::DrainGLErrors();
}

TEST_F(ShaderGLTest, LocationsAreAskedFromGLOncePerName)
{
    Shader shader("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    ASSERT_NE(shader.program, 0u);
    const GLint expected = glGetUniformLocation(shader.program, "Mmatrix");
    EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), expected);
    EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), expected);
    EXPECT_EQ(shader.locationQueries, 1u);
    EXPECT_EQ(shader.GetUniformLocation("noSuchUniform"), -1);
    EXPECT_EQ(shader.GetUniformLocation("noSuchUniform"), -1);
    EXPECT_EQ(shader.locationQueries, 2u);
    EXPECT_EQ(shader.GetAttribLocation("texcoord"), glGetAttribLocation(shader.program, "texcoord"));
    EXPECT_EQ(shader.GetAttribLocation("texcoord"), glGetAttribLocation(shader.program, "texcoord"));
    EXPECT_EQ(shader.GetAttribLocation("color"), -1); // not used by this program
    EXPECT_EQ(shader.locationQueries, 4u);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(ShaderGLTest, SettersReachTheProgram)
{
    Shader shader("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    ASSERT_NE(shader.program, 0u);
    LogCapture log;
    shader.SetUniformInt("useTexture", 1);
    shader.SetUniformFloat3("viewPos", 1.5f, -2.0f, 3.25f);
    glm::mat4 matrix(1.0f);
    matrix[3] = glm::vec4(4.0f, 5.0f, 6.0f, 1.0f); // a translation: column-major, not transposed
    shader.SetUniformMat4("Mmatrix", matrix);

    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), shader.program);
    GLint useTexture = 0;
    glGetUniformiv(shader.program, shader.GetUniformLocation("useTexture"), &useTexture);
    EXPECT_EQ(useTexture, 1);
    float viewPos[3] = {};
    glGetUniformfv(shader.program, shader.GetUniformLocation("viewPos"), viewPos);
    EXPECT_EQ(glm::vec3(viewPos[0], viewPos[1], viewPos[2]), glm::vec3(1.5f, -2.0f, 3.25f));
    glm::mat4 read(0.0f);
    glGetUniformfv(shader.program, shader.GetUniformLocation("Mmatrix"), glm::value_ptr(read));
    EXPECT_EQ(read, matrix);

    // Unknown names are ignored by GL without an error.
    shader.SetUniformInt("noSuchUniform", 3);
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    glUseProgram(0);
}
} // namespace
