#include "render/Framebuffer.h"
#include "render/Shader.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

using testsupport::LogCapture;

namespace
{
const char* kShaderVertex = R"(#version 440
layout(location = 0) in vec3 position;
uniform mat4 Mmatrix;
void main() { gl_Position = Mmatrix * vec4(position, 1.0); }
)";
const char* kShaderFragment = R"(#version 440
out vec4 fragColor;
void main() { fragColor = vec4(1.0); }
)";

class ShaderGLTest : public testsupport::GLTest
{
  protected:
    std::string Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }

    testsupport::TempDir dir;
};

TEST_F(ShaderGLTest, BuiltInProgramsBuildAndOfferTheirInterface)
{
    const std::tuple<const char*, std::vector<const char*>, std::vector<const char*>> programs[] = {
        {"shaders/basic_lighting",
         {"position", "normal", "texcoord"},
         {"Mmatrix", "normalMatrix", "Pmatrix", "Vmatrix", "viewPos", "material.ambient", "material.diffuse",
          "material.specular", "material.shininess", "useTexture", "texSampler"}},
        {"shaders/normal_shader", {"position", "normal"}, {"Mmatrix", "normalMatrix", "Pmatrix", "Vmatrix"}},
        {"shaders/texcoord_shader", {"position", "texcoord"}, {"Mmatrix", "Pmatrix", "Vmatrix"}}};
    for (const auto& [base, attributes, uniforms] : programs)
    {
        SCOPED_TRACE(base);
        LogCapture log;
        Shader shader(std::string(base) + ".vert", std::string(base) + ".frag");
        ASSERT_NE(shader.program, 0u) << log.Dump();
        EXPECT_EQ(shader.name, base);
        EXPECT_EQ(log.Count(spdlog::level::trace, std::string("Loading shader: ") + base + ".vert"), 1);
        EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
        for (const char* attribute : attributes)
            EXPECT_GE(shader.GetAttribLocation(attribute), 0) << attribute;
        for (const char* uniform : uniforms)
            EXPECT_GE(shader.GetUniformLocation(uniform), 0) << uniform;
        EXPECT_EQ(shader.GetAttribLocation("position"), 0); // the array the draw command enables
    }
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

// The lighting program lights the side of a surface the viewer sees, whichever way its triangles
// wind: a terrain's (clockwise seen from above) is as bright from above as a counter-clockwise one.
TEST_F(ShaderGLTest, TheLightingProgramLightsTheSideTheViewerSees)
{
    Shader shader("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    ASSERT_NE(shader.program, 0u);
    Framebuffer target(8, 8);
    glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
    glViewport(0, 0, 8, 8);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    shader.SetUniformMat4("Mmatrix", glm::mat4(1.0f));
    shader.SetUniformMat4("normalMatrix", glm::mat4(1.0f));
    shader.SetUniformMat4("Vmatrix", glm::lookAt(glm::vec3(0, 2, 0), glm::vec3(0), glm::vec3(0, 0, -1)));
    shader.SetUniformMat4("Pmatrix", glm::ortho(-1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 10.0f));
    shader.SetUniformFloat3("viewPos", 0.0f, 2.0f, 0.0f);
    shader.SetUniformFloat3("material.ambient", 1.0f, 1.0f, 1.0f);
    shader.SetUniformFloat3("material.diffuse", 1.0f, 1.0f, 1.0f);
    shader.SetUniformFloat3("material.specular", 0.0f, 0.0f, 0.0f);
    glUniform1f(shader.GetUniformLocation("material.shininess"), 1.0f);
    shader.SetUniformInt("useTexture", 0);
    // A level square under the viewer with its normal up, as two triangles of each winding.
    const float positions[] = {-1, 0, -1, 1, 0, -1, -1, 0, 1, 1, 0, 1};
    const float normals[] = {0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
    for (const std::vector<uint32_t>& triangles :
         {std::vector<uint32_t>{0, 2, 1, 1, 2, 3}, std::vector<uint32_t>{0, 1, 2, 1, 3, 2}})
    {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, positions);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 0, normals);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, triangles.data());
        glDisableVertexAttribArray(0);
        glDisableVertexAttribArray(1);
        const std::vector<uint8_t> pixel = testsupport::ReadPixels(4, 4, 1, 1);
        // Ambient 0.3 and diffuse 0.7 times the cosine to the light (0.86): about 0.9.
        EXPECT_GT(pixel[0], 210) << "winding " << triangles[1];
    }
    glUseProgram(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(ShaderGLTest, FailuresGiveProgramZeroAndKeepNameAndPaths)
{
    const std::string vertex = Write("ok.vert", kShaderVertex);
    const std::string fragment = Write("ok.frag", kShaderFragment);
    const std::string missing = dir / "missing.frag";
    const std::string broken = Write("broken.frag", "#version 440\nvoid main() { undefinedThing = 1; }\n");
    const std::string empty = Write("empty.frag", ""); // compiled, and fails
    // Reads a value no vertex stage writes.
    const std::string unlinked = Write(
        "unlinked.frag",
        "#version 440\nin vec3 neverWritten;\nout vec4 c;\nvoid main() { c = vec4(neverWritten, 1.0); }\n");
    const std::string openError = "Unable to open file " + missing + " for reading.";
    const std::string compileError = "Compile failure in fragment shader:";
    // The culprit is named by the info log: the compiler's in a message of its own, the linker's on stderr.
    const std::tuple<std::string, std::string, std::string, int, const char*> cases[] = {
        {vertex, missing, openError, 1, ""},  {missing, fragment, openError, 1, ""},
        {missing, missing, openError, 2, ""}, {vertex, broken, compileError, 1, "undefinedThing"},
        {vertex, empty, compileError, 1, ""}, {vertex, unlinked, compileError, 0, "neverWritten"}};
    for (const auto& [vert, frag, error, errorCount, culprit] : cases)
    {
        SCOPED_TRACE(vert + " + " + frag);
        LogCapture log;
        testing::internal::CaptureStderr();
        Shader shader(vert, frag);
        const std::string linker = testing::internal::GetCapturedStderr();
        EXPECT_EQ(shader.program, 0u);
        // The name without ".vert" or ".frag".
        EXPECT_EQ(std::tie(shader.name, shader.vertexPath, shader.fragmentPath),
                  std::make_tuple(vert.substr(0, vert.size() - 5), vert, frag));
        EXPECT_EQ(log.Count(spdlog::level::err, error), errorCount) << log.Dump();
        EXPECT_NE((linker + log.Dump()).find(culprit), std::string::npos) << linker << log.Dump();
        EXPECT_EQ(linker.rfind("Linker failure: ", 0), 0u) << linker;
        EXPECT_EQ(log.Count(spdlog::level::trace, "Shader program deleted"), 1);
        // A failed program answers -1 without asking GL.
        EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), -1);
        EXPECT_EQ(shader.locationQueries, 0u);
    }
}

