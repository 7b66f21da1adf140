// The break prompt and the windows the user asks for, under window managers with four desktops, with
// and without a compositor.
#include "Support/TrayDesktop.h"
#include "Vigilor/Interface/BreakHUDView.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

using WindowManager = VirtualDesktop::WindowManager;

// One CARDINAL of a window (of the root window for 0), or the window's depth for nullptr.
std::optional<unsigned long> cardinal(unsigned long window, const char* name) {
    Display* x = XOpenDisplay(nullptr);
    window = window ? window : DefaultRootWindow(x);
    XWindowAttributes attributes{};
    std::optional<unsigned long> value;
    unsigned char* data = nullptr;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    if (!name && XGetWindowAttributes(x, window, &attributes))
        value = attributes.depth;
    else if (name &&
             XGetWindowProperty(x, window, XInternAtom(x, name, False), 0, 1, False, XA_CARDINAL, &type,
                                &format, &count, &left, &data) == Success &&
             data && count == 1)
        value = *reinterpret_cast<unsigned long*>(data) & 0xFFFFFFFF;
    XFree(data);
    XCloseDisplay(x);
    return value;
}

bool shown(const std::string& title) {
    return VirtualDesktop::xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"});
}

struct DesktopCase {
    std::string name;
    WindowManager manager;
    bool dashboard; // else the break prompt
};

struct OnTheUsersDesktop : TrayDesktop, testing::WithParamInterface<DesktopCase> {
    OnTheUsersDesktop()
        : TrayDesktop(QStringLiteral("desktops")) {}
    void SetUp() override {} // a desktop of the row's own, without a tray

    bool goToDesktop(unsigned long number) {
        return VirtualDesktop::xdotool({"set_desktop", std::to_string(number)}) &&
               waitFor([&] { return cardinal(0, "_NET_CURRENT_DESKTOP") == number; });
    }
};

// The prompt shows on every desktop, the one the user is on included, each time it shows, with what
// lies behind it showing around its rounded card (through an alpha channel where the screen
// composites, past its shape where it does not); a window the user asks for again comes to the user's
// desktop rather than taking the user to its own.
TEST_P(OnTheUsersDesktop, AWindowShowsWhereTheUserIs) {
    const DesktopCase& c = GetParam();
    if (const auto missing = VirtualDesktop::missingTools(c.manager); !missing.empty())
        GTEST_SKIP() << missing;
    ASSERT_TRUE(desktop.start(false, c.manager)) << desktop.failure();
    app = std::make_unique<QApplication>(argc, argv);
    monitor = h.makeMonitor();
    controller = std::make_unique<StatusItemController>(monitor);
    // A window manager says what it supports a little after it took the screen.
    ASSERT_TRUE(waitFor([&] {
        return VirtualDesktop::xdotool({"set_num_desktops", "4"}) &&
               cardinal(0, "_NET_NUMBER_OF_DESKTOPS") == 4ul;
    }));
    if (c.dashboard) {
        controller->showMainWindow();
        ASSERT_TRUE(waitFor([&] { return shown("Zorvi"); }));
        ASSERT_TRUE(goToDesktop(2));
        controller->showMainWindow();
        EXPECT_TRUE(waitFor([&] { return shown("Zorvi"); })) << "not brought to the user's desktop";
        EXPECT_EQ(cardinal(0, "_NET_CURRENT_DESKTOP"), 2ul) << "the user was taken elsewhere";
        return snapshot(QString::fromStdString(c.name));
    }
    ASSERT_TRUE(goToDesktop(2));
    QWidget behind(nullptr, Qt::FramelessWindowHint);
    behind.setWindowTitle(QStringLiteral("Behind"));
    behind.setPalette(QPalette(Qt::blue));
    behind.setAutoFillBackground(true);
    behind.setGeometry(0, 0, VirtualDesktop::width, 420);
    behind.show();
    ASSERT_TRUE(waitFor([&] { return shown("Behind"); }));
    for (const unsigned long elsewhere : {0ul, 3ul}) { // shown anew after it was hidden
        ASSERT_TRUE(h.showBreakPrompt(*monitor));
        ASSERT_TRUE(waitFor([&] { return shown("Zorvi break"); })) << "not on the user's desktop";
        ZorviMenuPanel* prompt = controller->breakHUDPanel();
        EXPECT_EQ(cardinal(prompt->winId(), "_NET_WM_DESKTOP"), 0xFFFFFFFFul);
        if (prompt->translucent()) {
            EXPECT_EQ(cardinal(prompt->winId(), nullptr), 32ul) << "no alpha channel";
        }
        EXPECT_EQ(prompt->translucent(), c.manager == WindowManager::xfwm4Compositing);
        // Just inside the window's corner, inside the card's bounds past its rounded corner, and the
        // card itself, once painted.
        const QWidget* card = static_cast<BreakHUDView*>(prompt->content())->card();
        const QPoint points[] = {prompt->geometry().topLeft() + QPoint(2, 2), card->mapToGlobal(QPoint(1, 1)),
                                 card->mapToGlobal(QPoint(card->width() / 2, 4))};
        QImage screen;
        EXPECT_TRUE(waitFor([&] {
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            const auto blue = [&](const QPoint& point) {
                return qBlue(screen.pixel(point)) > 200 && qRed(screen.pixel(point)) < 60;
            };
            // Nothing behind shows through the card, under which its texts must read.
            const QRgb inside = screen.pixel(points[2]);
            return blue(points[0]) && blue(points[1]) && qGray(inside) > 120 && qBlue(inside) - qRed(inside) < 40;
        })) << "around, at the corner, inside the card: "
            << std::hex << screen.pixel(points[0]) << " " << screen.pixel(points[1]) << " "
            << screen.pixel(points[2]);
        snapshot(QString::fromStdString(c.name) + QString::number(elsewhere));
        ASSERT_TRUE(goToDesktop(elsewhere));
        EXPECT_TRUE(waitFor([&] { return shown("Zorvi break"); })) << "not on every desktop";
        ASSERT_TRUE(goToDesktop(2));
        monitor->dismissCurrentEyeBreakPrompt();
        ASSERT_TRUE(waitFor([&] { return !shown("Zorvi break"); }));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OnTheUsersDesktop,
                         testing::Values(DesktopCase{"OpenboxPrompt", WindowManager::openbox, false},
                                         DesktopCase{"XfwmPrompt", WindowManager::xfwm4, false},
                                         DesktopCase{"XfwmCompositingPrompt", WindowManager::xfwm4Compositing,
                                                     false},
                                         DesktopCase{"OpenboxDashboard", WindowManager::openbox, true},
                                         DesktopCase{"XfwmDashboard", WindowManager::xfwm4, true}),
                         [](const testing::TestParamInfo<DesktopCase>& info) { return info.param.name; });

} // namespace
