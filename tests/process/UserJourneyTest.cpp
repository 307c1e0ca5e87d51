// A user's whole run through the real program on an X server of its own, driven only by X input
// (XTest) and checked by what it shows (pixels, title, the widget map it publishes after each frame),
// the files it writes and its log. A failure keeps a screenshot, the log and the last widget map.
#include "engine/WidgetMap.h"
#include "tests/support/TestCommon.h"
#include "tests/support/WidgetMapFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stb_image_write.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>

// Last: Xlib's macros (None, Bool, Status, ...) would break the C++ headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

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

// Xlib's own handler ends the process on any error; a wake-up sent to a window that just ended is none.
int (*xlibErrorHandler)(Display*, XErrorEvent*) = nullptr;
int IgnoreGoneWindows(Display* display, XErrorEvent* error)
{
    return error->error_code == BadWindow ? 0 : xlibErrorHandler(display, error);
}

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
        if (!Running()) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    bool Running()
    {
        if (!exited) exited = waitpid(pid, &exitStatus, WNOHANG) == pid;
        return !exited;
    }

    // How it ended, for messages.
    std::string Ending() const
    {
        if (!exited) return "still running";
        if (WIFEXITED(exitStatus)) return "exit status " + std::to_string(WEXITSTATUS(exitStatus));
        return "killed by signal " + std::to_string(WTERMSIG(exitStatus));
    }

    std::string Log() const { return ReadFile(logPath); }

    const fs::path logPath;
    pid_t pid = -1;

  private:
    bool exited = false;
    int exitStatus = 0;
};

// An Xvfb of the test's own (other tests' windows could take the focus or the clicks); -displayfd
// lets it pick a free display number without a race. Gives the display's name.
std::string StartXServer(std::unique_ptr<Child>& server, const fs::path& logPath)
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
    std::string number;
    char c = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (poll(&ready, 1, int(kWaitSeconds * 1000)) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (c != '\n') Fail("Xvfb did not start (is the xvfb package installed?): " + ReadFile(logPath));
    return ":" + number;
}

// What the user sees