TEST_F(ShaderGLTest, NameIsTheVertexPathBeforeItsFirstDot)
{
    testing::internal::CaptureStderr(); // the path without a dot names no file
    EXPECT_EQ(Shader("./shaders/basic_lighting.vert", "shaders/basic_lighting.frag").name, "");
    EXPECT_EQ(Shader("shaders/vertex_without_dot", "shaders/basic_lighting.frag").name,
              "shaders/vertex_without_dot");
    testing::internal::GetCapturedStderr();
}

TEST_F(ShaderGLTest, SourceEndsAtAZeroByteAndLocationsAreAskedOncePerName)
{
    Shader shader(Write("zero.vert", std::string(kShaderVertex) + '\0' + "garbage("),
                  Write("ok.frag", kShaderFragment));
    ASSERT_NE(shader.program, 0u);
    const GLint expected = glGetUniformLocation(shader.program, "Mmatrix");
    for (int twice = 0; twice < 2; ++twice)
    {
        EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), expected);
        EXPECT_EQ(shader.GetUniformLocation("noSuchUniform"), -1);
        EXPECT_EQ(shader.GetAttribLocation("position"), 0);
        EXPECT_EQ(shader.GetAttribLocation("color"), -1);
    }
    EXPECT_EQ(shader.locationQueries, 4u);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}
} // namespace
