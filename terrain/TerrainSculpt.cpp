// Sculpting on the live terrain: a dab through Sculpt::ApplyDab, and what the edited region of the
// heights changes on the GL side, sent to the driver a row of the grid at a time (vertex k = i * H + j,
// so a row's run of columns is contiguous in the mesh's arrays).
#include "terrain/Terrain.h"

#include "render/Texture.h"
#include "terrain/Heightmap.h"

#include <algorithm>

namespace
{
// The byte runs of a region's rows in a per-vertex array of components floats per vertex.
void AddRowRuns(const TerrainGrid::Region& region, uint32_t height, size_t components,
                std::vector<MeshGeometry::Run>& runs)
{
    const size_t bytes = components * sizeof(float);
    for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
        runs.push_back({(i * height + region.columnBegin) * bytes,
                        size_t{region.columnEnd - region.columnBegin} * bytes});
}

bool FitsGrid(const Texture* texture, const Terrain& terrain, uint32_t channels)
{
    return texture != nullptr && texture->data && texture->width == terrain.ImageWidth() &&
           texture->height == terrain.ImageHeight() && texture->channels == channels;
}
} // namespace

Sculpt::GridFrame Terrain::Frame() const
{
    if (positions.size() < 3) return {};
    return Sculpt::GridFrame::Of(positions.data(), vertexDistance);
}

TerrainGrid::Region Terrain::SculptDab(Heightmap& entry, const Sculpt::Brush& brush, const Sculpt::Dab& dab)
{
    const size_t count = size_t{width} * height;
    if (!entry.isSculpt || entry.sculpt.size() != count || count == 0 || positions.size() < 3 * count ||
        basePositions.size() < 3 * count)
        return {};
    const auto place =
        std::find_if(heightmaps.begin(), heightmaps.end(),
                     [&](const std::shared_ptr<Heightmap>& layer) { return layer.get() == &entry; });
    const Sculpt::GridFrame frame = Frame();
    if (place == heightmaps.end())
    {
        // Not in the stack: its heights change, the terrain does not.
        Sculpt::ApplyDab(brush, dab, positions.data(), entry.sculpt.data(), width, height, frame);
        return {};
    }
    // An erosion entry after the sculpt entry would erode the new heights again: until the next apply the
    // heights move by what the entry's heights moved. Otherwise they are the stack's, exactly.
    const bool erosionAfter =
        std::any_of(place + 1, heightmaps.end(),
                    [](const std::shared_ptr<Heightmap>& layer) { return layer && layer->isErosion; });
    const TerrainGrid::Region dabRegion = Sculpt::DabRegion(width, height, frame, dab.x, dab.z, brush.radius);
    std::vector<float> before;
    if (erosionAfter)
        for (size_t i = dabRegion.rowBegin; i < dabRegion.rowEnd; ++i)
            before.insert(before.end(),
                          entry.sculpt.begin() + static_cast<ptrdiff_t>(i * height + dabRegion.columnBegin),
                          entry.sculpt.begin() + static_cast<ptrdiff_t>(i * height + dabRegion.columnEnd));

    const TerrainGrid::Region region =
        Sculpt::ApplyDab(brush, dab, positions.data(), entry.sculpt.data(), width, height, frame);
    if (region.Empty()) return region;
    if (erosionAfter)
    {
        size_t at = 0;
        for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
            for (size_t k = i * height + region.columnBegin; k < i * height + region.columnEnd; ++k)
                positions[3 * k + 1] += entry.sculpt[k] - before[at++];
    }
    else
    {
        const std::vector<LayerStack::Entry> entries = StackEntries();
        LayerStack::ApplyIn(basePositions.data(), positions.data(), width, height, entries.data(),
                            entries.size(), region);
    }
    RefreshHeights({region});
    return region;
}

void Terrain::RefreshHeights(const std::vector<TerrainGrid::Region>& changed,
                             const TerrainGrid::HeightRange* range)
{
    const size_t count = size_t{width} * height;
    if (count == 0 || positions.size() < 3 * count) return;
    normals.resize(3 * count);
    uint8_t* normalBytes = FitsGrid(normalTexture.get(), *this, 3) ? normalTexture->data.get() : nullptr;
    std::vector<MeshGeometry::Run> positionRuns;
    std::vector<MeshGeometry::Run> normalRuns;
    TerrainGrid::HeightRange grown{minHeight, maxHeight};
    for (const TerrainGrid::Region& region : changed)
    {
        if (region.Empty()) continue;
        for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
            for (size_t k = i * height + region.columnBegin; k < i * height + region.columnEnd; ++k)
                grown.Add(positions[3 * k + 1]);
        // A vertex's normal reads its neighbours: the normals of the region grown by one change.
        const TerrainGrid::Region around = region.Grown(1, width, height);
        TerrainGrid::VertexNormalsIn(positions.data(), width, height, around, normals.data(), normalBytes);
        AddRowRuns(region, height, 3, positionRuns);
        AddRowRuns(around, height, 3, normalRuns);
        if (normalBytes != nullptr)
            normalTexture->UploadRegion(around.columnBegin, around.rowBegin,
                                        around.columnEnd - around.columnBegin,
                                        around.rowEnd - around.rowBegin);
    }
    mesh->WriteRuns(MeshGeometry::Array::Positions, positionRuns, positions.data());
    mesh->WriteRuns(MeshGeometry::Array::Normals, normalRuns, normals.data());

    // The heightmap image spans the range: a new range makes all of it again, unless the range is only
    // growing in a stroke, when the rest waits for SettleHeights.
    const TerrainGrid::HeightRange now = range != nullptr ? *range : grown;
    const bool newRange = now.min != minHeight || now.max != maxHeight;
    minHeight = now.min;
    maxHeight = now.max;
    if (!FitsGrid(heightmapTexture.get(), *this, 1)) return;
    if (range != nullptr && (newRange || heightmapStale))
    {
        heightmapStale = false;
        heightmapTexture->Update(CreateHeightmapBuffer());
        return;
    }
    heightmapStale = heightmapStale || newRange;
    for (const TerrainGrid::Region& region : changed)
    {
        if (region.Empty()) continue;
        TerrainGrid::HeightmapBytesIn(positions.data(), height, region, minHeight, maxHeight,
                                      heightmapTexture->data.get());
        heightmapTexture->UploadRegion(region.columnBegin, region.rowBegin,
                                       region.columnEnd - region.columnBegin,
                                       region.rowEnd - region.rowBegin);
    }
}

void Terrain::SettleHeights()
{
    const size_t count = size_t{width} * height;
    if (count == 0 || positions.size() < 3 * count) return;
    const TerrainGrid::HeightRange range = TerrainGrid::RangeAll(positions.data(), width, height);
    RefreshHeights({}, &range);
}
