#include "tests/support/WidgetMapFile.h"

#include "tests/support/TestCommon.h"

namespace testsupport
{
namespace
{
std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i)
    {
        const char c = line[i];
        if (c == '\t')
            fields.emplace_back();
        else if (c == '\\' && ++i < line.size()) // a backslash ending the line stays one
            fields.back() += line[i] == 't' ? '\t' : line[i] == 'n' ? '\n' : line[i];
        else
            fields.back() += c;
    }
    return fields;
}

// The rectangle in the four fields from first on, which must be the last ones.
bool ReadRect(const std::vector<std::string>& fields, size_t first, MapRect& rect)
{
    if (fields.size() != first + 4) return false;
    std::istringstream numbers(fields[first] + ' ' + fields[first + 1] + ' ' + fields[first + 2] + ' ' +
                               fields[first + 3]);
    return static_cast<bool>(numbers >> rect.x0 >> rect.y0 >> rect.x1 >> rect.y1);
}
} // namespace

std::optional<WidgetMapFile> WidgetMapFile::Read(const std::string& path)
{
    std::istringstream lines(ReadFile(path));
    std::string line;
    if (!std::getline(lines, line) || line != "velmoran widget map") return std::nullopt;
    WidgetMapFile map;
    while (std::getline(lines, line))
    {
        const std::vector<std::string> fields = SplitTabs(line);
        const std::string& kind = fields[0];
        MapRect rect;
        if (line == "end") return map.frame < 0 ? std::nullopt : std::optional<WidgetMapFile>(map);
        if (line.rfind("frame ", 0) == 0)
            map.frame = std::atoi(line.c_str() + 6);
        else if (kind == "modal" && fields.size() == 2)
            map.modal = fields[1];
        else if (kind == "window" && ReadRect(fields, 2, rect))
            map.windows.push_back({kind, fields[1], fields[1], rect});
        else if ((kind == "item" || kind == "text" || kind == "image") && ReadRect(fields, 3, rect))
            map.entries.push_back({kind, fields[1], fields[2], rect});
        else if (line.rfind("display ", 0) != 0 && !(kind == "focus" && fields.size() == 2))
            return std::nullopt;
    }
    return std::nullopt; // not a whole map
}

const MapEntry* WidgetMapFile::Find(const std::string& kind, const std::string& label,
                                    const std::string& window) const
{
    for (const MapEntry& entry : entries)
        if (entry.kind == kind && entry.label == label && (window.empty() || entry.window == window))
            return &entry;
    return nullptr;
}

const MapEntry* WidgetMapFile::Window(const std::string& name) const
{
    for (const MapEntry& entry : windows)
        if (entry.window == name) return &entry;
    return nullptr;
}

std::vector<MapEntry> WidgetMapFile::WindowsAbove(const std::string& name) const
{
    const MapEntry* window = Window(name);
    return window == nullptr ? std::vector<MapEntry>()
                             : std::vector<MapEntry>(window + 1, windows.data() + windows.size());
}

std::string WidgetMapFile::Describe() const
{
    std::string text = "frame " + std::to_string(frame) + ", windows:";
    for (const MapEntry& window : windows)
        text += " [" + window.window + "]";
    if (!modal.empty()) text += ", modal [" + modal + "]";
    for (const MapEntry& entry : entries)
        text += "\n  " + entry.kind + " [" + entry.window + "] " + entry.label;
    return text;
}
} // namespace testsupport
