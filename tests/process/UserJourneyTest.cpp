// A user's whole run through the real program on an X server of its own, driven only by X input
// (XTest) and checked by what it shows (pixels, title, the widget map it publishes after each frame),
// the files it writes and its log. A failure keeps a screenshot, the log and the last widget map.
#include "engine/WidgetMap.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WidgetMapFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stb_image_write.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

// Last: Xlib's macros (None, Bool, Status, ...) would break the C++ headers above.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace fs = std::filesystem;
using testsupport::MapEntry;
using testsupport::MapRect;
using testsupport::ReadFile;
using testsupport::WidgetMapFile;

namespace
{
using Clock = std::chrono::steady_clock;

// Bounded polls: generous for a sanitizer build on a busy machine, but a hung program fails the step.
constexpr double kWaitSeconds = 30.0;
constexpr double kStartSeconds = 90.0; // the first frame: start-up, shaders, sanitizers
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what);
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Xlib's own handler ends the process on any error; a wake-up sent to a window that just ended is none.
int (*xlibErrorHandler)(Display*, XErrorEvent*) = nullptr;
int IgnoreGoneWindows(Display* display, XErrorEvent* error)
{
    return error->error_code == BadWindow ? 0 : xlibErrorHandler(display, error);
}

// ---------------------------------------------------------------------------------------------
// The X server and the program

// A child process with its output in a log file; it dies with the test, however that ends.
class Child
{
  public:
    Child(fs::path logPath, const std::function<void()>& exec) : logPath(std::move(logPath))
    {
        const pid_t test = getpid();
        pid = fork();
        if (pid != 0) return;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != test) _exit(1); // the test ended before the request took effect
        const int log = open(this->logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log < 0) _exit(126);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        exec();
        _exit(127);
    }

    ~Child()
    {
        if (Running())
        {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    bool Running()
    {
        int status = 0;
        if (!exited && waitpid(pid, &status, WNOHANG) == pid)
        {
            exited = true;
            exitStatus = status;
        }
        return !exited;
    }

    // How it ended, for messages.
    std::string Ending() const
    {
        if (!exited) return "still running";
        if (WIFEXITED(exitStatus)) return "exit status " + std::to_string(WEXITSTATUS(exitStatus));
        if (WIFSIGNALED(exitStatus)) return "killed by signal " + std::to_string(WTERMSIG(exitStatus));
        return "ended";
    }

    bool ExitedWithZero() const { return exited && WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0; }
    std::string Log() const { return ReadFile(logPath); }
    pid_t Pid() const { return pid; }

    const fs::path logPath;

  private:
    pid_t pid = -1;
    bool exited = false;
    int exitStatus = 0;
};

// An Xvfb of the test's own (other tests' windows could take the focus or the clicks); -displayfd
// lets it pick a free display number without a race.
struct XServer
{
    explicit XServer(const fs::path& logPath)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) Fail("Cannot make a pipe for Xvfb");
        server = std::make_unique<Child>(logPath,
                                         [&]
                                         {
                                             const std::string fd = std::to_string(dup(fds[1])); // inherited
                                             execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
                                                    "1280x1024x24", "-noreset", "-nolisten", "tcp",
                                                    static_cast<char*>(nullptr));
                                         });
        close(fds[1]);
        const Clock::time_point start = Clock::now();
        while (name.empty() || name.back() != '\n')
        {
            pollfd ready{fds[0], POLLIN, 0};
            if (SecondsSince(start) > kWaitSeconds || poll(&ready, 1, 200) < 0) break;
            char c = 0;
            if ((ready.revents & (POLLIN | POLLHUP)) != 0 && read(fds[0], &c, 1) != 1) break;
            if (c != 0) name += c;
        }
        close(fds[0]);
        if (name.empty() || name.back() != '\n')
            Fail("Xvfb did not start (is the xvfb package installed?): " + ReadFile(logPath));
        name = ":" + name.substr(0, name.size() - 1);
    }

    std::unique_ptr<Child> server;
    std::string name;
};

// The built program, started in its working folder.
std::unique_ptr<Child> StartProgram(const fs::path& folder, const std::string& display,
                                    const fs::path& mapPath, const fs::path& logPath)
{
    return std::make_unique<Child>(logPath,
                                   [&]
                                   {
                                       if (chdir(folder.c_str()) != 0) return;
                                       setenv("DISPLAY", display.c_str(), 1);
                                       setenv(WidgetMap::kEnvironmentVariable, mapPath.c_str(), 1);
                                       execl(VELMORAN_PROGRAM, VELMORAN_PROGRAM, static_cast<char*>(nullptr));
                                   });
}

// ---------------------------------------------------------------------------------------------
// The user's hands and eyes

// Pixels read back from the screen; those of windows drawn over the looked-at one are marked covered.
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> covered;

    const uint8_t* At(int x, int y) const { return &rgb[3 * (static_cast<size_t>(y) * width + x)]; }
    bool Covered(int x, int y) const { return covered[static_cast<size_t>(y) * width + x] != 0; }
};

bool Near(const uint8_t* a, const uint8_t* b, int tolerance = 24)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > tolerance) return false;
    return true;
}

// Share of the pixels shown in both pictures (same place, same size) that count.
double Share(const Picture& a, const Picture& b,
             const std::function<bool(const uint8_t*, const uint8_t*)>& counts)
{
    if (a.width != b.width || a.height != b.height) return 1.0;
    size_t shown = 0;
    size_t counted = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (!a.Covered(x, y) && !b.Covered(x, y))
            {
                ++shown;
                counted += counts(a.At(x, y), b.At(x, y));
            }
    if (shown < 100) Fail("Too little of the picture shows to judge it");
    return double(counted) / double(shown);
}

