#include "render/Camera.h"
#include "terrain/TerrainRecord.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include "tests/support/TestCommon.h"

namespace
{
void ExpectNear(const glm::mat4& actual, const glm::mat4& expected, float relative, float absolute)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(actual[c][r], expected[c][r], relative * std::fabs(expected[c][r]) + absolute)
                << c << "," << r;
}

// Orthographic mode spans viewHeight, ignores the yaw and keeps the direction it had.
TEST(CameraTest, ProjectionsFollowTheirFormulas)
{
    Camera camera;
    camera.fov = 75.0f;
    camera.aspectRatio = 0.5f;
    camera.zNear = 0.01f;
    camera.zFar = 3.0f;
    camera.Update(0.0);
    ExpectNear(camera.projection, glm::perspectiveRH_NO(glm::radians(75.0f), 0.5f, 0.01f, 3.0f), 1e-5f,
               1e-7f);
    const glm::vec3 front = camera.front;
    camera.perspective = false;
    camera.viewHeight = 200.0f;
    camera.yaw = 10.0f;
    camera.Update(0.0);
    ExpectNear(camera.projection, glm::orthoRH_NO(-50.0f, 50.0f, -100.0f, 100.0f, 0.01f, 3.0f), 0.0f, 1e-6f);
    EXPECT_EQ(camera.front, front);
}

TEST(CameraTest, MouseLookTurnsOneDegreePerPixelAndPitchIsClamped)
{
    Camera camera;
    FlyInput input;
    input.lastCursorPos = {100.0, 100.0};
    input.cursorPos = {112.0, 95.0};
    camera.FlyControl(input);
    EXPECT_EQ(std::make_pair(camera.yaw, camera.pitch), std::make_pair(102.0f, -5.0f));

    for (const float pitchAsked : {120.0f, -95.5f})
    {
        camera.pitch = pitchAsked;
        camera.Update(0.0);
        EXPECT_EQ(camera.pitch, std::copysign(89.0f, pitchAsked));
    }
}

TEST(CameraTest, OrbitCirclesTheVerticalAxisAtItsHeightAndAtHeightZeroKeepsTheLastView)
{
    Camera camera;
    camera.rotate = true;
    camera.speed = 0.5f;
    camera.position = {0.0f, 3.0f, 0.0f};
    camera.Update(2.0);
    EXPECT_LT(glm::distance(camera.position, 3.0f * glm::vec3(std::sin(1.0f), 1.0f, std::cos(1.0f))), 1e-5f);
    EXPECT_EQ(camera.front, -camera.position);
    const glm::mat4 lastView = glm::lookAtRH(camera.position, glm::vec3(0.0f), camera.up);
    EXPECT_EQ(camera.view, lastView);

    camera.position = {5.0f, 0.0f, 5.0f};
    camera.Update(1.0);
    EXPECT_EQ(camera.position, glm::vec3(0.0f));
    EXPECT_EQ(camera.view, lastView);

    // No direction, so no sideways either: only the vertical step moves the eye.
    FlyInput input;
    input.left = input.forward = input.up = true;
    input.deltaTime = 1.0;
    camera.FlyControl(input);
    EXPECT_EQ(camera.position.y, 0.5f); // a NaN sideways step would have reached every coordinate
    const float* view = glm::value_ptr(camera.view);
    EXPECT_TRUE(std::all_of(view, view + 16, [](float x) { return std::isfinite(x); }));
}

// Looking along +x (yaw 0, pitch 0), right is +z; each key moves speed * deltaTime along its direction.
TEST(CameraTest, EachFlyKeyMovesSpeedUnitsPerSecondItsOwnWay)
{
    const std::pair<bool FlyInput::*, glm::vec3> keys[] = {
        {&FlyInput::forward, {1, 0, 0}}, {&FlyInput::backward, {-1, 0, 0}}, {&FlyInput::left, {0, 0, -1}},
        {&FlyInput::right, {0, 0, 1}},   {&FlyInput::up, {0, 1, 0}},        {&FlyInput::down, {0, -1, 0}}};
    for (const auto& [key, direction] : keys)
    {
        Camera camera;
        camera.yaw = 0.0f;
        camera.pitch = 0.0f;
        camera.speed = 1.5f;
        camera.Update(0.0);
        const glm::vec3 start = camera.position;
        FlyInput input;
        input.*key = true;
        input.deltaTime = 0.5;
        for (int frame = 0; frame < 4; ++frame)
            camera.FlyControl(input);
        EXPECT_LT(glm::distance(camera.position - start, direction * 3.0f), 1e-5f);
    }
}

