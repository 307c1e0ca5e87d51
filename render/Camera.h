#pragma once
#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include <memory>
#include <string>

class Shader;
struct GLFWwindow;

// The input the fly control reads in one frame, so that it can be driven without a focused window.
struct FlyInput
{
    bool forward = false;  // W
    bool backward = false; // S
    bool left = false;     // A
    bool right = false;    // D
    bool up = false;       // Space
    bool down = false;     // V
    bool zoomIn = false;   // Page Up: narrower field of view
    bool zoomOut = false;  // Page Down
    glm::dvec2 cursorPos{0.0};
    glm::dvec2 lastCursorPos{0.0};
    double deltaTime = 0.0;

    // Key states of the window plus the engine's cursor samples and frame time.
    static FlyInput FromWindow(GLFWwindow* window);
};

class Camera
{
public:
    // Recomputes projection, front and view; an orbiting camera reads the GLFW time.
    void Update();
    // The same with the orbit time given (seconds).
    void Update(double time);
    void SetUniforms(const std::shared_ptr<Shader>& shader) const;
    // One frame of fly control: movement, field of view, mouse look, then Update.
    void FlyControl(const FlyInput& input);

    float viewHeight = 1080.0f;
    float aspectRatio = 16.0f / 9.0f;
    float zNear = 0.1f;
    float zFar = 10000.0f;
    float fov = 60.0f;
    float speed = 1.0f;
    float yaw = 90.0f;
    float pitch = -10.0f;
    bool perspective = true;
    bool rotate = false;
    glm::mat4 projection{1.0f};
    glm::mat4 view{1.0f};
    glm::vec3 position{0.0f, 0.5f, 0.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    glm::vec3 front{1.0f, -0.2f, 0.0f};
    std::string name;
};
