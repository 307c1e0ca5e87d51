#pragma once
// A terrain-shaped mesh without GL for the OBJ tests: the grid, texture coordinates and triangles as
// the terrain builds them, heights from a function, all normals (0, 1, 0) unless changed.
#include "io/ObjWriter.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport
{
struct GridMesh
{
    std::string name = "t";
    uint32_t width = 0, height = 0;
    std::vector<float> positions, texCoords, normals;
    std::vector<uint32_t> indices;

    GridMesh(uint32_t w, uint32_t h, const std::function<float(uint32_t, uint32_t)>& heightAt = nullptr)
        : width(w), height(h)
    {
        const float du = 1.0f / static_cast<float>(h - 1), dv = 1.0f / static_cast<float>(w - 1);
        for (uint32_t i = 0; i < w; ++i)
            for (uint32_t j = 0; j < h; ++j)
            {
                positions.insert(positions.end(),
                                 {(static_cast<float>(i) - static_cast<float>(w - 1) * 0.5f),
                                  heightAt ? heightAt(i, j) : 0.0f,
                                  (static_cast<float>(j) - static_cast<float>(h - 1) * 0.5f)});
                texCoords.insert(texCoords.end(), {static_cast<float>(j) * du, static_cast<float>(i) * dv});
                normals.insert(normals.end(), {0.0f, 1.0f, 0.0f});
            }
        for (uint32_t i = 0; i + 1 < w; ++i)
            for (uint32_t j = 0; j + 1 < h; ++j)
            {
                const uint32_t a = i * h + j, b = a + 1, c = a + h, e = c + 1;
                indices.insert(indices.end(), {a, c, b, b, c, e});
            }
    }

    ObjMeshView View() const
    {
        ObjMeshView view;
        view.name = name;
        view.width = width;
        view.height = height;
        view.vertexCount = static_cast<uint32_t>(positions.size() / 3);
        view.positions = positions.data();
        view.texCoords = texCoords.data();
        view.normals = normals.data();
        view.indexCount = static_cast<uint32_t>(indices.size());
        view.indices = indices.data();
        return view;
    }
    std::string Text() const { return ObjWriter::WriteString(View()); }
};
} // namespace testsupport
