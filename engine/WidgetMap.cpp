#include "engine/WidgetMap.h"

#include "engine/AtomicFile.h"
#include "engine/Log.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

// The GUI library's own functions, reached under the names the linker's --wrap gives them: every
// call the library makes from one of its files into another (and every call from ours) comes to
// the Wrap* functions below first, which call the Real* ones. The names are the Itanium ABI names
// of ImGui 1.86; a library whose functions differ fails to link rather than publishing nothing.
bool RealItemAdd(const ImRect& bb, ImGuiID id, const ImRect* navBb,
                 ImGuiItemFlags flags) __asm__("__real__ZN5ImGui7ItemAddERK6ImRectjPS1_i");
ImGuiID RealWindowGetID(ImGuiWindow* window, const char* str,
                        const char* strEnd) __asm__("__real__ZN11ImGuiWindow5GetIDEPKcS1_");
void RealPushID(const char* str) __asm__("__real__ZN5ImGui6PushIDEPKc");
void RealRenderText(ImVec2 pos, const char* text, const char* textEnd,
                    bool hideTextAfterHash) __asm__("__real__ZN5ImGui10RenderTextE6ImVec2PKcS2_b");
void RealRenderTextWrapped(ImVec2 pos, const char* text, const char* textEnd,
                           float wrapWidth) __asm__("__real__ZN5ImGui17RenderTextWrappedE6ImVec2PKcS2_f");
void RealImage(ImTextureID texture, const ImVec2& size, const ImVec2& uv0, const ImVec2& uv1,
               const ImVec4& tint,
               const ImVec4& border) __asm__("__real__ZN5ImGui5ImageEPvRK6ImVec2S3_S3_RK6ImVec4S6_");

