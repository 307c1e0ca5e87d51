#pragma once
// A whole editing session as plain data, free of GL and windows: what a project file holds, what the
// editor captures from its objects and rebuilds them from, and what the headless build reads.
//
// Arrays are in the terrain's vertex order (vertex k = i * height + j); images are 8-bit pixel buffers
// as Texture keeps them (row-major, row 0 first), a terrain's images a pixel per vertex in vertex order,
// so height pixels wide and width high. An empty array or image means "not stored": the part is made
// again from what the project records (see TerrainBuild.h for each rule).
#include "terrain/Erosion.h"
#include "terrain/Gradient.h"

#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Largest grid side a project may hold: the New Terrain limit.
inline constexpr uint32_t kProjectMaxSide = 4097;

// One 8-bit image of 1 to 4 channels with the texture settings it was shown with.
struct ProjectImage
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
    std::vector<uint8_t> pixels; // width * height * channels bytes; empty when not stored
    bool linear = true;          // linear or nearest filtering
    bool mipmaps = false;
    std::string source;   // the file a layer image was read from
    std::string saveName; // the name the texture panel last offered when saving it

    bool Stored() const { return !pixels.empty(); }
    size_t ByteSize() const { return size_t{width} * height * channels; }
};

// A heightmap layer's settings record, field for field as the layer panel edits it.
struct ProjectLayerSettings
{
    float power = 1.0f;
    int32_t seed = 0;
    float frequency = 0.01f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    int32_t octaves = 3;
    float gain = 0.5f;
    float lacunarity = 2.0f;
    std::string noiseTypeName = "Perlin";
    std::string fractalTypeName = "None";
    int32_t noiseType = 3;
    int32_t fractalType = 0;
    bool smoothHeights = false; // heights from the unrounded levels (absent in older files: off)
};

// One entry of a terrain's layer stack, applied in list order to the heights summed so far. kind names
// the entry's settings; each kind keeps its own settings object in the manifest.
struct ProjectLayer
{
    static constexpr const char* kNoise = "noise"; // settings: all of them; pixels optional (regenerated)
    static constexpr const char* kImage = "image"; // settings: power only; pixels required
    // Erodes the heights summed before it; settings: erosion; pixels optional: the RGB mask of its last
    // run (removed, deposited, water flow), made again by the run when not stored.
    static constexpr const char* kErosion = "erosion";

    std::string kind = kNoise;
    std::string name;
    ProjectLayerSettings settings;
    Erosion::Settings erosion; // erosion entries
    ProjectImage image;        // the layer's pixels
};

// What made the base heights, so that a terrain can be rebuilt from its seed.
struct ProjectGenerator
{
    static constexpr const char* kFlat = "flat";
    static constexpr const char* kDiamondSquare = "diamond-square";
    static constexpr const char* kRandomFault = "random-fault";
    static constexpr const char* kFile = "file"; // read from an OBJ file: only the stored heights tell

    std::string kind = kFlat;
    float parameter1 = 10.0f; // range
    float parameter2 = 0.5f;  // roughness
    uint32_t iterations = 0;
    uint32_t seed = 0;
};

// How the diffuse and specular textures were last generated from the gradients.
struct ProjectBands
{
    static constexpr const char* kNone = "none";
    static constexpr const char* kHeight = "height";
    static constexpr const char* kSlope = "slope";
    static constexpr const char* kMask = "mask"; // height bands over a channel of an erosion entry's mask
    static constexpr const char* kMaskChannels[3] = {"removed", "deposited", "flow"};

    std::string mode = kNone;
    uint32_t seed = 0;        // the height and mask modes' random draws
    uint32_t maskLayer = 0;   // mask mode: index of the erosion entry in the terrain's layers
    uint32_t maskChannel = 0; // mask mode: 0 .. 2, as kMaskChannels names them
};

// A water plane that no longer follows the water map and heights (they changed after "Recalculate").
struct ProjectWaterMesh
{
    bool stored = false;          // the plane's own arrays are kept (otherwise it is rebuilt)
    std::vector<float> positions; // x, y, z per water vertex
    std::vector<float> texCoords; // u, v per water vertex
    std::vector<uint32_t> indices;
};

struct ProjectTerrain
{
    std::string name;
    uint32_t width = 0; // 0 x 0: an empty terrain (an OBJ file that could not be read)
    uint32_t height = 0;
    float vertexDistance = 1.0f;
    ProjectGenerator generator;

    std::vector<float> baseHeights; // y before any layer; empty: regenerated from the generator record
    std::vector<float> gridXZ;      // x, z per vertex, stored only when not the regular grid (OBJ files)
    std::vector<float> texCoords;   // u, v per vertex, stored only when not the regular grid's
    std::vector<float> heights;     // current y, stored only when it is not base plus layers

    std::vector<ProjectLayer> layers;
    std::vector<Gradient> gradients;
    ProjectBands bands;

    // 1, 3, 3, 1 and 4 channels. heightmap, normal and watermap are made again from the heights when not
    // stored (an empty water map); diffuse and specular from the bands, or absent when never generated.
    ProjectImage heightmap;
    ProjectImage normal;
    ProjectImage diffuse;
    ProjectImage specular;
    ProjectImage watermap;
    // The texture the mesh shows: "heightmap", "normal", "diffuse", "specular" or "none".
    std::string display = "heightmap";

    bool waterPlaneBuilt = false;
    ProjectWaterMesh waterPlane; // not stored: rebuilt from the water map and the heights

    bool Empty() const { return width == 0 || height == 0; }
    size_t VertexCount() const { return size_t{width} * height; }
};

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

    std::vector<ProjectTerrain> terrains;
    std::vector<ProjectCamera> cameras;
    std::vector<ProjectScene> scenes;
    std::vector<ProjectShader> shaders; // the user's shaders, after the built-in ones
    uint32_t sceneCounter = 0;
    int32_t aspectRatioIndex = 0; // the scene window's aspect ratio choice
};
