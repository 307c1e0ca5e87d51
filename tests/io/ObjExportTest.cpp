// The OBJ for other tools read back line by line: counts, faces against normals, texture coordinates
// against the base colour image the MTL file names.
#include "io/Export.h"

#include "tests/io/ExportTestTerrain.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>
#include <stb_image.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

using testsupport::ExportTestTerrain;
using testsupport::TempDir;

namespace
{
struct ObjFile
{
    std::vector<float> v, vt, vn;
    struct Corner
    {
        int v, vt, vn; // 1-based; vt 0 when absent
    };
    std::vector<std::vector<Corner>> faces;
    std::vector<std::string> objects, materials, libraries;
};

ObjFile ReadObjFile(const std::string& path)
{
    ObjFile obj;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        float x = 0;
        if (tag == "v" || tag == "vn" || tag == "vt")
        {
            std::vector<float>& target = tag == "v" ? obj.v : tag == "vn" ? obj.vn : obj.vt;
            while (words >> x)
                target.push_back(x);
        }
        else if (tag == "f")
        {
            std::vector<ObjFile::Corner> face;
            std::string corner;
            while (words >> corner)
            {
                ObjFile::Corner c{0, 0, 0};
                std::sscanf(corner.c_str(), "%d/%d/%d", &c.v, &c.vt, &c.vn) == 3 ||
                    std::sscanf(corner.c_str(), "%d//%d", &c.v, &c.vn);
                face.push_back(c);
            }
            obj.faces.push_back(face);
        }
        else if (tag == "o" || tag == "usemtl" || tag == "mtllib")
        {
            std::string rest;
            std::getline(words >> std::ws, rest);
            (tag == "o" ? obj.objects : tag == "usemtl" ? obj.materials : obj.libraries).push_back(rest);
        }
    }
    return obj;
}

TEST(ObjExportTest, FacesRunCounterClockwiseAndTexCoordsFindTheirPixels)
{
    TempDir dir;
    ExportTestTerrain terrain;
    ExportOptions options;
    options.folder = dir.Path().string();
    options.baseName = "hills";
    options.formats = ExportFormat::Obj;
    std::string error;
    ASSERT_TRUE(ExportTerrain(terrain.Input(), options, {}, &error)) << error;

    const ObjFile obj = ReadObjFile(dir / "hills.obj");
    EXPECT_EQ(obj.libraries, std::vector<std::string>{"hills.mtl"});
    EXPECT_EQ(obj.objects, (std::vector<std::string>{"hills", "hills_water"}));
    EXPECT_EQ(obj.materials, (std::vector<std::string>{"ground", "water"}));
    ASSERT_EQ(obj.v.size(), 3u * (35 + 9));
    ASSERT_EQ(obj.vt.size(), 2u * 35);
    ASSERT_EQ(obj.vn.size(), 3u * (35 + 9));
    ASSERT_EQ(obj.faces.size(), 2u * 4 * 6 + 8);

    // Every bit of the heights and normals (the stream reads the nearest float).
    for (size_t v = 0; v < 3 * 35; ++v)
    {
        EXPECT_EQ(obj.v[v], terrain.positions[v]) << "v " << v;
        EXPECT_EQ(obj.vn[v], terrain.normals[v]) << "vn " << v;
    }

    for (size_t f = 0; f < obj.faces.size(); ++f)
    {
        const auto& face = obj.faces[f];
        ASSERT_EQ(face.size(), 3u);
        float n[3];
        testsupport::CounterClockwiseNormal(&obj.v[3 * (face[0].v - 1)], &obj.v[3 * (face[1].v - 1)],
                                            &obj.v[3 * (face[2].v - 1)], n);
        EXPECT_GT(n[1], 0.0f) << "face " << f;
        for (const auto& corner : face)
            EXPECT_GT(testsupport::Dot(n, &obj.vn[3 * (corner.vn - 1)]), 0.0f) << "face " << f;
    }

    std::ifstream mtl(dir / "hills.mtl");
    const std::string text((std::istreambuf_iterator<char>(mtl)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("newmtl ground\n"), std::string::npos);
    EXPECT_NE(text.find("map_Kd hills_basecolor.png\n"), std::string::npos);
    EXPECT_NE(text.find("newmtl water\n"), std::string::npos);

    int w = 0, h = 0, c = 0;
    stbi_set_flip_vertically_on_load(0);
    unsigned char* image = stbi_load((dir / "hills_basecolor.png").c_str(), &w, &h, &c, 3);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(w, 7);
    ASSERT_EQ(h, 5);
    for (const auto& face : obj.faces)
        for (const auto& corner : face)
        {
            if (corner.vt == 0) continue;
            // OBJ counts v upwards from the bottom row of the image.
            const long column = std::lround(obj.vt[2 * (corner.vt - 1)] * 6.0f);
            const long row = std::lround((1.0f - obj.vt[2 * (corner.vt - 1) + 1]) * 4.0f);
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(image[(row * 7 + column) * 3 + ch], terrain.diffuse[3 * (corner.v - 1) + ch]);
        }
    stbi_image_free(image);
}
} // namespace
