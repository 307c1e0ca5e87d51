#pragma once
// Terrain names become file names ("output/" + name + ".obj", name + "_heightmap.png", ...), so a name
// must stay one plain file name: no folder separators, no "..", no control characters, not blank.
#include <string>
#include <vector>

namespace TerrainName
{
// Why a name cannot be used, as the New Terrain dialog shows it; empty when it can.
std::string Problem(const std::string& name);

// A usable name from one that came with a file: separators and control characters become '_', ".."
// becomes "__", blanks at the ends go. When nothing is left, fallback made usable the same way, or
// "terrain".
std::string MakeSafe(const std::string& name, const std::string& fallback = std::string());

// name itself when no other terrain has it; otherwise the first free "name_2", "name_3", ... (no blank:
// an OBJ header's first word is the name and its second the width)
std::string MakeUnique(const std::string& name, const std::vector<std::string>& taken);
} // namespace TerrainName
