#include "terrain/TerrainName.h"

#include <algorithm>

namespace
{
bool IsBlankChar(char c)
{
    return c == ' ' || c == '\t';
}

bool IsControl(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

std::string Trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlankChar(text[begin]))
        ++begin;
    while (end > begin && IsBlankChar(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}
} // namespace

std::string TerrainName::Problem(const std::string& name)
{
    if (Trimmed(name).empty()) return "Enter terrain name";
    const bool unsafe =
        std::any_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\' || IsControl(c); }) ||
        name.find("..") != std::string::npos;
    if (unsafe) return "Terrain names cannot contain /, \\, \"..\" or control characters.";
    return {};
}

std::string TerrainName::MakeSafe(const std::string& name, const std::string& fallback)
{
    std::string safe = name;
    for (char& c : safe)
        if (c == '/' || c == '\\' || IsControl(c)) c = '_';
    for (size_t at = safe.find(".."); at != std::string::npos; at = safe.find("..", at))
        safe.replace(at, 2, "__");
    safe = Trimmed(safe);
    if (!safe.empty()) return safe;
    return fallback.empty() ? "terrain" : MakeSafe(fallback);
}

std::string TerrainName::MakeUnique(const std::string& name, const std::vector<std::string>& taken)
{
    const auto isTaken = [&](const std::string& candidate)
    { return std::find(taken.begin(), taken.end(), candidate) != taken.end(); };
    if (!isTaken(name)) return name;
    for (size_t n = 2;; ++n)
    {
        const std::string candidate = name + "_" + std::to_string(n);
        if (!isTaken(candidate)) return candidate;
    }
}