// Pixels read back from the screen; those of windows drawn over the looked-at one are marked covered.
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> covered;
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
    for (size_t i = 0; i < a.covered.size(); ++i)
        if (!a.covered[i] && !b.covered[i])
        {
            ++shown;
            counted += counts(&a.rgb[3 * i], &b.rgb[3 * i]);
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

// A name pattern: empty for any, a trailing '*' for a prefix ("##Menu_*").
bool Matches(const std::string& pattern, const std::string& name)
{
    if (pattern.empty() || pattern == name) return true;
    return pattern.back() == '*' && name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
}

// The first entry of the kind ("window" for the windows) whose label and window match the patterns.
const MapEntry* FindIn(const WidgetMapFile& map, const std::string& kind, const std::string& label,
                       const std::string& window = "")
{
    for (const MapEntry& entry : kind == "window" ? map.windows : map.entries)
        if (entry.kind == kind && Matches(window, entry.window) && Matches(label, entry.label)) return &entry;
    return nullptr;
}

// The journey: the fixture holds the X server, the program, and the user's hands and eyes

class UserJourneyTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        // The program's working folder, as the build lays it out: shaders/, icon.png, output/.
        const fs::path work(VELMORAN_WORKDIR);
        fs::copy(work / "shaders", folder.Path() / "shaders", fs::copy_options::recursive);
        fs::copy_file(work / "icon.png", folder.Path() / "icon.png");
        fs::create_directory(folder.Path() / "output");

        const std::string displayName = StartXServer(server, folder.Path() / "xvfb.log");
        display = XOpenDisplay(displayName.c_str());
        if (xlibErrorHandler == nullptr) xlibErrorHandler = XSetErrorHandler(IgnoreGoneWindows);
        ASSERT_NE(display, nullptr) << "cannot open the test's X server " << displayName;
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor))
            << "the X server lacks XTest";
        // The map is rewritten after every frame by the program's file writer, which syncs it to disk:
        // a folder in memory keeps that cheap where the system has one.
        const fs::path memory("/dev/shm");
        mapPath = fs::is_directory(memory)
                      ? memory / ("velmoran-journey-" + std::to_string(getpid()) + ".txt")
                      : folder.Path() / "widgets.txt";
        program = std::make_unique<Child>(folder.Path() / "velmoran.log",
                                          [&]
                                          {
                                              if (chdir(folder.Path().c_str()) != 0) return;
                                              setenv("DISPLAY", displayName.c_str(), 1);
                                              setenv(WidgetMap::kEnvironmentVariable, mapPath.c_str(), 1);
                                              execl(VELMORAN_PROGRAM, VELMORAN_PROGRAM,
                                                    static_cast<char*>(nullptr));
                                          });
        start = Clock::now();
    }

    void TearDown() override
    {
        if (HasFailure() && display != nullptr && program)
        {
            // What the user saw, the widgets and what the program said, kept beside the test program.
            const fs::path keep(VELMORAN_JOURNEY_KEEP_DIR);
            const Picture screen = Grab(DefaultRootWindow(display), 0, 0, kScreenWidth, kScreenHeight);
            stbi_write_png((keep / "UserJourneyTest-failure-screen.png").c_str(), screen.width, screen.height,
                           3, screen.rgb.data(), screen.width * 3);
            std::ofstream(keep / "UserJourneyTest-failure-widgets.txt") << last.Describe() << "\n";
            fs::copy_file(program->logPath, keep / "UserJourneyTest-failure-velmoran.log",
                          fs::copy_options::overwrite_existing);
            ADD_FAILURE() << "Failed in the step \"" << step << "\" after " << SecondsSince(start)
                          << " s; the screen, the widget map and the log are kept in " << keep;
        }
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
        std::printf("[journey %6.1f s, frame %5d] %s\n", SecondsSince(start), std::max(last.frame, 0),
                    name.c_str());
        std::fflush(stdout);
    }

    void Expect(bool condition, const std::string& what)
    {
        if (!condition) Fail("Expected " + what);
    }

    // A share of a picture that must pass a bound; it shows in the test's output, to tune the bounds by.
    void ExpectShare(double share, double over, const std::string& what)
    {
        std::printf("  %s: %.1f %%\n", what.c_str(), 100.0 * share);
        Expect(share > over, what);
    }

    fs::path Output(const std::string& name) const { return folder.Path() / "output" / name; }

    // Polls until ready says yes; fails after the time given, or at once when the program has ended
    // (unless the wait is for its end). An idle program sleeps until input comes: an event that means
    // nothing to it wakes it for a frame (every 50 ms at most), so a wait lasts about the frames it needs.
    void WaitUntil(const std::string& what, const std::function<bool()>& ready, double seconds = kWaitSeconds,
                   bool whileRunning = true)
    {
        const Clock::time_point began = Clock::now();
        while (!ready())
        {
            if (whileRunning && !program->Running())
                Fail("The program ended (" + program->Ending() + ") while the user waited for " + what);
            if (SecondsSince(began) > seconds) // the kept widget map shows what was there instead
                Fail("Waited " + std::to_string(int(seconds)) + " s for " + what);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            if (programWindow == 0 || SecondsSince(lastWake) < 0.05 || !program->Running()) continue;
            SendClientMessage("VELMORAN_JOURNEY_WAKE");
            lastWake = Clock::now();
        }
    }

    // A message to the program's window, as a window manager sends them.
    void SendClientMessage(const char* type, long data = 0)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = programWindow;
        event.xclient.message_type = XInternAtom(display, type, False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = data;
        XSendEvent(display, programWindow, False, NoEventMask, &event);
        XSync(display, False);
    }

    const WidgetMapFile& WaitForMap(const std::string& what,
                                    const std::function<bool(const WidgetMapFile&)>& ready,
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

    const WidgetMapFile& Current()
    {
        return WaitForMap("a widget map", [](const WidgetMapFile&) { return true; });
    }

    MapEntry WaitFor(const std::string& kind, const std::string& label, const std::string& window = "")
    {
        const MapEntry* found = nullptr;
        WaitForMap(kind + " \"" + label + "\" in \"" + window + "\"", [&](const WidgetMapFile& m)
                   { return (found = FindIn(m, kind, label, window)) != nullptr; });
        return *found;
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
        std::optional<MapRect> seen;
        for (int seenFrame = -1;;)
        {
            const WidgetMapFile& map =
                WaitForMap("the window \"" + name + "\" to stay in place", [&](const WidgetMapFile& m)
                           { return m.frame > seenFrame && FindIn(m, "window", name) != nullptr; });
            const MapEntry now = *FindIn(map, "window", name);
            if (seen && std::tie(seen->x0, seen->y0, seen->x1, seen->y1) ==
                            std::tie(now.rect.x0, now.rect.y0, now.rect.x1, now.rect.y1))
                return now;
            seen = now.rect;
            seenFrame = map.frame;
        }
    }

    // Frames drawn after everything sent so far (the input is handled by the last map's frame + 2).
    void Settle(int frames = 2)
    {
        XSync(display, False);
        inputFrame = Current().frame;
        WaitForMap("the program to draw " + std::to_string(frames) + " frames",
                   [&](const WidgetMapFile& m) { return m.frame >= inputFrame + frames; });
    }

    // The title the program gave its window, as a window manager reads it (WM_NAME).
    std::string Title()
    {
        char* name = nullptr;
        const std::string title = XFetchName(display, programWindow, &name) && name != nullptr ? name : "";
        if (name != nullptr) XFree(name);
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
        const int x0 = std::max(0, int(std::ceil(entry.rect.x0)));
        const int y0 = std::max(0, int(std::ceil(entry.rect.y0)));
        const int x1 = std::min(kScreenWidth, int(std::floor(entry.rect.x1)));
        const int y1 = std::min(kScreenHeight, int(std::floor(entry.rect.y1)));
        if (x1 <= x0 || y1 <= y0) Fail("Nothing to look at in \"" + entry.window + "\"");
        Picture picture = Grab(programWindow, x0, y0, x1 - x0, y1 - y0);
        for (const MapEntry& above : last.WindowsAbove(entry.window))
            for (int y = 0; y < picture.height; ++y)
                for (int x = 0; x < picture.width; ++x)
                    if (above.rect.Contains(float(x0 + x) + 0.5f, float(y0 + y) + 0.5f))
                        picture.covered[size_t(y) * picture.width + x] = 1;
        return picture;
    }

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

    void Click(float x, float y)
    {
        MoveTo(x, y);
        Press(Button1);
        Release(Button1);
    }

    void Click(const MapEntry& entry) { Click(entry.rect.CenterX(), entry.rect.CenterY()); }

    // A widget another window hides is first brought out by a click on a bare part of its window. The
    // window the click opens, when one is named, is waited for.
    void Click(const std::string& label, const std::string& window, const std::string& opens = "")
    {
        MapEntry entry = WaitFor("item", label, window);
        if (Hidden(entry))
        {
            BringToFront(entry.window);
            entry = WaitFor("item", label, window);
        }
        Click(entry);
        if (!opens.empty()) WaitForWindow(opens);
    }

    void ClickToClose(const std::string& label, const std::string& window)
    {
        Click(label, window);
        WaitForGone("window", window);
    }

    // A click that ends the program: nothing waits for the frames after the release.
    void ClickToEnd(const std::string& label, const std::string& window)
    {
        MoveTo(WaitFor("item", label, window));
        Press(Button1);
        XTestFakeButtonEvent(display, Button1, False, CurrentTime);
        XSync(display, False);
    }

    // A drag field typed into: a click with Ctrl held makes it a text field; its value is replaced.
    void TypeIntoDragField(const std::string& label, const std::string& text, const std::string& window)
    {
        const MapEntry field = WaitFor("item", label, window);
        MoveTo(field);
        KeyDown(XK_Control_L);
        Click(field);
        KeyUp(XK_Control_L);
        Ctrl(XK_a);
        Type(text);
        HoldKey(XK_Return);
    }

    void KeyDown(KeySym key, int frames = 2)
    {
        XTestFakeKeyEvent(display, Code(key), True, CurrentTime);
        Settle(frames);
    }

    void KeyUp(KeySym key)
    {
        XTestFakeKeyEvent(display, Code(key), False, CurrentTime);
        Settle();
    }

    // Keeps a key held for a while (the program draws frames while input is held).
    void HoldFor(KeySym key, double seconds)
    {
        KeyDown(key);
        const Clock::time_point start = Clock::now();
        while (SecondsSince(start) < seconds)
            Settle(1);
        KeyUp(key);
    }

    // The dialogs read Enter and Escape as held, frame by frame.
    void HoldKey(KeySym key, int frames = 3)
    {
        KeyDown(key, frames);
        KeyUp(key);
    }

    // Types text that needs no Shift on the server's keyboard: lower case, digits, '.' and '/'.
    void Type(const std::string& text)
    {
        for (const char c : text)
        {
            XTestFakeKeyEvent(display, Code(KeySym(c)), True, CurrentTime);
            XTestFakeKeyEvent(display, Code(KeySym(c)), False, CurrentTime);
        }
        Settle();
    }

    void Ctrl(KeySym key)
    {
        KeyDown(XK_Control_L);
        HoldKey(key, 2);
        KeyUp(XK_Control_L);
    }

    void TypeInto(const std::string& field, const std::string& text, const std::string& window)
    {
        Click(field, window);
        Ctrl(XK_a);
        Type(text);
    }

    // A menu path from the menu bar of the window given; submenus open under the pointer. The window the
    // last entry opens, when one is named, is waited for.
    void Menu(std::initializer_list<std::string> path, const std::string& opens = "",
              const std::string& window = "##MainMenuBar")
    {
        auto entry = path.begin();
        Click(*entry, window);
        for (++entry; entry != path.end(); ++entry)
        {
            const MapEntry item = WaitFor("item", *entry, "##Menu_*");
            if (std::next(entry) == path.end())
                Click(item);
            else
                MoveTo(item);
        }
        if (!opens.empty()) WaitForWindow(opens);
    }

    void Choose(const std::string& combo, const std::string& choice, const std::string& window)
    {
        Click(combo, window);
        Click(choice, "##Combo_*");
        WaitForGone("window", "##Combo_*");
    }

    // A click on the bare background (behind every window but the dock host): closes open menus, takes
    // nothing else.
    void ClickBackground()
    {
        std::vector<MapEntry> windows;
        for (const MapEntry& w : Current().windows)
            if (w.window != "Invisible Window") windows.push_back(w);
        ClickFree({10.0f, 40.0f, float(kScreenWidth), float(kScreenHeight)}, 40.0f, windows,
                  "the background");
    }

    // Whether a window drawn over the entry's covers its centre.
    bool Hidden(const MapEntry& entry)
    {
        for (const MapEntry& above : Current().WindowsAbove(entry.window))
            if (above.rect.Contains(entry.rect.CenterX(), entry.rect.CenterY())) return true;
        return false;
    }

    const MapEntry& Uncovered(const MapEntry& entry)
    {
        if (Hidden(entry)) Fail("The middle of \"" + entry.window + "\" is covered by another window");
        return entry;
    }

    // Closes the program's window as a window manager would; the program asks the question named.
    void CloseWindowAsAWindowManagerWould(const std::string& question)
    {
        SendClientMessage("WM_PROTOCOLS", long(XInternAtom(display, "WM_DELETE_WINDOW", False)));
        WaitForWindow(question);
    }

    KeyCode Code(KeySym key)
    {
        const KeyCode code = XKeysymToKeycode(display, key);
        if (code == 0) Fail("No key of the keyboard gives the key symbol " + std::to_string(key));
        return code;
    }

    // A click on the first point of a grid over the area that none of the entries covers.
    void ClickFree(const MapRect& area, float step, const std::vector<MapEntry>& taken,
                   const std::string& what)
    {
        for (float y = area.y0; y < area.y1; y += step)
            for (float x = area.x0; x < area.x1; x += step)
                if (std::none_of(taken.begin(), taken.end(),
                                 [&](const MapEntry& e) { return e.rect.Contains(x, y); }))
                    return Click(x, y);
        Fail("No bare part of " + what + " left to click");
    }

    // A click on a bare part of the window (its title bar, or else its background).
    void BringToFront(const std::string& window)
    {
        const MapRect frame = WaitForWindow(window).rect;
        std::vector<MapEntry> taken = last.WindowsAbove(window);
        const size_t windowsAbove = taken.size();
        for (const MapEntry& e : last.entries)
            if (e.kind == "item" && e.window == window) taken.push_back(e);
        ClickFree({frame.x0 + 8.0f, frame.y0 + 8.0f, frame.x1 - 24.0f, frame.y1 - 4.0f}, 12.0f, taken,
                  "\"" + window + "\"");
        WaitForMap("the window \"" + window + "\" in front",
                   [&](const WidgetMapFile& m) { return m.WindowsAbove(window).size() < windowsAbove; });
    }

    // The program's top-level window, the only one shown on the test's own server; it gets the focus.
    void FindProgramWindow()
    {
        WaitUntil(
            "the program's window",
            [&]
            {
                Window root = 0, parent = 0, *children = nullptr;
                unsigned count = 0;
                XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
                for (unsigned i = 0; i < count && programWindow == 0; ++i)
                {
                    XWindowAttributes attributes{};
                    if (XGetWindowAttributes(display, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        programWindow = children[i];
                }
                if (children != nullptr) XFree(children);
                return programWindow != 0;
            },
            kStartSeconds);
        Window child = 0;
        XTranslateCoordinates(display, programWindow, DefaultRootWindow(display), 0, 0, &originX, &originY,
                              &child);
        XRaiseWindow(display, programWindow);
        XSetInputFocus(display, programWindow, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    }

    Picture Grab(Window window, int x, int y, int width, int height)
    {
        XImage* image =
            XGetImage(display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (image == nullptr) Fail("The X server gave no pixels");
        Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 3),
                        std::vector<uint8_t>(size_t(width) * height, 0)};
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

    testsupport::TempDir folder;
    fs::path mapPath;
    std::unique_ptr<Child> server;
    Display* display = nullptr;
    std::unique_ptr<Child> program;
    WidgetMapFile last;
    Window programWindow = 0;
    int originX = 0;
    int originY = 0;
    int pointerX = -1;
    int pointerY = -1;
    int inputFrame = 0; // the frame of the map read right after the last input was sent
    Clock::time_point lastWake;
    Clock::time_point start;
    std::string step = "start the program";
};

// The scene's sky, the colour its framebuffer is cleared to.
constexpr uint8_t kSky[3] = {133, 204, 235};
constexpr uint8_t kBlue[3] = {0, 0, 255};

double ShareNotSky(const Picture& scene)
{
    return 1.0 - ShareOfColor(scene, kSky, 8);
}

TEST_F(UserJourneyTest, AUserMakesShapesPaintsWatersFliesSavesReloadsKeepsAProjectAndExports)
{
    Step("Start the program and wait for its menu bar");
    FindProgramWindow();
    WaitForMap(
        "the first frame", [](const WidgetMapFile& m) { return m.Window("##MainMenuBar"); }, kStartSeconds);

    Step("File > New > Terrain: a diamond-square terrain named hills, 33 x 33");
    Menu({"File", "New", "Terrain"}, "New Terrain");
    TypeInto("##newterName", "hills", "New Terrain");
    Choose("Terrain", "Diamond-Square algorithm", "New Terrain");
    WaitFor("item", "Diamond-square roughness", "New Terrain");
    Click("-##w", "New Terrain"); // 65 -> 33, seen in the status line when sculpting
    ClickToClose("Create", "New Terrain");

    Step("Confirm the scene in its Create dialog with Enter");
    WaitForWindow("Create Scene 0");
    WaitFor("item", "Create##ms2", "Create Scene 0");
    HoldKey(XK_Return);
    WaitForGone("window", "Create Scene 0");
    const std::string scene = "Scene 0";
    const MapEntry view = WaitFor("image", "0", scene);

    Step("The scene shows the terrain");
    ExpectShare(ShareNotSky(LookAt(view)), 0.05, "the terrain to cover at least 5 % of the scene");

    Step("Open the terrain generator from the scene's Window menu and make it taller");
    const std::string generator = "Scene 0 terrain generator";
    Menu({"Window", "View terrain generator"}, generator, scene);
    ClickBackground();
    const MapRect frame = WaitForWindow(generator).rect;
    MoveTo(frame.x1 - 4.0f, frame.y1 - 4.0f); // its corner, dragged down in four moves
    Press(Button1);
    for (int move = 1; move <= 4; ++move)
        MoveTo(frame.x1 - 4.0f,
               frame.y1 - 4.0f + (float(kScreenHeight) - 36.0f - frame.y1) * float(move) / 4.0f);
    Release(Button1);
    Expect(WaitForWindow(generator).rect.Height() > frame.Height() + 200.0f, "the generator to grow");

    Step("Add a noise layer and name it with Set");
    const auto addNoiseLayer = [&]
    {
        Click("Add a heightmap", generator, "New heightmap name");
        ClickToClose("Set##nhmp", "New heightmap name");
        WaitFor("item", "Heightmap_0", generator);
    };
    addNoiseLayer();
    const MapEntry preview = WaitFor("image", "0", generator);
    const Picture perlin = LookAt(preview);

    Step("Change its noise type to Cellular, then Update mesh");
    const Picture sceneBefore = LookAt(view);
    Choose("Noise type", "Cellular", generator);
    const Picture cellular = LookAt(preview);
    Expect(ShareChanged(perlin, cellular) > 0.2, "the preview to change with the noise type");
    Click("Update mesh", generator);
    ExpectShare(ShareChanged(sceneBefore, LookAt(view)), 0.01, "Update mesh to change the scene");

    Step("Undo and Redo the noise type");
    Click("Undo", generator);
    Expect(ShareChanged(perlin, LookAt(preview)) < 0.01, "Undo to bring the Perlin preview back");
    Click("Redo", generator);
    Expect(ShareChanged(cellular, LookAt(preview)) < 0.01, "Redo to bring the Cellular preview back");

    Step("Generate a diffuse map from two colour bands, the upper one blue");
    Click("Textures##hills", generator);
    const std::string diffuseEditor = "Diffuse texture editor##hills";
    Click("Generate diffuse map", generator, diffuseEditor);
    Click("Add gradient", diffuseEditor);
    Click("Add gradient", diffuseEditor);
    MoveTo(WaitFor("item", "##hgrad1", diffuseEditor)); // hovering a band selects it
    WaitFor("text", "Color picker", diffuseEditor);
    TypeIntoDragField("##X", "0", diffuseEditor); // its red component
    Expect(ShareOfColor(LookAt(WaitFor("item", "##hgrad1", diffuseEditor)), kBlue, 40) > 0.5,
           "the second band to show blue");
    Click("Generate diffuse texture##Edit", diffuseEditor);
    WaitFor("text", "Diffuse texture", generator);

    Step("Pour water by clicking the water picture, then Recalculate");
    Click("Water##hills", generator, "Water editor");
    const MapEntry water = WaitFor("image", "1", "Water editor");
    const Picture dry = LookAt(water);
    Click(water);
    Expect(ShareChanged(dry, LookAt(water)) > 0.005, "the poured water to show in the picture");
    Click("Recalculate##watermap", "Water editor");
    WaitUntil("the new water height in the log",
              [&] { return program->Log().find("Setting waterplane height to") != std::string::npos; });

    // The camera starts under the terrain's surface, looking along its edge: the user turns
    // towards the middle and up, flies forward and back, and turns back.
    Step("Fly: the right button held over the scene, the mouse moved, W and then S held");
    const Picture beforeFlight = LookAt(view);
    const float flyX = Uncovered(view).rect.CenterX(), flyY = view.rect.CenterY();
    MoveTo(flyX, flyY);
    Press(Button3);
    MoveTo(flyX - 45.0f, flyY - 30.0f); // a degree of turn per pixel
    const Picture turned = LookAt(view);
    // At the camera's speed of 1, two units forward and back: the program draws every frame while a
    // key is held, so the flight lasts the time held, and on a low random terrain one unit can change
    // too little of the picture to tell.
    HoldFor(XK_w, 2.0);
    const Picture forward = LookAt(view);
    HoldFor(XK_s, 2.0);
    const Picture backward = LookAt(view);
    MoveTo(flyX, flyY);
    Release(Button3);
    ExpectShare(ShareChanged(beforeFlight, turned), 0.05, "the view to turn with the mouse");
    ExpectShare(ShareChanged(turned, forward), 0.02, "the view to change while flying forward");
    ExpectShare(ShareChanged(forward, backward), 0.02, "the view to change while flying back");
    ExpectShare(ShareNotSky(LookAt(view)), 0.05, "the terrain in view again");

    Step("Sculpt: the switch on, the left button held over the terrain raises it; Ctrl+Z and Ctrl+Y");
    {
        // The status line's height range: the highest point grows under a broad raise, and comes back
        // exactly with undo.
        const auto heights = [](const std::string& line)
        {
            const size_t from = line.find("heights ");
            return line.substr(from, line.find(" |", from) - from);
        };
        const auto range = [&] { return heights(WaitFor("text", "hills 33 x 33 |*").label); };
        const auto highest = [](const std::string& heights)
        { return std::stof(heights.substr(heights.find(" to ") + 4)); };
        Menu({"Scene", "Frame terrain"}, "", scene); // the picture's centre on the terrain's
        Click("Sculpt", scene);
        TypeIntoDragField("Radius", "30", scene);
        TypeIntoDragField("Strength", "1", scene);
        const std::string before = range();
        MoveTo(Uncovered(WaitFor("image", "0", scene)));
        Press(Button1);
        WaitForMap("the terrain to rise under the brush",
                   [&](const WidgetMapFile& m)
                   {
                       const MapEntry* line = FindIn(m, "text", "hills 33 x 33 |*");
                       return line != nullptr && highest(heights(line->label)) > highest(before) + 2.0f;
                   });
        Release(Button1);
        Settle(3); // the stroke ends: its range is settled
        const std::string raised = range();
        std::printf("  %s before the stroke, %s after it\n", before.c_str(), raised.c_str());
        Ctrl(XK_z);
        WaitFor("text", "hills 33 x 33 | 1,089 vertices | " + before + "*");
        Ctrl(XK_y);
        WaitFor("text", "hills 33 x 33 | 1,089 vertices | " + raised + "*");
        Click("Sculpt", scene); // off again: clicks on the picture are the camera's
        WaitForGone("item", "Strength", scene);
    }

    Step("File > Save > Terrain with every image as PNG");
    Menu({"File", "Save", "Terrain##s"}, "Save Terrain");
    Choose("##texextensioncombo", ".png", "Save Terrain");
    WaitFor("item", "Save water mesh to OBJ?", "Save Terrain");
    ClickToClose("Save##sf", "Save Terrain");
    WaitForFile(Output("hills_diffuse.png"));

    Step("File > Open > Terrain: load the saved OBJ back");
    Menu({"File", "Open", "Terrain##o"}, "Load Terrain");
    TypeInto("##loadterName", "output/hills.obj", "Load Terrain");
    ClickToClose("Load .obj", "Load Terrain");
    WaitFor("item", "Terrain##hills_2", generator); // a second terrain of that name gets a number
    Expect(ShareNotSky(LookAt(view)) > 0.05, "the loaded terrain to show in the scene");

    Step("File > Save Project As...: the session as output/hills");
    const std::string saveAs = "Save Project As##project";
    Menu({"File", "Save Project As..."}, saveAs);
    TypeInto("##projectsavepath", "output/hills", saveAs); // the extension is added
    ClickToClose("Save##saveas", saveAs);
    WaitForTitle("hills - Velmoran");
    const fs::path projectFile = Output("hills.velmoran");
    WaitForFile(projectFile);
    const std::string savedProject = ReadFile(projectFile);
    const std::string recentList = ReadFile(folder.Path() / "recent_projects.txt");
    const std::string recent = recentList.substr(0, recentList.find('\n'));

    // The generator shows the loaded terrain, which has no layers of its own yet.
    Step("Add a noise layer to the loaded terrain: the title marks the unsaved change");
    Expect(!FindIn(Current(), "item", "Heightmap_0", generator), "no layer on the loaded terrain yet");
    addNoiseLayer();
    WaitForTitle("hills* - Velmoran");

    Step("File > Open Recent > the project, answered with Don't save: the saved session is back");
    const std::string question = "Unsaved changes##project";
    Menu({"File", "Open Recent", recent}, question);
    ClickToClose("Don't save##unsaved", question);
    WaitForTitle("hills - Velmoran");
    WaitFor("item", "Terrain##hills_2", generator);
    WaitForGone("item", "Heightmap_0", generator);

    Step("File > Export: the terrain as glTF binary, 16-bit PNG and raw 16-bit heights");
    const std::string exporter = "Export Terrain";
    Menu({"File", "Export"}, exporter);
    Click("Raw 16-bit heights, little-endian (.r16)##ex", exporter); // glb and png16 are ticked already
    ClickToClose("Export##ex", exporter);
    for (const char* name : {"hills.glb", "hills_height.png", "hills_height.png.json", "hills_height.r16"})
        WaitForFile(Output(name));

    Step("Add a noise layer, then close the window: the program asks, and Cancel keeps it open");
    addNoiseLayer();
    WaitForTitle("hills* - Velmoran");
    CloseWindowAsAWindowManagerWould(question);
    ClickToClose("Cancel##unsaved", question);
    Expect(ShareNotSky(LookAt(WaitFor("image", "0", scene))) > 0.05,
           "the terrain still in the scene after Cancel"); // looked at a few frames after Cancel
    WaitForTitle("hills* - Velmoran");                     // the change still unsaved

    Step("Close the window again and answer Don't save: the program ends with status 0");
    CloseWindowAsAWindowManagerWould(question);
    ClickToEnd("Don't save##unsaved", question);
    WaitUntil(
        "the program to end", [&] { return !program->Running(); }, kWaitSeconds, false);
    Expect(program->Ending() == "exit status 0", "exit status 0, not " + program->Ending());
    Expect(ReadFile(projectFile) == savedProject, "the project file untouched by Don't save");
    const std::string log = program->Log();
    Expect(log.find("GL error") == std::string::npos, "no GL error in the log");
    Expect(log.find(" - error]") == std::string::npos, "no error in the log");
    Step("Done");
}
} // namespace
