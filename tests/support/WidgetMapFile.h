#pragma once
// Reads the widget map the program publishes (engine/WidgetMap.h) after each GUI frame.
#include "tests/support/TestCommon.h"

namespace testsupport
{
struct MapRect
{
    float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;

    float CenterX() const { return 0.5f * (x0 + x1); }
    float CenterY() const { return 0.5f * (y0 + y1); }
    float Width() const { return x1 - x0; }
    float Height() const { return y1 - y0; }
    bool Contains(float x, float y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

// One record: kind "window", "item", "text" or "image"; for windows, window and label are the name.
struct MapEntry
{
    std::string kind;
    std::string window;
    std::string label;
    MapRect rect;
};

struct WidgetMapFile
{
    int frame = -1;
    std::vector<MapEntry> windows; // back to front
    std::vector<MapEntry> entries; // items, texts and pictures in drawing order
    std::string modal;

    // The file as last written; nothing when it is missing or not a whole map.
    static std::optional<WidgetMapFile> Read(const std::string& path);

    // The first entry of a kind with this label, in the window given (any window when empty).
    const MapEntry* Find(const std::string& kind, const std::string& label,
                         const std::string& window = "") const;
    const MapEntry* Window(const std::string& name) const;
    // Windows drawn over the named one (after it, back to front).
    std::vector<MapEntry> WindowsAbove(const std::string& name) const;
    // Every text, one a line, for failure messages.
    std::string Describe() const;
};
} // namespace testsupport