TEST(CameraTest, FieldOfViewStaysWithin60And110)
{
    Camera camera;
    // From 60 one step in, 70 steps out, then 60 steps in.
    for (const auto& [in, frames, fov] : {std::tuple{true, 1, 60.0f}, {false, 70, 110.0f}, {true, 60, 60.0f}})
    {
        FlyInput input;
        input.zoomIn = in;
        input.zoomOut = !in;
        for (int frame = 0; frame < frames; ++frame)
            camera.FlyControl(input);
        EXPECT_EQ(camera.fov, fov) << frames;
    }
}

TEST(CameraTest, FramingPutsEveryTerrainVertexInView)
{
    constexpr float kWide = 16.0f / 9.0f;
    constexpr TerrainGenerator kFault = TerrainGenerator::RandomFault;
    // The offset moves a terrain away from the origin, as one read from a file may be.
    using Case =
        std::tuple<const char*, uint32_t, uint32_t, float, TerrainGenerator, float, float, bool, glm::vec3>;
    const Case cases[] = {
        {"two by two hundred", 2, 200, 1.0f, kFault, 30.0f, kWide, true, {}},
        {"long", 513, 9, 0.5f, kFault, 200.0f, kWide, true, {}},
        {"portrait", 9, 513, 2.0f, TerrainGenerator::Flat, 0.0f, 0.6f, true, {}},
        {"beyond the far plane", 1025, 1025, 20.0f, TerrainGenerator::DiamondSquare, 500.0f, 1.0f, true, {}},
        {"off centre", 65, 33, 1.0f, kFault, 10.0f, 4.0f / 3.0f, true, {5000.0f, -300.0f, 120.0f}},
        {"orthographic", 513, 9, 1.0f, kFault, 50.0f, kWide, false, {}}};
    for (const auto& [name, width, height, vertexDistance, generator, range, aspect, perspective, offset] :
         cases)
    {
        SCOPED_TRACE(name);
        TerrainRecord record;
        ASSERT_TRUE(TerrainRecord::Generate(width, height, vertexDistance, generator, range, 0.5f, 60, false,
                                            record));
        std::vector<float>& p = record.positions;
        for (size_t k = 0; k < p.size(); ++k)
            p[k] += offset[static_cast<int>(k % 3)];
        glm::vec3 low, high;
        TerrainBounds(p.data(), record.VertexCount(), low, high);

        Camera camera; // a new scene's camera: near the origin, speed 1
        camera.aspectRatio = aspect;
        camera.perspective = perspective;
        camera.Frame(low, high);

        const glm::mat4 clipFromWorld = camera.projection * camera.view;
        size_t outside = 0;
        for (size_t k = 0; k < p.size(); k += 3)
        {
            const glm::vec4 clip = clipFromWorld * glm::vec4(p[k], p[k + 1], p[k + 2], 1.0f);
            for (int i = 0; i < 3; ++i)
                outside += std::fabs(clip[i]) > clip.w ? 1 : 0;
        }
        EXPECT_EQ(outside, 0u);
        // Above the highest point and outside the footprint, looking down at the centre.
        EXPECT_GT(camera.position.y, high.y);
        EXPECT_TRUE(camera.position.x < low.x || camera.position.x > high.x || camera.position.z < low.z ||
                    camera.position.z > high.z);
        EXPECT_LT(camera.front.y, 0.0f);
        EXPECT_GT(glm::dot(glm::normalize(0.5f * (low + high) - camera.position), camera.front), 0.9999f);
        // Crossing the longer side takes four seconds.
        EXPECT_FLOAT_EQ(camera.speed, std::max(high.x - low.x, high.z - low.z) / 4.0f);
    }
}

// Framing (which leaves it) is checked with the editor's F key.
TEST(CameraTest, OnlyAnUntouchedCameraShowsTheNewSceneView)
{
    Camera turned, orbiting;
    turned.yaw += 1.0f;
    orbiting.rotate = true;
    EXPECT_EQ(std::make_tuple(Camera().IsNewSceneView(), turned.IsNewSceneView(), orbiting.IsNewSceneView()),
              std::make_tuple(true, false, false));
}
} // namespace
