#include "render/Camera.h"

#include "engine/Engine.h"
#include "render/Shader.h"

#include <GLFW/glfw3.h>
#include <glm/common.hpp>
#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>

namespace
{
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kMinFov = 60.0f;
constexpr float kMaxFov = 110.0f;

// A look-at needs a direction and an up vector that is not parallel to it.
bool CanLookAlong(const glm::vec3& front, const glm::vec3& up)
{
    return glm::length(front) > 0.0f && glm::length(glm::cross(front, up)) > 0.0f;
}
} // namespace

FlyInput FlyInput::FromWindow(GLFWwindow* window)
{
    FlyInput input;
    if (window != nullptr)
    {
        auto held = [window](int key) { return glfwGetKey(window, key) == GLFW_PRESS; };
        input.forward = held(GLFW_KEY_W);
        input.backward = held(GLFW_KEY_S);
        input.left = held(GLFW_KEY_A);
        input.right = held(GLFW_KEY_D);
        input.up = held(GLFW_KEY_SPACE);
        input.down = held(GLFW_KEY_V);
        input.zoomIn = held(GLFW_KEY_PAGE_UP);
        input.zoomOut = held(GLFW_KEY_PAGE_DOWN);
    }
    const Engine& engine = Engine::Get();
    input.cursorPos = engine.cursorPos;
    input.lastCursorPos = engine.lastCursorPos;
    input.deltaTime = engine.deltaTime;
    return input;
}

void Camera::Update()
{
    Update(glfwGetTime());
}

void Camera::Update(double time)
{
    if (perspective)
    {
        projection = glm::perspectiveRH_NO(fov * kDegreesToRadians, aspectRatio, zNear, zFar);
        if (rotate)
        {
            // The height is the orbit radius: the eye circles the vertical axis at that distance.
            const double angle = time * speed;
            position.x = static_cast<float>(position.y * std::sin(angle));
            position.z = static_cast<float>(position.y * std::cos(angle));
            front = -position;
        }
        else
        {
            pitch = std::clamp(pitch, -89.0f, 89.0f);
            const float yawRadians = glm::radians(yaw);
            const float pitchRadians = glm::radians(pitch);
            front = glm::normalize(glm::vec3(std::cos(yawRadians) * std::cos(pitchRadians),
                                             std::sin(pitchRadians),
                                             std::sin(yawRadians) * std::cos(pitchRadians)));
        }
    }
    else
    {
        const float h = viewHeight;
        const float w = viewHeight * aspectRatio;
        projection = glm::orthoRH_NO(-w / 2.0f, w / 2.0f, -h / 2.0f, h / 2.0f, zNear, zFar);
    }

    // An orbit of radius 0 has no direction to look along; the last valid view stays.
    if (CanLookAlong(front, up)) view = glm::lookAtRH(position, position + front, up);
}

void Camera::SetUniforms(const std::shared_ptr<Shader>& shader) const
{
    if (!shader) return;
    shader->SetUniformFloat3("viewPos", position.x, position.y, position.z);
    shader->SetUniformMat4("Pmatrix", projection);
    shader->SetUniformMat4("Vmatrix", view);
}

void Camera::FlyControl(const FlyInput& input)
{
    const float step = speed * static_cast<float>(input.deltaTime);
    // Without a direction (orbit of radius 0) there is no sideways either; a NaN here would
    // poison the position for good.
    const glm::vec3 right = CanLookAlong(front, up) ? glm::normalize(glm::cross(front, up)) : glm::vec3(0.0f);

    if (input.forward) position += front * step;
    if (input.backward) position -= front * step;
    if (input.left) position -= right * step;
    if (input.right) position += right * step;
    if (input.up) position += up * step;
    if (input.down) position -= up * step;

    if (input.zoomIn && fov - 1.0f >= kMinFov && fov - 1.0f <= kMaxFov) fov -= 1.0f;
    if (input.zoomOut && fov + 1.0f >= kMinFov && fov + 1.0f <= kMaxFov) fov += 1.0f;

    yaw += static_cast<float>(input.cursorPos.x - input.lastCursorPos.x);
    pitch += static_cast<float>(input.lastCursorPos.y - input.cursorPos.y);

    Update();
}