double ShareChanged(const Picture& before, const Picture& after)
{
    return Share(before, after, [](const uint8_t* a, const uint8_t* b) { return !Near(a, b); });
}

double ShareOfColor(const Picture& picture, const uint8_t (&color)[3], int tolerance = 24)
{
    return Share(picture, picture,
                 [&](const uint8_t* a, const uint8_t*) { return Near(a, color, tolerance); });
}

// A window name pattern: empty for any window, a trailing '*' for a prefix ("##Menu_*").
bool WindowMatches(const std::string& pattern, const std::string& name)
{
    if (pattern.empty()) return true;
    if (pattern.back() == '*')
        return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return name == pattern;
}

// The first entry of the kind whose label is, or with startsWith begins with, the label given.
const MapEntry* FindIn(const WidgetMapFile& map, const std::string& kind, const std::string& label,
                       const std::string& window, bool startsWith = false)
{
    for (const MapEntry& entry : map.entries)
        if (entry.kind == kind && WindowMatches(window, entry.window) &&
            (startsWith ? entry.label.rfind(label, 0) == 0 : entry.label == label))
            return &entry;
    return nullptr;
}

class User
{
  public:
    User(Display* display, Child& program, fs::path mapPath)
        : display(display), program(program), mapPath(std::move(mapPath))
    {
        FindProgramWindow();
    }

    // Waits between two looks. An idle program sleeps until input comes: an event that means nothing
    // to it wakes it for a frame (every 50 ms at most), so a wait lasts about the frames it needs.
    void Poll(int milliseconds)
    {
        Pause(milliseconds);
        if (programWindow == 0 || SecondsSince(lastWake) < 0.05 || !program.Running()) return;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = programWindow;
        event.xclient.message_type = XInternAtom(display, "VELMORAN_JOURNEY_WAKE", False);
        event.xclient.format = 32;
        XSendEvent(display, programWindow, False, NoEventMask, &event);
        XFlush(display);
        lastWake = Clock::now();
    }

    // Polls until ready says yes; fails after the time given, or at once when the program has ended
    // (unless the wait is for its end).
    void WaitUntil(const std::string& what, const std::function<bool()>& ready, double seconds = kWaitSeconds,
                   bool whileRunning = true)
    {
        const Clock::time_point start = Clock::now();
        while (!ready())
        {
            if (whileRunning && !program.Running())
                Fail("The program ended (" + program.Ending() + ") while the user waited for " + what);
            if (SecondsSince(start) > seconds)
                Fail("Waited " + std::to_string(int(seconds)) + " s for " + what +
                     "; windows shown: " + WindowList());
            Poll(15);
        }
    }

    WidgetMapFile WaitForMap(const std::string& what, const std::function<bool(const WidgetMapFile&)>& ready,
                             double seconds = kWaitSeconds)
    {
        WaitUntil(
            what,
            [&]
            {
                std::optional<WidgetMapFile> map = WidgetMapFile::Read(mapPath.string());
                if (map) last = *map;
                return map && ready(last);
            },
            seconds);
        return last;
    }

    MapEntry WaitFor(const std::string& kind, const std::string& label, const std::string& window = "")
    {
        const std::string what =
            kind + " \"" + label + "\"" + (window.empty() ? "" : " in \"" + window + "\"");
        const WidgetMapFile map = WaitForMap(what, [&](const WidgetMapFile& m)
                                             { return FindIn(m, kind, label, window) != nullptr; });
        return *FindIn(map, kind, label, window);
    }

    MapEntry WaitForItem(const std::string& label, const std::string& window = "")
    {
        return WaitFor("item", label, window);
    }
    MapEntry WaitForText(const std::string& text, const std::string& window = "")
    {
        return WaitFor("text", text, window);
    }
    MapEntry WaitForImage(const std::string& window, int n)
    {
        return WaitFor("image", std::to_string(n), window);
    }

    MapEntry WaitForTextStarting(const std::string& start, const std::string& window = "")
    {
        const WidgetMapFile map = WaitForMap("a text starting \"" + start + "\"", [&](const WidgetMapFile& m)
                                             { return FindIn(m, "text", start, window, true) != nullptr; });
        return *FindIn(map, "text", start, window, true);
    }

    void WaitForGone(const std::string& kind, const std::string& label, const std::string& window = "")
    {
        WaitForMap("the " + kind + " \"" + label + "\" to go",
                   [&](const WidgetMapFile& m) { return FindIn(m, kind, label, window) == nullptr; });
    }

    // A new window is measured in a hidden first frame and may move in the next: it is shown once two
    // frames drew it at the same place.
    MapEntry WaitForWindow(const std::string& name)
    {
        const std::string what = "the window \"" + name + "\" to stay in place";
        std::optional<MapEntry> seen;
        int seenFrame = -1;
        for (;;)
        {
            const WidgetMapFile map =
                WaitForMap(what, [&](const WidgetMapFile& m)
                           { return m.frame > seenFrame && m.Window(name) != nullptr; });
            const MapEntry now = *map.Window(name);
            if (seen && seen->rect.x0 == now.rect.x0 && seen->rect.y0 == now.rect.y0 &&
                seen->rect.x1 == now.rect.x1 && seen->rect.y1 == now.rect.y1)
                return now;
            seen = now;
            seenFrame = map.frame;
        }
    }

