#pragma once
#include "terrain/Terrain.h"

#include <string>
#include <vector>

// A snapshot mesh of the water map: one vertex per water pixel, each connected region lifted to one
// level. The arrays stay with the plane for the OBJ export.
class Terrain::WaterPlane : public Object
{
  public:
    // The plane the terrain's water map and current heights build.
    explicit WaterPlane(Terrain* terrain);
    // A plane of these arrays (normals (0, 1, 0) where they are missing), on the terrain's grid.
    WaterPlane(Terrain* terrain, Water::PlaneMesh&& mesh);
    ~WaterPlane() override;

    bool SaveAsObj(const std::string& path, std::string* error = nullptr) const;

    Terrain* terrain = nullptr; // the terrain it was built from, not owned
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    float vertexDistance = 1.0f;
    std::vector<float> positions;
    std::vector<uint32_t> indices;
    std::vector<float> normals;
    std::vector<float> texCoords;
};