namespace
{
struct Record
{
    const char* kind;
    std::string window;
    std::string label;
    ImRect rect;
};

struct State
{
    ImGuiContext* context = nullptr; // the context that publishes; null while nothing does
    std::string path;
    bool collecting = false; // inside a frame of that context
    bool nextItemIsImage = false;
    std::unordered_map<ImGuiID, std::string> labels;  // identifiers hashed from strings this frame
    std::unordered_map<std::string, int> imageCounts; // pictures so far, per window
    std::vector<Record> records;
    bool reportedFailure = false;
};

State& Map()
{
    static State state;
    return state;
}

bool Collecting()
{
    const State& state = Map();
    return state.collecting && GImGui == state.context && GImGui->CurrentWindow != nullptr;
}

const char* TopLevelName()
{
    const ImGuiWindow* window = GImGui->CurrentWindow;
    return (window->RootWindow != nullptr ? window->RootWindow : window)->Name;
}

// Keeps what the window shows of rect; false when nothing of it is visible.
bool ClipToWindow(ImRect& rect)
{
    rect.ClipWithFull(GImGui->CurrentWindow->ClipRect);
    return rect.GetWidth() > 0.0f && rect.GetHeight() > 0.0f;
}

void Add(const char* kind, std::string label, ImRect rect)
{
    if (ClipToWindow(rect)) Map().records.push_back({kind, TopLevelName(), std::move(label), rect});
}

void AddText(ImVec2 pos, const char* text, const char* textEnd, bool hideAfterHash, float wrapWidth)
{
    if (textEnd == nullptr) textEnd = text + std::strlen(text);
    if (hideAfterHash) textEnd = ImGui::FindRenderedTextEnd(text, textEnd);
    if (text == textEnd) return;
    const ImVec2 size = ImGui::CalcTextSize(text, textEnd, false, wrapWidth);
    Add("text", std::string(text, textEnd), ImRect(pos, ImVec2(pos.x + size.x, pos.y + size.y)));
}

void Escape(std::string& out, const std::string& text)
{
    for (const char c : text)
    {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
}

void Line(std::string& out, const char* kind, const std::string& window, const std::string* label,
          const ImRect& r)
{
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "\t%.1f\t%.1f\t%.1f\t%.1f\n", static_cast<double>(r.Min.x),
                  static_cast<double>(r.Min.y), static_cast<double>(r.Max.x), static_cast<double>(r.Max.y));
    out += kind;
    out += '\t';
    Escape(out, window);
    if (label != nullptr)
    {
        out += '\t';
        Escape(out, *label);
    }
    out += numbers;
}

std::string Describe(const ImGuiContext& g, const std::vector<Record>& records)
{
    std::string out = "velmoran widget map\n";
    out += "frame " + std::to_string(g.FrameCount) + "\n";
    out += "display " + std::to_string(static_cast<int>(g.IO.DisplaySize.x)) + " " +
           std::to_string(static_cast<int>(g.IO.DisplaySize.y)) + "\n";
    for (const ImGuiWindow* window : g.Windows)
    {
        if (!window->Active || window->Hidden || (window->Flags & ImGuiWindowFlags_ChildWindow) != 0)
            continue;
        const ImRect rect(window->Pos,
                          ImVec2(window->Pos.x + window->Size.x, window->Pos.y + window->Size.y));
        Line(out, "window", window->Name, nullptr, rect);
    }
    if (g.NavWindow != nullptr && g.NavWindow->RootWindow != nullptr)
    {
        out += "focus\t";
        Escape(out, g.NavWindow->RootWindow->Name);
        out += '\n';
    }
    if (const ImGuiWindow* modal = ImGui::GetTopMostPopupModal())
    {
        out += "modal\t";
        Escape(out, modal->Name);
        out += '\n';
    }
    for (const Record& record : records)
        Line(out, record.kind, record.window, &record.label, record.rect);
    out += "end\n";
    return out;
}

void BeginFrame(ImGuiContext* context, ImGuiContextHook*)
{
    State& state = Map();
    if (context != state.context) return;
    state.labels.clear();
    state.imageCounts.clear();
    state.records.clear();
    state.nextItemIsImage = false;
    state.collecting = true;
}

void EndFrame(ImGuiContext* context, ImGuiContextHook*)
{
    State& state = Map();
    if (context != state.context || !state.collecting) return;
    state.collecting = false;
    const std::string text = Describe(*context, state.records);
    std::string error;
    const bool written = WriteFileAtomically(
        state.path,
        [&](std::FILE* file) { return std::fwrite(text.data(), 1, text.size(), file) == text.size(); },
        &error, "w");
    if (!written && !state.reportedFailure)
    {
        Log::Error("Cannot write the widget map {}: {}", state.path, error);
        state.reportedFailure = true; // once: the next frames would only repeat it
    }
}

void Forget(ImGuiContext* context, ImGuiContextHook*)
{
    State& state = Map();
    if (context == state.context) state = State{};
}
} // namespace

bool WrapItemAdd(const ImRect& bb, ImGuiID id, const ImRect* navBb,
                 ImGuiItemFlags flags) __asm__("__wrap__ZN5ImGui7ItemAddERK6ImRectjPS1_i");
ImGuiID WrapWindowGetID(ImGuiWindow* window, const char* str,
                        const char* strEnd) __asm__("__wrap__ZN11ImGuiWindow5GetIDEPKcS1_");
void WrapPushID(const char* str) __asm__("__wrap__ZN5ImGui6PushIDEPKc");
void WrapRenderText(ImVec2 pos, const char* text, const char* textEnd,
                    bool hideTextAfterHash) __asm__("__wrap__ZN5ImGui10RenderTextE6ImVec2PKcS2_b");
void WrapRenderTextWrapped(ImVec2 pos, const char* text, const char* textEnd,
                           float wrapWidth) __asm__("__wrap__ZN5ImGui17RenderTextWrappedE6ImVec2PKcS2_f");