    void WaitForWindowGone(const std::string& name)
    {
        WaitForMap("the window \"" + name + "\" to close",
                   [&](const WidgetMapFile& m) { return !m.Window(name); });
    }

    // Frames drawn after everything sent so far (the input is handled by the last map's frame + 2).
    void Settle(int frames = 2)
    {
        XSync(display, False);
        inputFrame = Current().frame;
        WaitForMap("the program to draw " + std::to_string(frames) + " frames",
                   [&](const WidgetMapFile& m) { return m.frame >= inputFrame + frames; });
    }

    // The newest widget map, as it is.
    const WidgetMapFile& Current()
    {
        WaitForMap("a widget map", [](const WidgetMapFile&) { return true; });
        return last;
    }

    void WaitForLogLine(const std::string& text)
    {
        WaitUntil("a log line with \"" + text + "\"",
                  [&] { return program.Log().find(text) != std::string::npos; });
    }

    // The title the program gave its window, as a window manager reads it (_NET_WM_NAME).
    std::string Title()
    {
        const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(display, programWindow, name, 0, 1024, False, utf8, &type, &format, &items,
                               &after, &data) == Success &&
            data != nullptr && format == 8)
            title.assign(reinterpret_cast<const char*>(data), items);
        if (data != nullptr) XFree(data);
        return title;
    }

    void WaitForTitle(const std::string& title)
    {
        WaitUntil("the title \"" + title + "\"", [&] { return Title() == title; });
    }
    void WaitForFile(const fs::path& path)
    {
        WaitUntil("the file " + path.string(), [&] { return fs::exists(path); });
    }

    // The pixels of an entry's rectangle, once the screen shows what the last input did: the scene drawn
    // in the frame after the one that handled it, and swapped (the editor draws a few frames after any
    // input before it idles).
    Picture LookAt(const MapEntry& entry)
    {
        WaitForMap("the screen to show the last input",
                   [&](const WidgetMapFile& m) { return m.frame >= inputFrame + 4; });
        const MapRect& rect = entry.rect;
        const std::string& window = entry.window;
        const int x0 = std::max(0, int(std::ceil(rect.x0)));
        const int y0 = std::max(0, int(std::ceil(rect.y0)));
        const int x1 = std::min(kScreenWidth, int(std::floor(rect.x1)));
        const int y1 = std::min(kScreenHeight, int(std::floor(rect.y1)));
        if (x1 <= x0 || y1 <= y0) Fail("Nothing to look at in \"" + window + "\"");
        Picture picture = Grab(programWindow, x0, y0, x1 - x0, y1 - y0);
        picture.covered.assign(size_t(picture.width) * picture.height, 0);
        for (const MapEntry& above : last.WindowsAbove(window))
            for (int y = 0; y < picture.height; ++y)
                for (int x = 0; x < picture.width; ++x)
                    if (above.rect.Contains(float(x0 + x) + 0.5f, float(y0 + y) + 0.5f))
                        picture.covered[size_t(y) * picture.width + x] = 1;
        return picture;
    }

    Picture Screen() { return Grab(DefaultRootWindow(display), 0, 0, kScreenWidth, kScreenHeight); }

    const WidgetMapFile& LastMap() const { return last; }

    void MoveTo(float x, float y)
    {
        const int rootX = originX + int(std::lround(x));
        const int rootY = originY + int(std::lround(y));
        if (rootX == pointerX && rootY == pointerY) return; // no motion, no event, no frame
        XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
        pointerX = rootX;
        pointerY = rootY;
        Settle();
    }

    void MoveTo(const MapEntry& entry) { MoveTo(entry.rect.CenterX(), entry.rect.CenterY()); }

    void Press(unsigned button)
    {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        Settle();
    }

    // The frame that handles the release runs the action; its change of layout shows a frame later.
    void Release(unsigned button)
    {
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        Settle(3);
    }

    void Click(const MapEntry& entry, unsigned button = Button1)
    {
        MoveTo(entry);
        Press(button);
        Release(button);
    }

    // A widget another window hides is first brought out by a click on a bare part of its window.
    void Click(const std::string& label, const std::string& window = "")
    {
        MapEntry entry = WaitForItem(label, window);
        if (Hidden(entry))
        {
            BringToFront(entry.window);
            entry = WaitForItem(label, window);
        }
        Click(entry);
    }

    // A click on a button that closes its window.
    void ClickToClose(const std::string& label, const std::string& window)
    {
        Click(label, window);
        WaitForWindowGone(window);
    }

    // A click that ends the program: nothing waits for the frames after the release.
    void ClickToEnd(const std::string& label, const std::string& window = "")
    {
        MoveTo(WaitForItem(label, window));
        Press(Button1);
        XTestFakeButtonEvent(display, Button1, False, CurrentTime);
        XSync(display, False);
    }

    // A drag field typed into: a click with Ctrl held makes it a text field; its value is replaced.
    void TypeIntoDragField(const std::string& label, const std::string& text, const std::string& window)
    {
        MoveTo(WaitForItem(label, window));
        KeyDown(XK_Control_L);
        Press(Button1);
        Release(Button1);
        KeyUp(XK_Control_L);
        Ctrl(XK_a);
        Type(text);
        HoldKey(XK_Return);
    }

    void Drag(float fromX, float fromY, float toX, float toY)
    {
        MoveTo(fromX, fromY);
        Press(Button1);
        for (int step = 1; step <= 4; ++step)
            MoveTo(fromX + (toX - fromX) * float(step) / 4.0f, fromY + (toY - fromY) * float(step) / 4.0f);
        Release(Button1);
    }

    void KeyDown(KeySym key)
    {
        XTestFakeKeyEvent(display, Code(key), True, CurrentTime);
        Settle();
    }

    void KeyUp(KeySym key)
    {
        XTestFakeKeyEvent(display, Code(key), False, CurrentTime);
        Settle();
    }

    // Keeps what is held held for a while (the program draws frames while input is held).
    void HoldOn(double seconds)
    {
        const Clock::time_point start = Clock::now();
        do
            Settle(1);
        while (SecondsSince(start) < seconds);
    }

    // The dialogs read Enter and Escape as held, frame by frame.
    void HoldKey(KeySym key, int frames = 3)
    {
        XTestFakeKeyEvent(display, Code(key), True, CurrentTime);
        Settle(frames);
        KeyUp(key);
    }

    // Types printable ASCII, with Shift where the keyboard needs it.
    void Type(const std::string& text)
    {
        const KeyCode shift = Code(XK_Shift_L);
        for (const char c : text)
        {
            const KeySym key = KeySym(static_cast<unsigned char>(c));
            const KeyCode code = Code(key);
            const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != key;
            if (shifted) XTestFakeKeyEvent(display, shift, True, CurrentTime);
            XTestFakeKeyEvent(display, code, True, CurrentTime);
            XTestFakeKeyEvent(display, code, False, CurrentTime);
            if (shifted) XTestFakeKeyEvent(display, shift, False, CurrentTime);
        }
        Settle();
    }

    void Ctrl(KeySym key)
    {
        KeyDown(XK_Control_L);
        HoldKey(key, 2);
        KeyUp(XK_Control_L);
    }

    void TypeInto(const std::string& field, const std::string& text, const std::string& window = "")
    {
        Click(field, window);
        Ctrl(XK_a);
        Type(text);
    }

    // A menu path from the menu bar of the window given; submenus open under the pointer.
    void Menu(std::initializer_list<std::string> path, const std::string& window = "##MainMenuBar")
    {
        auto entry = path.begin();
        Click(*entry, window);
        for (++entry; entry != path.end(); ++entry)
        {
            const MapEntry item = WaitForItem(*entry, "##Menu_*");
            if (std::next(entry) == path.end())
                Click(item);
            else
                MoveTo(item);
        }
    }

    void Choose(const std::string& combo, const std::string& choice, const std::string& window)
    {
        Click(combo, window);
        Click(choice, "##Combo_*");
        WaitForMap("the list of \"" + combo + "\" to close",
                   [](const WidgetMapFile& m)
                   {
                       for (const MapEntry& w : m.windows)
                           if (WindowMatches("##Combo_*", w.window)) return false;
                       return true;
                   });
    }

    // A click on the bare background: closes open menus, takes nothing else.
    void ClickBackground()
    {
        Current();
        for (float y = float(kScreenHeight) - 10.0f; y > 40.0f; y -= 40.0f)
            for (float x = 10.0f; x < float(kScreenWidth); x += 40.0f)
            {
                bool free = true;
                for (const MapEntry& w : last.windows)
                    free = free && (w.window == kBackgroundWindow || !w.rect.Contains(x, y));
                if (free)
                {
                    MoveTo(x, y);
                    Press(Button1);
                    Release(Button1);
                    return;
                }
            }
        Fail("No bare background left to click");
    }

    // Whether a window drawn over the entry's covers its centre.
    bool Hidden(const MapEntry& entry)
    {
        for (const MapEntry& above : Current().WindowsAbove(entry.window))
            if (above.rect.Contains(entry.rect.CenterX(), entry.rect.CenterY())) return true;
        return false;
    }

    // A click on a bare part of the window (its title bar, or else its background).
    void BringToFront(const std::string& window)
    {
        const MapRect frame = WaitForWindow(window).rect;
        const std::vector<MapEntry> above = last.WindowsAbove(window);
        for (float y = frame.y0 + 8.0f; y < frame.y1 - 4.0f; y += 12.0f)
            for (float x = frame.x0 + 8.0f; x < frame.x1 - 24.0f; x += 12.0f)
            {
                bool free = true;
                for (const MapEntry& w : above)
                    free = free && !w.rect.Contains(x, y);
                for (const MapEntry& e : last.entries)
                    free = free && !(e.kind == "item" && e.window == window && e.rect.Contains(x, y));
                if (!free) continue;
                MoveTo(x, y);
                Press(Button1);
                Release(Button1);
                WaitForMap("the window \"" + window + "\" in front", [&](const WidgetMapFile& m)
                           { return m.WindowsAbove(window).size() < above.size(); });
                return;
            }
        Fail("No bare part of \"" + window + "\" left to click");
    }

    // A point of the rectangle, near its centre, that no window drawn over the given one covers.
    std::pair<float, float> UncoveredPoint(const MapRect& rect, const std::string& window)
    {
        Current();
        const std::vector<MapEntry> above = last.WindowsAbove(window);
        static constexpr int kDirections[7][2] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}};
        for (float fraction : {0.0f, 0.15f, 0.3f, 0.4f})
            for (const auto& [sx, sy] : kDirections)
            {
                const float x = rect.CenterX() + float(sx) * fraction * rect.Width();
                const float y = rect.CenterY() + float(sy) * fraction * rect.Height();
                bool free = true;
                for (const MapEntry& w : above)
                    free = free && !w.rect.Contains(x, y);
                if (free) return {x, y};
            }
        Fail("Every point of \"" + window + "\" is covered by other windows");
    }

    void CloseWindowAsAWindowManagerWould()
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = programWindow;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, programWindow, False, NoEventMask, &event);
        XSync(display, False);
    }

    static constexpr const char* kBackgroundWindow = "Invisible Window"; // the dock host behind all

  private:
    KeyCode Code(KeySym key)
    {
        const KeyCode code = XKeysymToKeycode(display, key);
        if (code == 0) Fail("No key of the keyboard gives the key symbol " + std::to_string(key));
        return code;
    }

    // The program's top-level window, by the process number GLFW records on it; it gets the focus.
    void FindProgramWindow()
    {
        const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
        const Clock::time_point start = Clock::now();
        while (programWindow == 0)
        {
            if (!program.Running())
                Fail("The program ended (" + program.Ending() + ") before it opened its window");
            if (SecondsSince(start) > kStartSeconds) Fail("The program opened no window");
            Window root = 0, parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
            for (unsigned i = 0; i < count; ++i)
            {
                Atom type = 0;
                int format = 0;
                unsigned long items = 0, after = 0;
                unsigned char* data = nullptr;
                XWindowAttributes attributes{};
                if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                                       &format, &items, &after, &data) == Success &&
                    data != nullptr && items == 1 && *reinterpret_cast<long*>(data) == program.Pid() &&
                    XGetWindowAttributes(display, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    programWindow = children[i];
                if (data != nullptr) XFree(data);
            }
            if (children != nullptr) XFree(children);
            if (programWindow == 0) Pause(50);
        }
        Window child = 0;
        XTranslateCoordinates(display, programWindow, DefaultRootWindow(display), 0, 0, &originX, &originY,
                              &child);
        XRaiseWindow(display, programWindow);
        XSetInputFocus(display, programWindow, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    }

    Picture Grab(Window window, int x, int y, int width, int height)
    {
        Picture picture;
        XImage* image =
            XGetImage(display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (image == nullptr) Fail("The X server gave no pixels");
        picture.width = width;
        picture.height = height;
        picture.rgb.resize(size_t(width) * height * 3);
        picture.covered.assign(size_t(width) * height, 0);
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i)
            {
                const unsigned long pixel = XGetPixel(image, i, j);
                uint8_t* out = &picture.rgb[3 * (size_t(j) * width + i)];
                out[0] = uint8_t((pixel & image->red_mask) >> 16);
                out[1] = uint8_t((pixel & image->green_mask) >> 8);
                out[2] = uint8_t(pixel & image->blue_mask);
            }
        XDestroyImage(image);
        return picture;
    }

    std::string WindowList() const
    {
        std::string names;
        for (const MapEntry& w : last.windows)
            names += (names.empty() ? "\"" : ", \"") + w.window + "\"";
        return names.empty() ? "none (no widget map yet)" : names;
    }

    Display* display;
    Child& program;
    fs::path mapPath;
    WidgetMapFile last;
    Window programWindow = 0;
    int originX = 0;
    int originY = 0;
    int pointerX = -1;
    int pointerY = -1;
    int inputFrame = 0; // the frame of the map read right after the last input was sent
    Clock::time_point lastWake;
};

