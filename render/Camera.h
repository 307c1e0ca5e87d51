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

// Where "Frame terrain" puts a camera for a box (a terrain's bounds): above and outside it, looking
// down at its centre across its longer side, everything in view with a margin, and a fly speed that
// crosses the box in a few seconds. The direction comes back as yaw and pitch, as the camera keeps it.
struct CameraFraming
{
    glm::vec3 position{0.0f};
    glm::vec3 front{0.0f, 0.0f, 1.0f};
    float yaw = 90.0f;
    float pitch = -35.0f;
    float speed = 1.0f;
    float viewHeight = 1.0f; // what an orthographic projection needs to hold the box
    float zFar = 0.0f;       // the camera's own, or farther when the box reaches beyond it
};

class Camera;
// For the camera's field of view, aspect ratio and clip distances.
CameraFraming FrameBox(const glm::vec3& boxMin, const glm::vec3& boxMax, const Camera& camera);

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
    // Frame terrain: FrameBox applied (an orbit stops, since it circles the origin at its own radius),
    // then Update.
    void Frame(const glm::vec3& boxMin, const glm::vec3& boxMax);
    // Whether the camera still looks as a new scene's camera starts: never moved, turned or sped up.
    bool IsNewSceneView() const;
    // Crossing a box takes about this long at the speed Frame sets.
    static constexpr float kFramedCrossingSeconds = 4.0f;

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
