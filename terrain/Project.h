#pragma once
// A whole editing session as plain data, free of GL and windows: what a project file holds, what the
// editor captures from its objects and rebuilds them from, and what the headless build reads. Each
// terrain is a TerrainRecord (terrain/TerrainRecord.h); a record read from a file leaves out what the
// file does not store, and TerrainRecord::Complete makes it.
#include "terrain/TerrainRecord.h"
#include "terrain/World.h"

#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Largest grid side a project may hold: the New Terrain limit.
inline constexpr uint32_t kProjectMaxSide = 4097;

struct ProjectCamera
{
    std::string name;
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
    glm::vec3 position{0.0f, 0.5f, 0.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    glm::vec3 front{1.0f, -0.2f, 0.0f};
    bool listed = true; // offered in the manage dialog's camera list
};

struct ProjectShader
{
    std::string vertexPath;
    std::string fragmentPath;
};

struct ProjectScene
{
    uint32_t sceneId = 0;
    std::string name;
    int32_t camera = -1;  // index into Project::cameras, -1 for none
    int32_t terrain = -1; // index into Project::terrains, -1 for none
    bool hasShader = false;
    ProjectShader shader; // the scene's own program is built again from these paths
    bool isNew = true;
    bool showWindow = false;
    bool showManage = false;
    bool showCameraControl = false;
    bool showTerrainGenerator = false;
    float ratioWidth = 0.0f;
    float ratioHeight = 0.0f;
    bool useBackground = false;
    bool wireframe = false;
    glm::vec4 clearColor{0.52f, 0.8f, 0.92f, 1.0f};
};

struct Project
{
    static constexpr uint32_t kFormatVersion = 1;

    std::vector<TerrainRecord> terrains;
    std::vector<ProjectCamera> cameras;
    std::vector<ProjectScene> scenes;
    std::vector<ProjectShader> shaders; // the user's shaders, after the built-in ones
    uint32_t sceneCounter = 0;
    int32_t aspectRatioIndex = 0; // the scene window's aspect ratio choice
    // A world of tiles (terrain/World.h): its terrain holds the tile the editor shows, and its image
    // layers the images of the whole world.
    std::optional<WorldSettings> world;
};
