#include "Monitor/StatusSummariesScene.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MenuContentView.h"
#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstdlib>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/interface";

// The menu content in a host that stands for the panel and counts the re-fit requests it receives.
struct MenuContentViewTests : SummaryScene {
    OffscreenApplication app;
    std::vector<std::string> calls;
    QWidget host;
    int layoutRequests = 0;
    std::unique_ptr<MenuContentView> view;

    struct LayoutRequestCounter : QObject {
        int* count;
        explicit LayoutRequestCounter(int* c)
            : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override {
            *count += event->type() == QEvent::LayoutRequest ? 1 : 0;
            return false;
        }
    } counter{&layoutRequests};

    void open() {
        const auto call = [this](const char* name) { return [this, name] { calls.push_back(name); }; };
        MenuContentActions actions{call("openMainWindow"), call("openSettingsWindow"), call("closePanel"),
                                   call("quitApp")};
        view = std::make_unique<MenuContentView>(monitor, actions, &host);
        host.installEventFilter(&counter);
        host.show(); // the panel is open while its content changes
        fit();
    }
    // What the panel does on a LayoutRequest: takes the content's fitting size.
    void fit() {
        app.processPending();
        view->resize(view->sizeHint());
        host.resize(view->size());
    }
    QImage picture(const std::string& name) {
        fit();
        QImage image = Pictures::render(*view, SystemColor::windowBackground());
        Pictures::save(image, artifacts, "menu-" + name);
        return image;
    }
    QAbstractButton* button(const QString& accessibleName) const {
        for (auto* b : view->findChildren<QAbstractButton*>())
            if (b->accessibleName() == accessibleName)
                return b;
        return nullptr;
    }
    // A real click at a point of the panel, delivered to whatever widget is under it.
    void clickAt(QPoint at) {
        QWidget* target = view->childAt(at);
        ASSERT_NE(target, nullptr);
        const QPointF local = target->mapFrom(view.get(), QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, local, view->mapToGlobal(QPointF(at)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, local, view->mapToGlobal(QPointF(at)), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
};

TEST_F(MenuContentViewTests, RendersEveryStateWithoutCutsAndRefitsWhenSectionsComeAndGo) {
    reset();
    open();
    const struct {
        const char* name;
        Scene setup;
    } states[] = {
        {"calm", [](auto&) {}},
        {"walk-due-on-call",
         [](auto& t) {
             t.after(3200);
             t.call(true);
             t.companion(Mode::watch);
             t.advertise();
         }},
        {"away-permission-locking-off",
         [](auto& t) {
             t.noFace();
             t.lastSeen(12.34);
             t.h.bluetooth->authorizationAnswer = BluetoothAuthorization::denied;
             t.companion(Mode::watch);
             t.settings([](VigilorConfig& c) { c.screenLockingEnabled = false; });
         }},
        {"blocked-two-line-detail",
         [](auto& t) {
             t.h.camera->settings.inputFailure = "Device or resource busy";
             MonitorInternals::camera(*t.monitor).start();
             t.h.camera->settings.inputFailure.reset();
         }},
        {"walk-off-paused",
         [](auto& t) {
             t.monitor->togglePaused();
             t.settings([](VigilorConfig& c) { c.walkBreakEnabled = false; });
         }},
    };
    int lastHeight = view->sizeHint().height();
    for (const auto& s : states) {
        reset();
        s.setup(*this);
        const int requestsBefore = layoutRequests;
        for (int turn = 0; turn < 5; ++turn) // the nested layouts settle over a few turns
            app.processPending();
        const int height = view->sizeHint().height();
        if (height != lastHeight) {
            EXPECT_GT(layoutRequests, requestsBefore)
                << s.name << ": the panel is asked to re-fit " << lastHeight << " -> " << height;
        }
        lastHeight = height;
        const QImage image = picture(s.name);
        EXPECT_EQ(image.width(), 392) << s.name;
        // Every visible part lies wholly inside the fitted panel, and every text has the height of all
        // its lines: nothing is cut.
        for (QWidget* part : view->findChildren<QWidget*>()) {
            if (!part->isVisibleTo(view.get()))
                continue;
            const QRect box(part->mapTo(view.get(), QPoint()), part->size());
            EXPECT_TRUE(view->rect().contains(box)) << s.name << ": " << part->metaObject()->className();
            if (auto* text = dynamic_cast<ClampedLabel*>(part)) {
                EXPECT_GE(text->height(), text->heightForWidth(text->width()))
                    << s.name << ": " << text->text().toStdString();
            }
        }
    }
}

TEST_F(MenuContentViewTests, ClickingTheAutoLockRowAnywhereTogglesAutoLock) {
    reset();
    open();
    QAbstractButton* row = button(QStringLiteral("Auto Lock"));
    ASSERT_NE(row, nullptr);
    const QPoint title = row->mapTo(view.get(), QPoint(10, row->height() / 2));
    const QPoint knob = row->mapTo(view.get(), QPoint(row->width() - 10, row->height() / 2));
    for (const auto& [at, expected] : {std::pair{title, true}, std::pair{knob, false}}) {
        clickAt(at);
        EXPECT_EQ(monitor->autoLockEnabled(), expected);
        EXPECT_EQ(monitor->config().autoLockEnabled, expected) << "saved through the update path";
        app.processPending();
        EXPECT_EQ(row->isChecked(), expected) << "the switch shows the monitor's value";
    }
}

TEST_F(MenuContentViewTests, RailAndKeysCallTheirActions) {
    reset();
    open();
    button(QStringLiteral("Settings"))->click();
    button(QStringLiteral("Quit Zorvi"))->click();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &escape);
    EXPECT_EQ(calls, (std::vector<std::string>{"openSettingsWindow", "closePanel", "quitApp", "closePanel"}));

    button(QStringLiteral("Copy invitation"))->click();
    EXPECT_TRUE(
        QGuiApplication::clipboard()->text().endsWith(": " + ZorviShareService::storeURL().toString()));
    EXPECT_TRUE(view->storeAskCopied());
    EXPECT_NE(button(QStringLiteral("Copied invitation")), nullptr);
}

TEST_F(MenuContentViewTests, ThePermissionButtonLogsThenAsks) {
    reset();
    h.camera->status = CameraDevice::notDetermined;
    MonitorInternals::camera(*monitor).start();
    open();
    h.camera->status = CameraDevice::denied;
    button(QStringLiteral("Continue for camera"))->click();
    const auto lines = logTexts(monitor->log().events());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Permission setup requested");
    EXPECT_EQ(lines[0], "Camera permission denied");
}

TEST_F(MenuContentViewTests, AHiddenPanelNeitherTicksNorFollowsTheMonitorUntilShown) {
    reset();
    open();
    EXPECT_TRUE(view->clockIsRunning());
    host.hide();
    EXPECT_FALSE(view->clockIsRunning());
    call(true);
    app.processPending();
    EXPECT_EQ(view->model().chips.size(), 3u) << "no refresh while hidden";
    host.show();
    EXPECT_TRUE(view->clockIsRunning());
    EXPECT_EQ(view->model().chips.size(), 4u) << "caught up before the first frame";
}

} // namespace