CameraFraming FrameBox(const glm::vec3& boxMin, const glm::vec3& boxMax, const Camera& camera)
{
    // The share of the view the box may fill, and how far outside its footprint and above its top the
    // eye stays.
    constexpr float kFill = 0.9f;
    constexpr float kOutside = 1.1f;
    CameraFraming framing;
    const glm::vec3 centre = 0.5f * (boxMin + boxMax);
    const glm::vec3 extent = glm::max(boxMax - boxMin, glm::vec3(0.0f));
    // Looking along the shorter side puts the longer one across the (wider than high) view.
    framing.yaw = extent.x >= extent.z ? 90.0f : 0.0f;
    framing.pitch = -35.0f;
    const float yawRadians = glm::radians(framing.yaw);
    const float pitchRadians = glm::radians(framing.pitch);
    framing.front =
        glm::normalize(glm::vec3(std::cos(yawRadians) * std::cos(pitchRadians), std::sin(pitchRadians),
                                 std::sin(yawRadians) * std::cos(pitchRadians)));
    const glm::vec3 right = glm::normalize(glm::cross(framing.front, camera.up));
    const glm::vec3 up = glm::cross(right, framing.front);

    const float tanY = std::tan(0.5f * camera.fov * kDegreesToRadians) * kFill;
    const float tanX = tanY * camera.aspectRatio;
    // The eye sits at distance d behind the centre along front. A corner at (a, b, e) in the view's
    // right, up and front axes (from the centre) is inside the perspective frustum when |a| <= (d + e)
    // tanX and |b| <= (d + e) tanY, and beyond the near plane when d + e > zNear. The box is convex,
    // so with its eight corners inside, all of it is.
    const float cosPitch = std::cos(pitchRadians);
    const float sinPitch = -std::sin(pitchRadians);
    const float depthAlongView = framing.yaw == 90.0f ? extent.z : extent.x;
    float distance =
        std::max(kOutside * 0.5f * depthAlongView / cosPitch, kOutside * 0.5f * extent.y / sinPitch);
    float halfWidth = 0.0f;
    float halfHeight = 0.0f;
    float farthest = 0.0f;
    for (int corner = 0; corner < 8; ++corner)
    {
        const glm::vec3 point((corner & 1) ? boxMax.x : boxMin.x, (corner & 2) ? boxMax.y : boxMin.y,
                              (corner & 4) ? boxMax.z : boxMin.z);
        const glm::vec3 d = point - centre;
        const float a = std::fabs(glm::dot(d, right));
        const float b = std::fabs(glm::dot(d, up));
        const float e = glm::dot(d, framing.front);
        halfWidth = std::max(halfWidth, a);
        halfHeight = std::max(halfHeight, b);
        farthest = std::max(farthest, e);
        if (camera.perspective) distance = std::max({distance, a / tanX - e, b / tanY - e});
        distance = std::max(distance, 2.0f * camera.zNear - e);
    }
    framing.position = centre - framing.front * distance;
    framing.viewHeight =
        std::max(2.0f * halfHeight, 2.0f * halfWidth / std::max(camera.aspectRatio, 1e-6f)) / kFill;
    framing.zFar = std::max(camera.zFar, kOutside * (distance + farthest));
    framing.speed = std::max(std::max(extent.x, extent.z), 1e-3f) / Camera::kFramedCrossingSeconds;
    return framing;
}

void Camera::Frame(const glm::vec3& boxMin, const glm::vec3& boxMax)
{
    const CameraFraming framing = FrameBox(boxMin, boxMax, *this);
    rotate = false;
    position = framing.position;
    front = framing.front; // kept by an orthographic camera, whose Update leaves it
    yaw = framing.yaw;
    pitch = framing.pitch;
    speed = framing.speed;
    zFar = framing.zFar;
    if (!perspective) viewHeight = framing.viewHeight;
    Update(0.0); // no orbit: the time plays no part
}

bool Camera::IsNewSceneView() const
{
    const Camera start;
    return !rotate && position == start.position && yaw == start.yaw && pitch == start.pitch &&
           speed == start.speed;
}
