// The water plane's OBJ file. Kept apart from the terrain's so that each pulls in only its own class.
#include "engine/Log.h"
#include "io/ObjWriter.h"
#include "terrain/WaterPlane.h"

bool Terrain::WaterPlane::SaveAsObj(const std::string& path, std::string* error) const
{
    const std::string fileName = (terrain ? terrain->name : std::string()) + "_water";
    // A plane without water has no vertices; its file holds the header lines only.
    ObjMeshView view;
    if (!ObjWriter::MakeView(fileName, width, height, vertexCount, positions, texCoords, normals, indexCount,
                             indices, view))
    {
        Log::Error("{} cannot write {}: water plane {} has no mesh", "SaveAsObj", path, fileName);
        if (error) *error = "the water plane has no mesh";
        return false;
    }
    return ObjWriter::WriteFile(path, view, nullptr, error);
}
