#include "render/Camera.h"

#include "engine/Engine.h"
#include "render/Shader.h"

#include <GLFW/glfw3.h>
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