// ---------------------------------------------------------------------------------------------
// The journey

class UserJourneyTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        keep = fs::path(VELMORAN_JOURNEY_KEEP_DIR);
        for (const char* name : {kScreenFile, kLogFile, kMapFile})
            fs::remove(keep / name);
        // The program's working folder, as the build lays it out: shaders/, icon.png, output/.
        const fs::path work(VELMORAN_WORKDIR);
        fs::copy(work / "shaders", folder.Path() / "shaders", fs::copy_options::recursive);
        fs::copy_file(work / "icon.png", folder.Path() / "icon.png");
        fs::create_directory(folder.Path() / "output");

        server = std::make_unique<XServer>(folder.Path() / "xvfb.log");
        display = XOpenDisplay(server->name.c_str());
        if (xlibErrorHandler == nullptr) xlibErrorHandler = XSetErrorHandler(IgnoreGoneWindows);
        ASSERT_NE(display, nullptr) << "cannot open the test's X server " << server->name;
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor))
            << "the X server lacks XTest";
        // The map is rewritten after every frame by the program's file writer, which syncs it to disk:
        // a folder in memory keeps that cheap where the system has one.
        const fs::path memory("/dev/shm");
        mapPath = fs::is_directory(memory)
                      ? memory / ("velmoran-journey-" + std::to_string(getpid()) + ".txt")
                      : folder.Path() / "widgets.txt";
        program = StartProgram(folder.Path(), server->name, mapPath, folder.Path() / "velmoran.log");
        start = Clock::now();
    }

    void TearDown() override
    {
        if (HasFailure() && display != nullptr)
        {
            // What the user saw and what the program said, kept beside the test program.
            std::string kept;
            if (user)
            {
                const Picture screen = user->Screen();
                if (stbi_write_png((keep / kScreenFile).c_str(), screen.width, screen.height, 3,
                                   screen.rgb.data(), screen.width * 3) != 0)
                    kept += " " + (keep / kScreenFile).string();
                std::ofstream(keep / kMapFile) << user->LastMap().Describe() << "\n";
                kept += " " + (keep / kMapFile).string();
            }
            if (program &&
                fs::copy_file(program->logPath, keep / kLogFile, fs::copy_options::overwrite_existing))
                kept += " " + (keep / kLogFile).string();
            ADD_FAILURE() << "Failed in the step \"" << step << "\" after " << SecondsSince(start)
                          << " s. Kept:" << kept;
        }
        user.reset();
        program.reset();
        if (display != nullptr) XCloseDisplay(display);
        server.reset();
        std::error_code ignored;
        fs::remove(mapPath, ignored);
    }

    // Names the user's next step; the time each step starts shows in the test's output.
    void Step(const std::string& name)
    {
        step = name;
        std::printf("[journey %6.1f s, frame %5d] %s\n", SecondsSince(start),
                    user ? user->LastMap().frame : 0, name.c_str());
        std::fflush(stdout);
    }

    void Expect(bool condition, const std::string& what)
    {
        if (!condition) Fail("Expected " + what);
    }

    fs::path Output(const std::string& name) const { return folder.Path() / "output" / name; }

    static constexpr const char* kScreenFile = "UserJourneyTest-failure-screen.png";
    static constexpr const char* kLogFile = "UserJourneyTest-failure-velmoran.log";
    static constexpr const char* kMapFile = "UserJourneyTest-failure-widgets.txt";

    testsupport::TempDir folder;
    fs::path mapPath;
    fs::path keep;
    std::unique_ptr<XServer> server;
    Display* display = nullptr;
    std::unique_ptr<Child> program;
    std::unique_ptr<User> user;
    Clock::time_point start;
    std::string step = "start the program";
};

