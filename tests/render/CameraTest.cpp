#include "render/Camera.h"

#include "engine/Engine.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>

namespace
{
bool Finite(const glm::mat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r])) return false;
    return true;
}

void ExpectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

struct ProjectionCase
{
    float fov, aspect, zNear, zFar;
};

void PrintTo(const ProjectionCase& p, std::ostream* out)
{
    *out << "fov " << p.fov << " aspect " << p.aspect << " depth " << p.zNear << ".." << p.zFar;
}

class CameraPerspectiveTest : public ::testing::TestWithParam<ProjectionCase>
{
};

TEST_P(CameraPerspectiveTest, ProjectionFollowsTheFormula)
{
    const ProjectionCase p = GetParam();
    Camera camera;
    camera.fov = p.fov;
    camera.aspectRatio = p.aspect;
    camera.zNear = p.zNear;
    camera.zFar = p.zFar;
    camera.Update(0.0);

    const float t = std::tan(p.fov * 0.017453292f / 2.0f);
    glm::mat4 expected(0.0f);
    expected[0][0] = 1.0f / (p.aspect * t);
    expected[1][1] = 1.0f / t;
    expected[2][2] = -(p.zFar + p.zNear) / (p.zFar - p.zNear);
    expected[2][3] = -1.0f;
    expected[3][2] = -(2.0f * p.zFar * p.zNear) / (p.zFar - p.zNear);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(camera.projection[c][r], expected[c][r], 1e-5f * std::fabs(expected[c][r]) + 1e-7f)
                << c << "," << r;
}

INSTANTIATE_TEST_SUITE_P(Settings, CameraPerspectiveTest,
                         ::testing::Values(ProjectionCase{60.0f, 16.0f / 9.0f, 0.1f, 10000.0f},
                                           ProjectionCase{110.0f, 1.0f, 1.0f, 50.0f},
                                           ProjectionCase{75.0f, 0.5f, 0.01f, 3.0f}));

TEST(CameraTest, NewCameraLooksAlongYaw90Pitch10Down)
{
    Camera camera;
    camera.Update(0.0);
    const float pitch = glm::radians(10.0f);
    ExpectNear(camera.front, {0.0f, -std::sin(pitch), std::cos(pitch)});
    const glm::mat4 expected = glm::lookAtRH(camera.position, camera.position + camera.front, camera.up);
    EXPECT_EQ(camera.view, expected);
}

TEST(CameraTest, OrthographicUsesViewHeightAndKeepsFront)
{
    Camera camera;
    camera.Update(0.0);
    const glm::vec3 front = camera.front;
    camera.perspective = false;
    camera.viewHeight = 200.0f;
    camera.aspectRatio = 2.0f;
    camera.zNear = 1.0f;
    camera.zFar = 101.0f;
    camera.yaw = 10.0f; // ignored in orthographic mode
    camera.Update(0.0);

    glm::mat4 expected(1.0f);
    expected[0][0] = 2.0f / 400.0f;
    expected[1][1] = 2.0f / 200.0f;
    expected[2][2] = -2.0f / 100.0f;
    expected[3][2] = -102.0f / 100.0f;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(camera.projection[c][r], expected[c][r], 1e-6f) << c << "," << r;
    EXPECT_EQ(camera.front, front);
}

TEST(CameraTest, PitchIsClampedByTheNextUpdate)
{
    Camera camera;
    camera.pitch = 120.0f;
    camera.Update(0.0);
    EXPECT_EQ(camera.pitch, 89.0f);
    camera.pitch = -95.5f;
    camera.Update(0.0);
    EXPECT_EQ(camera.pitch, -89.0f);
    EXPECT_TRUE(Finite(camera.view));
}

TEST(CameraTest, OrbitCirclesTheVerticalAxisAtItsHeight)
{
    Camera camera;
    camera.rotate = true;
    camera.speed = 0.5f;
    camera.position = {0.0f, 3.0f, 0.0f};
    const double time = 2.0;
    camera.Update(time);
    EXPECT_FLOAT_EQ(camera.position.x, static_cast<float>(3.0 * std::sin(time * 0.5)));
    EXPECT_FLOAT_EQ(camera.position.z, static_cast<float>(3.0 * std::cos(time * 0.5)));
    EXPECT_EQ(camera.position.y, 3.0f);
    EXPECT_EQ(camera.front, -camera.position);
    EXPECT_EQ(camera.view, glm::lookAtRH(camera.position, glm::vec3(0.0f), camera.up));
}

