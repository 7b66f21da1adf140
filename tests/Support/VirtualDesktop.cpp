#include "VirtualDesktop.h"

#include "Foundation/ChildProcess.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

bool onPath(const std::string& program) {
    return ChildProcess::run("sh", {"-c", "command -v " + program}, 5).succeeded();
}

// Whether someone owns the selection (the window manager's WM_S0, the tray's _NET_SYSTEM_TRAY_S0) on
// the display in $DISPLAY.
bool selectionOwned(const char* name) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Atom selection = XInternAtom(display, name, False);
    const bool owned = XGetSelectionOwner(display, selection) != None;
    XCloseDisplay(display);
    return owned;
}

// A loaded machine can take several seconds to start a window manager.
constexpr auto startLimit = 45s;

// Empty once the selection is owned; else why not: the owner ended, or the time ran out.
std::string waitForSelection(const char* name, pid_t owner) {
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    while (!selectionOwned(name)) {
        int status = 0;
        if (::waitpid(owner, &status, WNOHANG) == owner)
            return "it ended (status " + std::to_string(status) + ")";
        if (std::chrono::steady_clock::now() > deadline)
            return "it did not within 45 s";
        std::this_thread::sleep_for(20ms);
    }
    return {};
}

} // namespace

std::string VirtualDesktop::missingTools(WindowManager manager) {
    std::string missing = VirtualDisplay::missingTools();
    for (const char* tool : {manager == WindowManager::openbox ? "openbox" : "xfwm4", "trayer", "xdotool"})
        if (!onPath(tool))
            missing += std::string(missing.empty() ? "" : "; ") + tool + " is not installed";
    return missing;
}

VirtualDesktop::VirtualDesktop(int screenWidth, int screenHeight)
    : display_(std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24") {
}

VirtualDesktop::~VirtualDesktop() {
    if (panelConnection_)
        XCloseDisplay(panelConnection_);
    for (const pid_t child : children_) {
        ::kill(child, SIGTERM);
        int status = 0;
        ::waitpid(child, &status, 0);
    }
}

bool VirtualDesktop::fail(std::string why) {
    failure_ = std::move(why);
    return false;
}

pid_t VirtualDesktop::spawn(const std::vector<std::string>& command) {
    int error = 0;
    const pid_t pid = spawnQuietly(command, error);
    if (pid < 0)
        return -1;
    children_.push_back(pid);
    return pid;
}

bool VirtualDesktop::start(bool withTray, WindowManager choice) {
    if (!display_.start())
        return fail(display_.failure());
    displayVariable_ = std::make_unique<ScopedVariable>("DISPLAY", display_.name().c_str());
    platformVariable_ = std::make_unique<ScopedVariable>("QT_QPA_PLATFORM", "xcb");
    // The tray docks itself with the window manager, so the manager comes first.
    const char* compositor = choice == WindowManager::xfwm4 ? "--compositor=off" : "--compositor=on";
    const std::vector<std::string> command = choice == WindowManager::openbox
                                                 ? std::vector<std::string>{"openbox", "--sm-disable"}
                                                 : std::vector<std::string>{"xfwm4", compositor};
    const pid_t manager = spawn(command);
    if (manager < 0)
        return fail(command.front() + " could not be started");
    if (const auto why = waitForSelection("WM_S0", manager); !why.empty())
        return fail(command.front() + " did not take the screen " + display_.name() + ": " + why);
    if (choice == WindowManager::xfwm4Compositing)
        if (const auto why = waitForSelection("_NET_WM_CM_S0", manager); !why.empty())
            return fail("xfwm4 did not composite the screen " + display_.name() + ": " + why);
    return !withTray || startTray();
}

bool VirtualDesktop::startTray() {
    const pid_t tray = spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                              "--height", std::to_string(trayHeight), "--SetDockType", "true",
                              "--SetPartialStrut", "true", "--transparent", "false"});
    if (tray < 0)
        return fail("trayer could not be started");
    if (const auto why = waitForSelection("_NET_SYSTEM_TRAY_S0", tray); !why.empty())
        return fail("trayer did not claim the system tray: " + why);
    return true;
}

bool VirtualDesktop::reserveBottomStrip(int pixels) {
    if (!panelConnection_)
        panelConnection_ = XOpenDisplay(nullptr);
    Display* x = panelConnection_;
    if (!x)
        return false;
    const int screen = DefaultScreen(x);
    const int wide = DisplayWidth(x, screen);
    const int high = DisplayHeight(x, screen);
    const Window panel =
        XCreateSimpleWindow(x, RootWindow(x, screen), 0, high - pixels, wide, pixels, 0, 0, 0);
    const Atom dock = XInternAtom(x, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(x, panel, XInternAtom(x, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dock), 1);
    // left, right, top, bottom, then each one's start and end: the bottom strip across the whole width.
    const long strut[12] = {0, 0, 0, pixels, 0, 0, 0, 0, 0, 0, 0, wide - 1};
    XChangeProperty(x, panel, XInternAtom(x, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
    XMapWindow(x, panel);
    XFlush(x);
    return true;
}

bool VirtualDesktop::xdotool(const std::vector<std::string>& arguments) {
    return ChildProcess::run("xdotool", arguments, 5).succeeded();
}

// Over a connection of its own (xcb, which any thread may use), let go again as it closes.
bool VirtualDesktop::inputCanBeGrabbed() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    bool grabbed = false;
    if (!xcb_connection_has_error(connection)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        auto* keyboard = xcb_grab_keyboard_reply(
            connection,
            xcb_grab_keyboard(connection, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        auto* pointer = xcb_grab_pointer_reply(connection,
                                               xcb_grab_pointer(connection, 0, root, 0, XCB_GRAB_MODE_ASYNC,
                                                                XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                                                                XCB_CURRENT_TIME),
                                               nullptr);
        grabbed = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS && pointer &&
                  pointer->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(keyboard);
        std::free(pointer);
    }
    xcb_disconnect(connection);
    return grabbed;
}

unsigned long VirtualDesktop::focusedWindow() {
    const auto result = ChildProcess::run("xdotool", {"getwindowfocus"}, 5);
    return result.succeeded() ? std::strtoul(result.standardOutput.c_str(), nullptr, 10) : 0;
}