// The scene's sky, the colour its framebuffer is cleared to.
constexpr uint8_t kSky[3] = {133, 204, 235};
constexpr uint8_t kBlue[3] = {0, 0, 255};

TEST_F(UserJourneyTest, AUserMakesShapesPaintsWatersFliesSavesReloadsKeepsAProjectAndExports)
{
    Step("Start the program and wait for its menu bar");
    user = std::make_unique<User>(display, *program, mapPath);
    user->WaitForMap(
        "the first frame", [](const WidgetMapFile& m) { return m.Window("##MainMenuBar"); }, kStartSeconds);
    User& u = *user;

    Step("File > New > Terrain: a diamond-square terrain named hills, 33 x 33");
    u.Menu({"File", "New", "Terrain"});
    u.WaitForWindow("New Terrain");
    u.WaitForText("Enter terrain name", "New Terrain");
    u.TypeInto("##newterName", "hills", "New Terrain");
    u.WaitForGone("text", "Enter terrain name", "New Terrain");
    u.Choose("Terrain", "Diamond-Square algorithm", "New Terrain");
    u.WaitForItem("Diamond-square roughness", "New Terrain");
    u.Click("-##w", "New Terrain"); // 65 -> 33
    u.WaitForText("Terrain coordinate width x height: 33.00 x 33.00", "New Terrain");
    u.ClickToClose("Create", "New Terrain");

    Step("Confirm the scene in its Create dialog with Enter");
    u.WaitForWindow("Create Scene 0");
    u.WaitForItem("Create##ms2", "Create Scene 0");
    u.HoldKey(XK_Return);
    u.WaitForWindowGone("Create Scene 0");
    const std::string scene = "Scene 0";
    const MapEntry view = u.WaitForImage(scene, 0);

    Step("The scene shows the terrain");
    const double ground = 1.0 - ShareOfColor(u.LookAt(view), kSky, 8);
    std::printf("  %.0f %% of the scene is not sky\n", 100.0 * ground);
    Expect(ground > 0.05, "the terrain to cover at least 5 % of the scene");

    Step("Open the terrain generator from the scene's Window menu and make it taller");
    const std::string generator = "Scene 0 terrain generator";
    u.Menu({"Window", "View terrain generator"}, scene);
    u.WaitForWindow(generator);
    u.ClickBackground();
    const MapRect frame = u.WaitForWindow(generator).rect;
    u.Drag(frame.x1 - 4.0f, frame.y1 - 4.0f, frame.x1 - 4.0f, float(kScreenHeight) - 40.0f); // its corner
    Expect(u.WaitForWindow(generator).rect.Height() > frame.Height() + 200.0f, "the generator to grow");

    Step("Add a noise layer and name it with Set");
    const auto addNoiseLayer = [&]
    {
        u.Click("Add a heightmap", generator);
        u.WaitForWindow("New heightmap name");
        u.ClickToClose("Set##nhmp", "New heightmap name");
    };
    addNoiseLayer();
    u.WaitForItem("Heightmap_0", generator);
    const MapEntry preview = u.WaitForImage(generator, 0);
    const Picture perlin = u.LookAt(preview);

    Step("Change its noise type to Cellular, then Update mesh");
    const Picture sceneBefore = u.LookAt(view);
    u.Choose("Noise type", "Cellular", generator);
    const Picture cellular = u.LookAt(preview);
    Expect(ShareChanged(perlin, cellular) > 0.2, "the preview to change with the noise type");
    u.Click("Update mesh", generator);
    const double reshaped = ShareChanged(sceneBefore, u.LookAt(view));
    std::printf("  Update mesh changed %.1f %% of the scene\n", 100.0 * reshaped);
    Expect(reshaped > 0.01, "Update mesh to change the scene");

    Step("Undo and Redo the noise type");
    u.Click("Undo", generator);
    u.WaitForLogLine("Terrain generator undo: 1 -> 0");
    Expect(ShareChanged(perlin, u.LookAt(preview)) < 0.01, "Undo to bring the Perlin preview back");
    u.Click("Redo", generator);
    u.WaitForLogLine("Terrain generator redo: 0 -> 1");
    Expect(ShareChanged(cellular, u.LookAt(preview)) < 0.01, "Redo to bring the Cellular preview back");

    Step("Generate a diffuse map from two colour bands, the upper one blue");
    u.Click("Textures##hills", generator);
    u.Click("Generate diffuse map", generator);
    const std::string diffuseEditor = "Diffuse texture editor##hills";
    u.WaitForWindow(diffuseEditor);
    u.Click("Add gradient", diffuseEditor);
    u.Click("Add gradient", diffuseEditor);
    u.MoveTo(u.WaitForItem("##hgrad1", diffuseEditor)); // hovering a band selects it
    u.WaitForText("Color picker", diffuseEditor);
    u.TypeIntoDragField("##X", "0", diffuseEditor); // its red component
    Expect(ShareOfColor(u.LookAt(u.WaitForItem("##hgrad1", diffuseEditor)), kBlue, 40) > 0.5,
           "the second band to show blue");
    u.Click("Generate diffuse texture##Edit", diffuseEditor);
    u.WaitForText("Diffuse texture", generator);

    Step("Pour water by clicking the water picture, then Recalculate");
    u.Click("Water##hills", generator);
    u.WaitForWindow("Water editor");
    const MapEntry water = u.WaitForImage("Water editor", 1);
    const Picture dry = u.LookAt(water);
    u.Click(water);
    const MapEntry position = u.WaitForTextStarting("Last image position ", "Water editor");
    Expect(position.label != "Last image position 0 0",
           "the click to pour near the middle: " + position.label);
    Expect(ShareChanged(dry, u.LookAt(water)) > 0.005, "the poured water to show in the picture");
    u.Click("Recalculate##watermap", "Water editor");
    u.WaitForLogLine("Setting waterplane height to");

    // The camera starts under the terrain's surface, looking along its edge: the user turns
    // towards the middle and up, flies forward and back, and turns back.
    Step("Fly: the right button held over the scene, the mouse moved, W and then S held");
    const Picture beforeFlight = u.LookAt(view);
    const auto [flyX, flyY] = u.UncoveredPoint(view.rect, scene);
    u.MoveTo(flyX, flyY);
    u.Press(Button3);
    u.MoveTo(flyX - 45.0f, flyY - 30.0f); // a degree of turn per pixel
    const Picture turned = u.LookAt(view);
    // At the camera's speed of 1, two units forward and back: the program draws every frame while a
    // key is held, so the flight lasts the time held, and on a low random terrain one unit can change
    // too little of the picture to tell.
    u.KeyDown(XK_w);
    u.HoldOn(2.0);
    u.KeyUp(XK_w);
    const Picture forward = u.LookAt(view);
    u.KeyDown(XK_s);
    u.HoldOn(2.0);
    u.KeyUp(XK_s);
    const Picture backward = u.LookAt(view);
    u.MoveTo(flyX, flyY);
    u.Release(Button3);
    std::printf("  turning changed %.1f %% of the scene, flying forward %.1f %%, back %.1f %%\n",
                100.0 * ShareChanged(beforeFlight, turned), 100.0 * ShareChanged(turned, forward),
                100.0 * ShareChanged(forward, backward));
    Expect(ShareChanged(beforeFlight, turned) > 0.05, "the view to turn with the mouse");
    Expect(ShareChanged(turned, forward) > 0.02, "the view to change while flying forward");
    Expect(ShareChanged(forward, backward) > 0.02, "the view to change while flying back");
    const double groundAgain = 1.0 - ShareOfColor(u.LookAt(view), kSky, 8);
    std::printf("  turned back, %.0f %% of the scene is not sky\n", 100.0 * groundAgain);
    Expect(groundAgain > 0.05, "the terrain in view again");

    Step("Sculpt: the switch on, the left button held over the terrain raises it; Ctrl+Z and Ctrl+Y");
    {
        // The status line's height range: the highest point grows under a broad raise, and comes back
        // exactly with undo.
        const auto heights = [](const std::string& line)
        {
            const size_t from = line.find("heights ");
            return line.substr(from, line.find(" |", from) - from);
        };
        const auto range = [&] { return heights(u.WaitForTextStarting("hills 33 x 33 |").label); };
        const auto highest = [](const std::string& heights)
        { return std::stof(heights.substr(heights.find(" to ") + 4)); };
        u.Menu({"Scene", "Frame terrain"}, scene); // the picture's centre on the terrain's
        u.Click("Sculpt", scene);
        u.WaitForItem("Strength", scene);
        u.TypeIntoDragField("Radius", "30", scene);
        u.TypeIntoDragField("Strength", "1", scene);
        const std::string before = range();
        const auto [x, y] = u.UncoveredPoint(u.WaitForImage(scene, 0).rect, scene);
        u.MoveTo(x, y);
        u.Press(Button1);
        u.WaitForMap("the terrain to rise under the brush",
                     [&](const WidgetMapFile& m)
                     {
                         const MapEntry* line = FindIn(m, "text", "hills 33 x 33 |", "", true);
                         return line != nullptr && highest(heights(line->label)) > highest(before) + 2.0f;
                     });
        u.Release(Button1);
        u.Settle(3); // the stroke ends: its range is settled
        const std::string raised = range();
        std::printf("  %s before the stroke, %s after it\n", before.c_str(), raised.c_str());
        u.Ctrl(XK_z);
        u.WaitForTextStarting("hills 33 x 33 | 1,089 vertices | " + before);
        u.Ctrl(XK_y);
        u.WaitForTextStarting("hills 33 x 33 | 1,089 vertices | " + raised);
        u.Click("Sculpt", scene); // off again: clicks on the picture are the camera's
        u.WaitForGone("item", "Strength", scene);
    }

    Step("File > Save > Terrain with every image as PNG");
    u.Menu({"File", "Save", "Terrain##s"});
    u.WaitForWindow("Save Terrain");
    u.Choose("##texextensioncombo", ".png", "Save Terrain");
    u.WaitForItem("Save water mesh to OBJ?", "Save Terrain");
    u.ClickToClose("Save##sf", "Save Terrain");
    u.WaitForTextStarting("Saved hills.obj, hills_water.obj, hills_heightmap.png", "##MainMenuBar");
    u.WaitForFile(Output("hills_diffuse.png"));

    Step("File > Open > Terrain: load the saved OBJ back");
    u.Menu({"File", "Open", "Terrain##o"});
    u.WaitForWindow("Load Terrain");
    u.TypeInto("##loadterName", "output/hills.obj", "Load Terrain");
    u.ClickToClose("Load .obj", "Load Terrain");
    u.WaitForItem("Terrain##hills_2", generator); // a second terrain of that name gets a number
    Expect(1.0 - ShareOfColor(u.LookAt(view), kSky, 8) > 0.05, "the loaded terrain to show in the scene");

    Step("File > Save Project As...: the session as output/hills");
    u.WaitForTitle("Untitled* - Velmoran");
    u.Menu({"File", "Save Project As..."});
    const std::string saveAs = "Save Project As##project";
    u.WaitForWindow(saveAs);
    u.TypeInto("##projectsavepath", "output/hills", saveAs); // the extension is added
    u.ClickToClose("Save##saveas", saveAs);
    u.WaitForTitle("hills - Velmoran");
    const fs::path projectFile = Output("hills.velmoran");
    u.WaitForFile(projectFile);
    const std::string savedProject = ReadFile(projectFile);
    const std::string recentList = ReadFile(folder.Path() / "recent_projects.txt");
    const std::string recent = recentList.substr(0, recentList.find('\n'));
    std::error_code noSuchFile;
    Expect(fs::equivalent(recent, projectFile, noSuchFile),
           "the recent projects to list the project first, not \"" + recent + "\"");

    // The generator shows the loaded terrain, which has no layers of its own yet.
    Step("Add a noise layer to the loaded terrain: the title marks the unsaved change");
    u.WaitForItem("Terrain##hills_2", generator);
    Expect(!FindIn(u.Current(), "item", "Heightmap_0", generator), "no layer on the loaded terrain yet");
    addNoiseLayer();
    u.WaitForItem("Heightmap_0", generator);
    u.WaitForTitle("hills* - Velmoran");

    Step("File > Open Recent > the project, answered with Don't save: the saved session is back");
    const std::string question = "Unsaved changes##project";
    u.Menu({"File", "Open Recent", recent});
    u.WaitForWindow(question);
    u.WaitForText("Save changes to hills?", question);
    u.ClickToClose("Don't save##unsaved", question);
    u.WaitForTitle("hills - Velmoran");
    u.WaitForLogLine("Opening project " + recent);
    u.WaitForItem("Terrain##hills_2", generator);
    u.WaitForGone("item", "Heightmap_0", generator);
    const MapEntry reopened = u.WaitForImage(scene, 0);
    Expect(1.0 - ShareOfColor(u.LookAt(reopened), kSky, 8) > 0.05,
           "the reopened terrain to show in the scene");
    Expect(ReadFile(projectFile) == savedProject, "the project file as it was saved");

    Step("File > Export: the terrain as glTF binary, 16-bit PNG and raw 16-bit heights");
    u.Menu({"File", "Export"});
    const std::string exporter = "Export Terrain";
    u.WaitForWindow(exporter);
    u.Click("Raw 16-bit heights, little-endian (.r16)##ex", exporter); // glb and png16 are ticked already
    u.ClickToClose("Export##ex", exporter);
    for (const char* name : {"hills.glb", "hills_height.png", "hills_height.png.json", "hills_height.r16"})
        u.WaitForFile(Output(name));

    Step("Add a noise layer, then close the window: the program asks, and Cancel keeps it open");
    addNoiseLayer();
    u.WaitForTitle("hills* - Velmoran");
    u.CloseWindowAsAWindowManagerWould();
    u.WaitForWindow(question);
    u.WaitForText("Save changes to hills?", question);
    u.ClickToClose("Cancel##unsaved", question);
    Expect(1.0 - ShareOfColor(u.LookAt(u.WaitForImage(scene, 0)), kSky, 8) > 0.05,
           "the terrain still in the scene after Cancel"); // looked at a few frames after Cancel
    Expect(program->Running(), "the program to go on after Cancel");
    Expect(u.Title() == "hills* - Velmoran",
           "the change still unsaved after Cancel, not \"" + u.Title() + "\"");

    Step("Close the window again and answer Don't save: the program ends with status 0");
    u.CloseWindowAsAWindowManagerWould();
    u.WaitForWindow(question);
    u.ClickToEnd("Don't save##unsaved", question);
    u.WaitUntil(
        "the program to end", [&] { return !program->Running(); }, kWaitSeconds, false);
    Expect(program->ExitedWithZero(), "exit status 0, not " + program->Ending());
    Expect(ReadFile(projectFile) == savedProject, "the project file untouched by Don't save");
    const std::string log = program->Log();
    Expect(log.find("Shutting down app.") != std::string::npos, "the log to show the editor shutting down");
    Expect(log.find("GL error") == std::string::npos, "no GL error in the log");
    Expect(log.find(" - error]") == std::string::npos, "no error in the log");
    Step("Done");
}
} // namespace
