#pragma once
// GL tests run against a real context: a hidden GLFW window on the virtual X server, registered as
// the engine's main window so that code asking the engine for it works as in the program.
#include "tests/support/TestCommon.h"

namespace testsupport
{
inline constexpr int kGLWindowWidth = 640;
inline constexpr int kGLWindowHeight = 480;

class GLEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override;
    void TearDown() override;
};

// Drains every pending GL error; returns how many there were.
int DrainGLErrors();

// Base fixture for GL tests: clears stale GL errors before each test.
class GLTest : public ::testing::Test
{
  protected:
    void SetUp() override { DrainGLErrors(); }
};

// Reads back the RGBA8 pixels of the framebuffer currently bound for reading, rows bottom first.
std::vector<uint8_t> ReadPixels(int x, int y, int width, int height);

// Creates the GUI context and back ends on the test window (as the main window does).
void InitGui();
void ShutdownGui();
} // namespace testsupport
