#pragma once
// A terrain-shaped mesh without GL for the OBJ tests: the terrain's grid and triangles, heights from a
// function, all normals (0, 1, 0) unless changed.
#include "io/ObjWriter.h"

#include "tests/support/TestCommon.h"

namespace testsupport
{
struct GridMesh
{
    std::string name = "t";
    uint32_t width = 0, height = 0;
    std::vector<float> positions, texCoords, normals;
    std::vector<uint32_t> indices;

    GridMesh(uint32_t w, uint32_t h, float (*heightAt)(uint32_t, uint32_t) = nullptr) : width(w), height(h)
    {
        for (uint32_t i = 0; i < w; ++i)
            for (uint32_t j = 0; j < h; ++j)
            {
                const float x = static_cast<float>(i), z = static_cast<float>(j);
                positions.insert(positions.end(), {x, heightAt ? heightAt(i, j) : 0.0f, z});
                texCoords.insert(texCoords.end(),
                                 {z / static_cast<float>(h - 1), x / static_cast<float>(w - 1)});
                normals.insert(normals.end(), {0.0f, 1.0f, 0.0f});
                if (i + 1 < w && j + 1 < h)
                {
                    const uint32_t a = i * h + j, b = a + 1, c = a + h, e = c + 1;
                    indices.insert(indices.end(), {a, c, b, b, c, e});
                }
            }
    }

    ObjMeshView View() const
    {
        ObjMeshView view;
        ObjWriter::MakeView(name, width, height, static_cast<uint32_t>(positions.size() / 3), positions,
                            texCoords, normals, static_cast<uint32_t>(indices.size()), indices, view);
        return view;
    }
    std::string Text() const { return ObjWriter::WriteString(View()); }
};
} // namespace testsupport