TEST(CameraTest, OrbitOfRadiusZeroKeepsTheLastValidView)
{
    Camera camera;
    camera.Update(0.0);
    const glm::mat4 lastView = camera.view;
    camera.rotate = true;
    camera.position = {5.0f, 0.0f, 5.0f};
    camera.Update(1.0);
    EXPECT_EQ(camera.position, glm::vec3(0.0f));
    EXPECT_EQ(camera.front, glm::vec3(0.0f));
    EXPECT_EQ(camera.view, lastView);
    EXPECT_TRUE(Finite(camera.projection));

    // Flying with no direction moves nowhere sideways instead of turning the eye into NaNs.
    FlyInput input;
    input.left = true;
    input.forward = true;
    input.up = true;
    input.deltaTime = 0.5;
    camera.FlyControl(input);
    EXPECT_TRUE(std::isfinite(camera.position.x) && std::isfinite(camera.position.y) &&
                std::isfinite(camera.position.z));
    EXPECT_EQ(camera.position.y, 0.5f);
    EXPECT_TRUE(Finite(camera.view));
}

TEST(CameraTest, FlyingForwardMovesOneUnitPerSecondAtSpeedOne)
{
    Camera camera;
    camera.Update(0.0);
    const glm::vec3 start = camera.position;
    const glm::vec3 front = camera.front;
    FlyInput input;
    input.forward = true;
    input.deltaTime = 0.25;
    for (int frame = 0; frame < 4; ++frame)
        camera.FlyControl(input);
    ExpectNear(camera.position - start, front);
    EXPECT_NEAR(glm::length(camera.position - start), 1.0f, 1e-5f);

    input.forward = false;
    input.right = true;
    input.deltaTime = 2.0;
    camera.speed = 1.5f;
    const glm::vec3 before = camera.position;
    camera.FlyControl(input);
    ExpectNear(camera.position - before, glm::normalize(glm::cross(front, camera.up)) * 3.0f);
}

TEST(CameraTest, FieldOfViewStaysWithin60And110)
{
    Camera camera;
    FlyInput zoomIn;
    zoomIn.zoomIn = true;
    camera.FlyControl(zoomIn);
    EXPECT_EQ(camera.fov, 60.0f);

    FlyInput zoomOut;
    zoomOut.zoomOut = true;
    for (int frame = 0; frame < 70; ++frame)
        camera.FlyControl(zoomOut);
    EXPECT_EQ(camera.fov, 110.0f);
    camera.FlyControl(zoomIn);
    EXPECT_EQ(camera.fov, 109.0f);
}

TEST(CameraTest, MouseLookTurnsOneDegreePerPixel)
{
    Camera camera;
    FlyInput input;
    input.lastCursorPos = {100.0, 100.0};
    input.cursorPos = {112.0, 95.0};
    camera.FlyControl(input);
    EXPECT_EQ(camera.yaw, 102.0f);
    EXPECT_EQ(camera.pitch, -5.0f);
    const float yaw = glm::radians(102.0f), pitch = glm::radians(-5.0f);
    ExpectNear(camera.front,
               {std::cos(yaw) * std::cos(pitch), std::sin(pitch), std::sin(yaw) * std::cos(pitch)});
}
TEST(CameraTest, InputWithoutAWindowCarriesTheEngineSamples)
{
    Engine& engine = Engine::Get();
    engine.cursorPos = {10.0, 20.0};
    engine.lastCursorPos = {7.0, 25.0};
    engine.deltaTime = 0.016;
    const FlyInput input = FlyInput::FromWindow(nullptr);
    EXPECT_FALSE(input.forward || input.backward || input.left || input.right || input.up || input.down ||
                 input.zoomIn || input.zoomOut);
    EXPECT_EQ(input.cursorPos, engine.cursorPos);
    EXPECT_EQ(input.lastCursorPos, engine.lastCursorPos);
    EXPECT_EQ(input.deltaTime, 0.016);
    engine.cursorPos = engine.lastCursorPos = {0.0, 0.0};
    engine.deltaTime = 0.0;
}
} // namespace
