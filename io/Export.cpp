#include "io/Export.h"

// Sections: format names and file names; the grid as exported (resampled or not); the writers in turn.

#include "engine/Log.h"
#include "io/FileBytes.h"
#include "io/GltfExport.h"
#include "io/HeightImage.h"
#include "io/ImageLayout.h"
#include "io/ObjExport.h"
#include "io/Png.h"
#include "terrain/TerrainGrid.h"

#include <algorithm>
#include <cmath>
#include <memory>

// ---------------------------------------------------------------------------------------------
// Format names and file names

bool ExportFormat::Parse(const std::string& list, uint32_t& formats, std::string* error)
{
    uint32_t result = 0;
    size_t start = 0;
    while (start <= list.size())
    {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        uint32_t flag = 0;
        for (uint32_t n = 0; n < 6; ++n)
            if (name == kNames[n]) flag = 1u << n;
        if (flag == 0)
        {
            if (error != nullptr)
                *error = name.empty()
                             ? "an empty format name in \"" + list + "\""
                             : "unknown format \"" + name + "\" (use glb, obj, png16, r16, exr, splat)";
            return false;
        }
        result |= flag;
        start = comma + 1;
    }
    formats = result;
    return true;
}

namespace
{
struct FileNames
{
    std::string base;
    std::string Glb() const { return base + ".glb"; }
    std::string Obj() const { return base + ".obj"; }
    std::string Mtl() const { return base + ".mtl"; }
    std::string BaseColor() const { return base + "_basecolor.png"; }
    std::string Png16() const { return base + "_height.png"; }
    std::string R16() const { return base + "_height.r16"; }
    std::string Exr() const { return base + "_height.exr"; }
    std::string Splat() const { return base + "_splat.png"; }
};

FileNames NamesFor(const ExportOptions& options)
{
    const std::string& folder = options.folder;
    if (folder.empty()) return {options.baseName};
    return {folder.back() == '/' ? folder + options.baseName : folder + "/" + options.baseName};
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

std::vector<std::string> ExportFiles(const ExportOptions& options, bool withDiffuse)
{
    const FileNames names = NamesFor(options);
    std::vector<std::string> files;
    if (options.formats & ExportFormat::Glb) files.push_back(names.Glb());
    if (options.formats & ExportFormat::Obj)
    {
        files.push_back(names.Obj());
        files.push_back(names.Mtl());
        if (withDiffuse) files.push_back(names.BaseColor());
    }
    const std::pair<uint32_t, std::string> heights[] = {{ExportFormat::Png16, names.Png16()},
                                                        {ExportFormat::R16, names.R16()},
                                                        {ExportFormat::Exr, names.Exr()}};
    for (const auto& [flag, path] : heights)
        if (options.formats & flag)
        {
            files.push_back(path);
            files.push_back(HeightImage::SidecarPath(path));
        }
    if (options.formats & ExportFormat::Splat) files.push_back(names.Splat());
    return files;
}

ExportInput ExportInputOf(const TerrainRecord& record)
{
    ExportInput input;
    input.name = record.name;
    const size_t count = record.VertexCount();
    if (count == 0 || record.positions.size() != 3 * count) return input; // no mesh: refused by the export
    input.width = record.width;
    input.height = record.height;
    input.vertexDistance = record.vertexDistance;
    input.positions = record.positions.data();
    if (record.normals.size() == 3 * count) input.normals = record.normals.data();
    if (record.diffuse.FitsGrid(record.width, record.height, 3)) input.diffuse = record.diffuse.pixels.get();
    input.gradients = record.gradients;
    const Water::PlaneMesh& plane = record.waterPlane;
    const size_t waterVertices = plane.positions.size() / 3;
    if (record.waterPlaneBuilt && waterVertices > 0)
    {
        input.waterVertexCount = static_cast<uint32_t>(waterVertices);
        input.waterPositions = plane.positions.data();
        if (plane.normals.size() == plane.positions.size()) input.waterNormals = plane.normals.data();
        input.waterIndexCount = static_cast<uint32_t>(plane.indices.size());
        input.waterIndices = plane.indices.data();
    }
    return input;
}

// ---------------------------------------------------------------------------------------------
// The grid as exported

namespace
{
// The arrays the writers read: the input's own, or the resampled copies.
struct ExportGrid
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;  // along x
    float vertexDistanceZ = 1.0f; // along z: differs from x by a little after resampling a rectangle
    const float* positions = nullptr;
    const float* normals = nullptr;
    const uint8_t* diffuse = nullptr;
    std::vector<float> ownPositions, ownNormals;
    std::vector<uint8_t> ownDiffuse;

    size_t Count() const { return static_cast<size_t>(width) * height; }
};

void Prepare(const ExportInput& input, const ExportOptions& options, ExportGrid& grid)
{
    const size_t count = static_cast<size_t>(input.width) * input.height;
    grid.width = input.width;
    grid.height = input.height;
    grid.vertexDistance = input.vertexDistance;
    grid.vertexDistanceZ = input.vertexDistance;
    grid.positions = input.positions;
    grid.normals = input.normals;
    grid.diffuse = input.diffuse;

    if (options.resampleSide != 0)
    {
        const Resample::Size size =
            Resample::SizeFor(input.width, input.height, input.vertexDistance, options.resampleSide);
        std::vector<float> heights(count);
        for (size_t k = 0; k < count; ++k)
            heights[k] = input.positions[3 * k + 1];
        const size_t newCount = static_cast<size_t>(size.width) * size.height;
        std::vector<float> newHeights(newCount);
        Resample::Grid(heights.data(), input.width, input.height, 1, size, options.filter, newHeights.data());

        // The new grid spans the old one's extent on both axes: its corners are the old corners.
        const double x0 = input.positions[0], z0 = input.positions[2];
        const double xSpan = input.positions[3 * (size_t{input.width} - 1) * input.height] - x0;
        const double zSpan = input.positions[3 * (size_t{input.height} - 1) + 2] - z0;
        const auto along = [](double start, double span, size_t n, uint32_t count) {
            return static_cast<float>(start +
                                      span * (static_cast<double>(n) / static_cast<double>(count - 1)));
        };
        grid.ownPositions.resize(3 * newCount);
        for (size_t i = 0; i < size.width; ++i)
            for (size_t j = 0; j < size.height; ++j)
            {
                const size_t k = i * size.height + j;
                grid.ownPositions[3 * k] = along(x0, xSpan, i, size.width);
                grid.ownPositions[3 * k + 1] = newHeights[k];
                grid.ownPositions[3 * k + 2] = along(z0, zSpan, j, size.height);
            }
        grid.width = size.width;
        grid.height = size.height;
        grid.vertexDistance = size.vertexDistance;
        grid.vertexDistanceZ = size.vertexDistanceZ;
        grid.positions = grid.ownPositions.data();
        grid.normals = nullptr;

        if (input.diffuse != nullptr)
        {
            std::vector<float> colours(input.diffuse, input.diffuse + 3 * count);
            std::vector<float> newColours(3 * newCount);
            Resample::Grid(colours.data(), input.width, input.height, 3, size, options.filter,
                           newColours.data());
            grid.ownDiffuse.resize(3 * newCount);
            for (size_t v = 0; v < newColours.size(); ++v)
                grid.ownDiffuse[v] = static_cast<uint8_t>(std::clamp(std::lround(newColours[v]), 0L, 255L));
            grid.diffuse = grid.ownDiffuse.data();
        }
    }
    if (grid.normals == nullptr)
    {
        grid.ownNormals.resize(3 * grid.Count());
        TerrainGrid::VertexNormals(grid.positions, grid.width, grid.height, grid.ownNormals.data(), nullptr);
        grid.normals = grid.ownNormals.data();
    }
}

std::string InputProblem(const ExportInput& input, const ExportOptions& options)
{
    if (input.width < 2 || input.height < 2 || input.positions == nullptr) return "it has no mesh";
    if (uint64_t{input.width} * input.height > 0xFFFFFFFFull / 3) return "it is too large";
    if ((options.formats & ExportFormat::All) == 0) return "no format is chosen";
    if (options.baseName.empty()) return "no file name is given";
    if (options.baseName.find('/') != std::string::npos)
        return "the file name \"" + options.baseName + "\" contains a '/'; put folders into the folder field";
    if (options.resampleSide != 0 &&
        (options.resampleSide < 2 || options.resampleSide > ExportOptions::kMaxSide))
        return "the resampled side " + std::to_string(options.resampleSide) + " is outside 2 .. " +
               std::to_string(ExportOptions::kMaxSide);
    return {};
}

bool WriteImage(const std::string& path, const uint8_t* gridPixels, uint32_t width, uint32_t height,
                uint32_t channels, std::string* error)
{
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * channels);
    ImageLayout::GridToImage(gridPixels, width, height, channels, image.data());
    std::vector<uint8_t> png;
    std::string reason;
    if (!Png::Encode(image.data(), width, height, channels, 8, png, &reason))
    {
        if (error != nullptr) *error = FileBytes::WriteFailure(path, reason);
        return false;
    }
    return FileBytes::Write(path, png, error);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// The writers in turn

bool ExportTerrain(const ExportInput& input, const ExportOptions& options, const ExportProgress& progress,
                   std::string* error)
{
    std::string message;
    const auto finish = [&](bool ok)
    {
        if (!ok)
        {
            Log::Error("{}", message);
            if (error != nullptr) *error = message;
        }
        return ok;
    };
    if (const std::string problem = InputProblem(input, options); !problem.empty())
    {
        message = "Cannot export terrain " + input.name + ": " + problem;
        return finish(false);
    }

    ExportGrid grid;
    Prepare(input, options, grid);
    const FileNames names = NamesFor(options);
    const bool withDiffuse = grid.diffuse != nullptr;
    const std::vector<std::string> files = ExportFiles(options, withDiffuse);
    size_t written = 0;
    // Before each file: reports progress and honours a cancel.
    const auto next = [&](const std::string& path)
    {
        if (progress && !progress(static_cast<float>(written) / static_cast<float>(files.size()), path))
        {
            message = "Export cancelled";
            return false;
        }
        ++written;
        return true;
    };

    const bool water = options.water && input.waterVertexCount > 0 && input.waterPositions != nullptr &&
                       input.waterIndexCount >= 3 && input.waterIndices != nullptr;
    std::vector<float> waterNormals;
    if (water && input.waterNormals == nullptr)
    {
        waterNormals.assign(3 * size_t{input.waterVertexCount}, 0.0f);
        for (size_t k = 0; k < input.waterVertexCount; ++k)
            waterNormals[3 * k + 1] = 1.0f;
    }

    if (options.formats & ExportFormat::Glb)
    {
        std::vector<uint8_t> baseColor;
        if (!next(names.Glb())) return finish(false);
        if (withDiffuse)
        {
            std::vector<uint8_t> image(3 * grid.Count());
            ImageLayout::GridToImage(grid.diffuse, grid.width, grid.height, 3, image.data());
            std::string reason;
            if (!Png::Encode(image.data(), grid.width, grid.height, 3, 8, baseColor, &reason))
            {
                message = FileBytes::WriteFailure(names.Glb(), reason);
                return finish(false);
            }
        }
        GltfExport::Scene scene;
        scene.name = input.name;
        scene.width = grid.width;
        scene.height = grid.height;
        scene.positions = grid.positions;
        scene.normals = grid.normals;
        scene.baseColorPng = &baseColor;
        if (water)
        {
            scene.waterVertexCount = input.waterVertexCount;
            scene.waterPositions = input.waterPositions;
            scene.waterNormals = input.waterNormals != nullptr ? input.waterNormals : waterNormals.data();
            scene.waterIndexCount = input.waterIndexCount;
            scene.waterIndices = input.waterIndices;
        }
        if (!GltfExport::Write(names.Glb(), scene, &message)) return finish(false);
    }

    if (options.formats & ExportFormat::Obj)
    {
        ObjExport::Mesh mesh;
        mesh.name = input.name;
        mesh.width = grid.width;
        mesh.height = grid.height;
        mesh.positions = grid.positions;
        mesh.normals = grid.normals;
        mesh.materialFile = FileNameOf(names.Mtl());
        if (water)
        {
            mesh.waterVertexCount = input.waterVertexCount;
            mesh.waterPositions = input.waterPositions;
            mesh.waterIndexCount = input.waterIndexCount;
            mesh.waterIndices = input.waterIndices;
        }
        if (!next(names.Obj()) || !ObjExport::WriteObj(names.Obj(), mesh, &message)) return finish(false);
        if (!next(names.Mtl()) ||
            !ObjExport::WriteMtl(names.Mtl(), withDiffuse ? FileNameOf(names.BaseColor()) : std::string(),
                                 water, &message))
            return finish(false);
        if (withDiffuse && (!next(names.BaseColor()) || !WriteImage(names.BaseColor(), grid.diffuse,
                                                                    grid.width, grid.height, 3, &message)))
            return finish(false);
    }

    const std::pair<uint32_t, std::pair<HeightImage::Format, std::string>> heightFiles[] = {
        {ExportFormat::Png16, {HeightImage::Format::Png16, names.Png16()}},
        {ExportFormat::R16, {HeightImage::Format::R16, names.R16()}},
        {ExportFormat::Exr, {HeightImage::Format::Exr, names.Exr()}}};
    if (options.formats & (ExportFormat::Png16 | ExportFormat::R16 | ExportFormat::Exr))
    {
        const HeightView heights{grid.width,         grid.height, grid.vertexDistance,
                                 grid.positions + 1, 3,           grid.vertexDistanceZ};
        for (const auto& [flag, file] : heightFiles)
            if (options.formats & flag)
            {
                // The height file and its JSON file count as two steps.
                if (!next(file.second) || !HeightImage::Write(file.second, file.first, heights, &message))
                    return finish(false);
                ++written;
            }
    }

    if (options.formats & ExportFormat::Splat)
    {
        if (!next(names.Splat())) return finish(false);
        const size_t count = grid.Count();
        std::vector<uint8_t> heightBytes;
        if (options.splatMode == SplatMap::Mode::Height)
        {
            const TerrainGrid::HeightRange range = TerrainGrid::Range(grid.positions, count);
            heightBytes.resize(count);
            TerrainGrid::HeightmapBytes(grid.positions, count, range.min, range.max, heightBytes.data());
        }
        std::vector<uint8_t> weights(SplatMap::kChannels * count);
        SplatMap::Weights(input.gradients, options.splatMode, heightBytes.data(), grid.normals, count,
                          weights.data());
        if (!WriteImage(names.Splat(), weights.data(), grid.width, grid.height, 4, &message))
            return finish(false);
    }
    if (progress) progress(1.0f, std::string());
    return finish(true);
}