void WrapImage(ImTextureID texture, const ImVec2& size, const ImVec2& uv0, const ImVec2& uv1,
               const ImVec4& tint,
               const ImVec4& border) __asm__("__wrap__ZN5ImGui5ImageEPvRK6ImVec2S3_S3_RK6ImVec4S6_");

bool WrapItemAdd(const ImRect& bb, ImGuiID id, const ImRect* navBb, ImGuiItemFlags flags)
{
    const bool shown = RealItemAdd(bb, id, navBb, flags);
    if (!Collecting()) return shown;
    State& state = Map();
    if (id == 0 && state.nextItemIsImage)
    {
        state.nextItemIsImage = false;
        const int n = state.imageCounts[TopLevelName()]++; // counted when clipped too: numbers stay put
        if (shown) Add("image", std::to_string(n), bb);
        return shown;
    }
    if (id == 0 || !shown) return shown;
    const auto label = state.labels.find(id);
    if (label != state.labels.end())
        Add("item", label->second, navBb != nullptr ? *navBb : bb); // the frame a click must hit
    return shown;
}

ImGuiID WrapWindowGetID(ImGuiWindow* window, const char* str, const char* strEnd)
{
    const ImGuiID id = RealWindowGetID(window, str, strEnd);
    if (!Collecting()) return id;
    State& state = Map();
    std::string label = strEnd != nullptr ? std::string(str, strEnd) : std::string(str);
    if (label.empty())
    {
        // Menus, menu items and stepped number fields push their label as an ID scope and give the
        // item inside it an empty one: the item is known by the scope's label.
        const auto scope =
            window->IDStack.empty() ? state.labels.end() : state.labels.find(window->IDStack.back());
        if (scope == state.labels.end()) return id;
        label = scope->second;
    }
    state.labels[id] = std::move(label);
    return id;
}

void WrapPushID(const char* str)
{
    RealPushID(str);
    if (Collecting() && !GImGui->CurrentWindow->IDStack.empty())
        Map().labels[GImGui->CurrentWindow->IDStack.back()] = str;
}

void WrapRenderText(ImVec2 pos, const char* text, const char* textEnd, bool hideTextAfterHash)
{
    RealRenderText(pos, text, textEnd, hideTextAfterHash);
    if (Collecting()) AddText(pos, text, textEnd, hideTextAfterHash, -1.0f);
}

void WrapRenderTextWrapped(ImVec2 pos, const char* text, const char* textEnd, float wrapWidth)
{
    RealRenderTextWrapped(pos, text, textEnd, wrapWidth);
    if (Collecting()) AddText(pos, text, textEnd, false, wrapWidth > 0.0f ? wrapWidth : -1.0f);
}

void WrapImage(ImTextureID texture, const ImVec2& size, const ImVec2& uv0, const ImVec2& uv1,
               const ImVec4& tint, const ImVec4& border)
{
    if (Collecting()) Map().nextItemIsImage = true;
    RealImage(texture, size, uv0, uv1, tint, border);
    Map().nextItemIsImage = false;
}

namespace WidgetMap
{
void InstallFromEnvironment()
{
    const char* path = std::getenv(kEnvironmentVariable);
    if (path != nullptr && path[0] != '\0') Install(path);
}

void Install(const std::string& path)
{
    ImGuiContext* context = ImGui::GetCurrentContext();
    if (context == nullptr) return;
    State& state = Map();
    state = State{};
    state.context = context;
    state.path = path;
    const std::pair<ImGuiContextHookType, ImGuiContextHookCallback> hooks[] = {
        {ImGuiContextHookType_NewFramePre, BeginFrame},
        {ImGuiContextHookType_EndFramePost, EndFrame},
        {ImGuiContextHookType_Shutdown, Forget}};
    for (const auto& [type, callback] : hooks)
    {
        ImGuiContextHook hook;
        hook.Type = type;
        hook.Callback = callback;
        ImGui::AddContextHook(context, &hook);
    }
    Log::Trace("Publishing the widget map to {}", path);
}
} // namespace WidgetMap
