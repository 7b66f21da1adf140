// The settings form: its cards, what each edit and each refresh does to the stored settings and to the
// running guard, and its sheets, built offscreen over a monitor on fakes.
#include "Fakes/FakeServiceAdvertiser.h"
#include "Support/Pictures.h"
#include "Support/SettingsHarness.h"
#include "Vigilor/Camera/FaceIdentityError.h"
#include "Vigilor/Companion/CompanionPairingService.h"
#include "Vigilor/Companion/SettingsSyncService.h"
#include "Vigilor/Companion/SyncFolderFileSyncBackend.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MenuContentModel.h"
#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/CompanionPairingSheetView.h"
#include "Vigilor/Settings/DeviceDiscoverySheetView.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"
#include "Vigilor/Settings/SettingsView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>

#include <atomic>
#include <chrono>
#include <thread>

using ::testing::Contains;
using ::testing::ElementsAreArray;

namespace {

using Device = MonitorSettings::BluetoothDeviceType;
const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/settings";

struct Form : SettingsHarness {
    std::shared_ptr<FakeServiceAdvertiser> advertiser = std::make_shared<FakeServiceAdvertiser>();
    std::vector<std::shared_ptr<CompanionPairingService>> pairingServices;
    double pairingTimeout = 120;
    std::optional<FaceEnrolmentProgress> enrolment;
    int enrolmentStarts = 0;
    bool monitorsEnrolment = false;  // the monitor's own enrolment instead of the scripted one
    std::vector<std::string> opened; // links and update checks
    std::unique_ptr<SettingsView> view;

    void open(SettingsPageState page = {}) {
        make(std::move(page));
        showWhole(*view);
        settle();
    }
    // The view as a window makes it, before it is shown.
    void make(SettingsPageState page) {
        SettingsEnvironment environment;
        environment.makePairingService = [this] {
            pairingServices.push_back(CompanionPairingService::create(
                "Studio", "http://127.0.0.1:9", "~/.zorvi-remote/control-token",
                {advertiser, std::make_shared<HttpClient>(), pairingTimeout}));
            return pairingServices.back();
        };
        environment.lockScreenMessages = emptyLoginScreen(h.home.path());
        environment.faceEnrolment =
            monitorsEnrolment ? monitorFaceEnrolment(monitor)
                              : FaceEnrolment{[this] { ++enrolmentStarts; }, [this] { return enrolment; }};
        environment.checkForUpdates = [this] { opened.push_back("update check"); };
        environment.openLink = [this](const QUrl& url) {
            opened.push_back(url.toString().toStdString());
            return true;
        };
        view = std::make_unique<SettingsView>(monitor, std::move(environment), std::move(page));
        view->resize(SettingsView::idealWindowSize);
    }
    SettingsContent& form() const { return *view->content(); }
    std::vector<std::string> cardTitles() const {
        std::vector<std::string> titles;
        for (const SettingsSectionCard* card : form().sections())
            titles.push_back(card->title().toStdString());
        return titles;
    }
    template <class W = QWidget> W* find(const QString& objectName) const {
        W* widget = named<W>(form(), objectName);
        EXPECT_NE(widget, nullptr) << objectName.toStdString();
        return widget;
    }
    bool shown(const QString& objectName) const { return find(objectName)->isVisibleTo(&form()); }
    void store(const std::function<void(VigilorConfig&)>& change) {
        monitor->settings().updateConfig(change);
        settle();
    }
    void tick(double seconds) {
        h.runLoop.loop().advance(seconds);
        OffscreenApplication::processPending();
    }
};

struct SettingsForm : Form, ::testing::Test {};

const std::vector<std::string> allCards = {"Essentials",      "Share Zorvi",     "When to lock",
                                           "Don't lock when", "Eyes & movement", "Across your computers",
                                           "Locking uses",    "Known-Face Lock", "Advanced",
                                           "Updates"};

} // namespace

TEST_F(SettingsForm, ShowsTheTenCardsInTheirOrderWithLockingRows) {
    open();
    EXPECT_THAT(cardTitles(), ElementsAreArray(allCards));
    EXPECT_TRUE(shown("lockPermission"));
    EXPECT_TRUE(shown("row.Arm Auto Lock"));
    EXPECT_EQ(find<SettingsSectionCard>("section.Updates")->subtitle().toStdString(),
              "Zorvi " + UpdaterService::currentVersion() + ". Checks run daily in the background.");
    find<QAbstractButton>("checkForUpdates")->click();
    EXPECT_THAT(opened, Contains("update check"));
    const QImage page = form().grab().toImage();
    Pictures::save(page, artifacts, "form");
    for (const SettingsSectionCard* card : form().sections())
        Pictures::save(page.copy(card->geometry().marginsAdded({8, 8, 8, 8})), artifacts,
                       "card-" + card->title().toStdString());
}

// A view is built with the cards of its first screenful at the page's scroll position, and the rest
// after its first frame in their order; it opens where the last page was left, its disclosures as they
// were, and tells the next one the same.
TEST_F(SettingsForm, BuildsItsFirstScreenfulFirstAndOpensAsTheLastPageWasLeft) {
    const QString fineTuning = QStringLiteral("disclosure.Lock fine-tuning"); // closed at first
    const QString alerts = QStringLiteral("disclosure.Tray & alerts");        // open at first
    struct Row {
        const char* name;
        SettingsPageState page;
        bool fineTuningOpen, alertsOpen;
    };
    for (const auto& r : {Row{"a first opening", {}, false, true},
                          Row{"scrolled down, a disclosure opened", {1400, {{fineTuning, true}}}, true, true},
                          Row{"a disclosure closed", {0, {{alerts, false}}}, false, false}}) {
        make(r.page);
        const size_t first = form().sections().size();
        EXPECT_GT(first, 0u) << r.name;
        EXPECT_LT(first, allCards.size()) << r.name << ": not the whole form before its first frame";
        view->show();
        EXPECT_EQ(view->findChild<QScrollArea*>()->verticalScrollBar()->value(), r.page.scrollPosition)
            << r.name << ": where it was left, from the first frame";
        showWhole(*view);
        EXPECT_THAT(cardTitles(), ElementsAreArray(allCards)) << r.name;
        const SettingsPageState left = view->pageState();
        EXPECT_EQ(left.scrollPosition, r.page.scrollPosition) << r.name;
        EXPECT_EQ(find<SettingsDisclosure>(fineTuning)->isExpanded(), r.fineTuningOpen) << r.name;
        EXPECT_EQ(find<SettingsDisclosure>(alerts)->isExpanded(), r.alertsOpen) << r.name;
        EXPECT_EQ(left.disclosures.at(fineTuning), r.fineTuningOpen) << r.name;
        EXPECT_EQ(left.disclosures.at(alerts), r.alertsOpen) << r.name;
    }
    find<SettingsDisclosure>(alerts)->header()->click();
    EXPECT_TRUE(view->pageState().disclosures.at(alerts)) << "opened again by the user";
}

TEST_F(SettingsForm, RefreshingWritesNothingAndKeepsOffGridValues) {
    store([](VigilorConfig& c) {
        c.eyeBreakInterval = 1234;
        c.lockTimeout = 15;
        c.watchGrace = 12.5;
        c.cameraPresenceEnabled = false;
        c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        c.watchGateRequired = true;
    });
    open();
    const VigilorConfig before = monitor->config();
    const size_t updatesBefore = updates();
    for (int i = 0; i < 4; ++i)
        form().context().refresh();
    tick(5); // ten decision ticks, each a published change
    EXPECT_EQ(updates(), updatesBefore);
    EXPECT_EQ(monitor->config().eyeBreakInterval, 1234);
    EXPECT_EQ(monitor->config().lockTimeout, 15);
    EXPECT_EQ(monitor->config().watchGrace, 12.5);
    EXPECT_EQ(before.toJSON(), monitor->config().toJSON());
    EXPECT_EQ(find<SliderRow>("slider.Ask me to look away after")->valueText(), "21m");
    EXPECT_EQ(find<SliderRow>("slider.Away grace")->valueText(), "13s") << "12.5 rounds away from zero";
}

TEST_F(SettingsForm, EachEditIsOneUpdateThatTheRunningGuardActsOn) {
    open();
    const auto session = h.camera->lastSession;
    ASSERT_NE(session, nullptr) << "the camera runs for camera presence";
    const size_t before = updates();
    find<SegmentedPicker>("lockingMode")->segment(1)->click(); // "Watch or phone"
    settle();
    EXPECT_EQ(updates(), before + 1);
    EXPECT_FALSE(monitor->config().cameraPresenceEnabled);
    EXPECT_EQ(monitor->config().bluetoothPresenceMode, BluetoothPresenceMode::either);
    EXPECT_EQ(session->stops, 1) << "the camera stopped at once";
    EXPECT_THAT(logTexts(monitor->log().events()), Contains("Camera stopped: using device-only locking mode"));
    EXPECT_GE(h.log.count("bluetooth.makeCentral"), 1u) << "and Bluetooth took over";

    // The rows that follow the mode are shown and hidden, never rebuilt.
    QWidget* block = find("bluetoothBlock");
    EXPECT_TRUE(block->isVisibleTo(&form()));
    EXPECT_TRUE(shown("pairIPhone")) << "either includes the phone";
    EXPECT_EQ(find<QLabel>("presenceNote")->text(),
              "Zorvi locks when your device goes out of Bluetooth range, with no camera running.");
    find<SegmentedPicker>("lockingMode")->segment(2)->click(); // "Both"
    store([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::watch; });
    EXPECT_EQ(find("bluetoothBlock"), block);
    EXPECT_FALSE(shown("pairIPhone"));
    EXPECT_EQ(
        find<QLabel>("presenceNote")->text(),
        "Zorvi locks when you are out of the camera's view and your device goes out of Bluetooth range.");
    EXPECT_EQ(find<SettingsControlShell>("row.Bluetooth mode")->detail(),
              "Best when you wear your Watch while you step away.");
    find<SegmentedPicker>("lockingMode")->segment(0)->click();
    settle();
    EXPECT_FALSE(block->isVisibleTo(&form()));
    EXPECT_EQ(h.camera->lastSession->starts, 1) << "the camera is back";
}

TEST_F(SettingsForm, EssentialsFollowTheMonitor) {
    open();
    auto* allow = find<ZorviGlassButton>("lockPermissionButton");
    EXPECT_EQ(allow->text(), "Allow");
    EXPECT_TRUE(allow->prominent());
    const size_t before = updates();
    allow->click();
    settle();
    EXPECT_EQ(updates(), before + 1);
    EXPECT_TRUE(monitor->config().screenLockingEnabled);
    EXPECT_EQ(allow->text(), "Revoke");
    EXPECT_FALSE(allow->prominent());
    store([](VigilorConfig& c) { c.screenLockingEnabled = false; });
    EXPECT_EQ(allow->text(), "Allow") << "the caption follows the setting, however it was stored";
    allow->click();
    settle();
    EXPECT_TRUE(monitor->config().screenLockingEnabled);

    auto* arm = find<SettingsToggleRow>("row.Arm Auto Lock");
    EXPECT_EQ(arm->detail(), "Coaching only; no automatic lock.");
    arm->toggle()->click();
    settle();
    EXPECT_TRUE(monitor->config().autoLockEnabled);
    EXPECT_EQ(arm->detail(), "Zorvi locks when you leave your desk.");

    EXPECT_FALSE(shown("launchAtLoginError"));
    h.loginItem->registerFailure = "denied";
    find<SettingsToggleRow>("row.Start at login")->toggle()->click();
    settle();
    EXPECT_TRUE(shown("launchAtLoginError"));
}

TEST_F(SettingsForm, TheHeroShowsReadinessInTheNudgeColourAndAsksForPermissionWhenNeeded) {
    open();
    auto* hero = find("hero");
    auto* permissions = find<QAbstractButton>("enablePermissions");
    h.camera->status = CameraDevice::denied;
    MonitorInternals::camera(*monitor).start();
    settle();
    const auto* badge = hero->findChild<QWidget*>("readiness");
    EXPECT_EQ(badge->accessibleDescription(), "Needs permission");
    EXPECT_TRUE(permissions->isVisibleTo(hero));
    Pictures::save(hero->grab().toImage(), artifacts, "hero-blocked");
    h.camera->status = CameraDevice::authorized; // the user joined the video group since
    permissions->click();
    EXPECT_THAT(logTexts(monitor->log().events()), Contains("Permission setup requested"));
    settle();
    EXPECT_FALSE(permissions->isVisibleTo(hero));
}

// While the settings cannot be saved the header says why, and the activity log when that begins and
// ends; a change made meanwhile is saved once it can be.
TEST_F(SettingsForm, TheHeroSaysWhileTheSettingsCannotBeSaved) {
    open();
    const std::string why = "/home/user/.config/zorvi cannot be written: Read-only file system";
    std::atomic<bool> closed = true;
    DefaultsStore::setWriteGate([&] { return closed ? std::optional(why) : std::nullopt; });
    for (const bool open : {false, true}) {
        closed = !open;
        monitor->settings().setBreakSoundEnabled(true);
        DefaultsStore::synchronizeAll();
        settle();
        EXPECT_EQ(shown("settingsUnsaved"), !open);
        EXPECT_EQ(logTexts(monitor->log().events()).front(),
                  open ? "Settings are saved again" : "Settings cannot be saved: " + why);
    }
    DefaultsStore::setWriteGate(nullptr);
    EXPECT_TRUE(VigilorConfig::load().soundWhenBreakDue);
}

TEST_F(SettingsForm, CopiedShowsOnlyAfterTheAskReachedTheClipboard) {
    open();
    auto* copy = find<ZorviGlassButton>("copyAsk");
    copy->click();
    EXPECT_THAT(QGuiApplication::clipboard()->text().toStdString(), ::testing::HasSubstr("zorvi"));
    EXPECT_EQ(copy->text(), "Copied");
    EXPECT_FALSE(copy->prominent());
    tick(1.5);
    EXPECT_EQ(copy->text(), "Copy");
    EXPECT_TRUE(copy->prominent());
}

TEST_F(SettingsForm, TheDevicePickerListsWhatItHearsAndSelectingOneMakesItTheCompanion) {
    store([](VigilorConfig& c) {
        c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        c.watchGateRequired = true;
    });
    open();
    SettingsHarness::button(form(), "Find my Watch")->click();
    settle();
    ASSERT_TRUE(form().watchDiscoverySheet()->isVisible());
    EXPECT_FALSE(form().phoneDiscoverySheet()->isVisible());
    EXPECT_TRUE(monitor->nearbyDevices().active());
    auto* picker = form().watchDiscoverySheet()->findChild<DeviceDiscoverySheetView*>("deviceDiscoverySheet");
    EXPECT_TRUE(picker->searchingRow()->isVisibleTo(picker));

    const auto watch =
        BluetoothPeripheral{*UUID::parse("0f3a2b4c-5d6e-4f70-8192-a3b4c5d6e7f8"), "Ada's Watch"};
    const auto speaker = BluetoothPeripheral{*UUID::parse("11111111-1111-4111-8111-111111111111"), "Speaker"};
    h.bluetooth->advertise(speaker, -80);
    h.bluetooth->advertise(watch, -45);
    tick(1);
    ASSERT_EQ(picker->deviceRows().size(), 2u);
    EXPECT_EQ(picker->deviceRows().front()->accessibleName(), "Ada's Watch") << "strongest first";
    EXPECT_FALSE(picker->searchingRow()->isVisibleTo(picker));
    for (int turn = 0; turn < 3; ++turn) // the new rows, then the card and the sheet, are laid out
        OffscreenApplication::processPending();
    Pictures::save(picker->grab().toImage(), artifacts, "device-picker");

    const size_t before = updates();
    SettingsHarness::button(*picker, "Select Ada's Watch")->click();
    settle();
    EXPECT_EQ(updates(), before + 2) << "the identifier, then the name";
    EXPECT_EQ(monitor->config().watchUUID, watch.identifier);
    EXPECT_EQ(monitor->config().watchName, "Ada's Watch");
    EXPECT_EQ(SettingsHarness::button(*picker, "Select Ada's Watch"), nullptr) << "now checked";
    EXPECT_NE(SettingsHarness::button(*picker, "Select Speaker"), nullptr);

    SettingsHarness::button(*picker, "Close")->click();
    settle();
    EXPECT_FALSE(form().watchDiscoverySheet()->isVisible());
    EXPECT_FALSE(form().context().state().showWatchDiscoverySheet);
    EXPECT_FALSE(monitor->nearbyDevices().active());
}

TEST_F(SettingsForm, ASecondPairingEndsTheFirstAndTheFirstsOutcomeIsIgnored) {
    store([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::phone; });
    pairingTimeout = 0.05;
    open();
    // The first attempt's time-out may come at any moment: from here the main queue is not run, so
    // its outcome waits there however soon it comes.
    const size_t pending = h.runLoop.loop().pendingCount();
    find<QAbstractButton>("pairIPhone")->click();
    OffscreenApplication::processPending();
    ASSERT_TRUE(form().pairingSheet()->isVisible());
    auto* sheet = form().pairingSheet()->findChild<CompanionPairingSheetView*>("pairingSheet");
    const std::string first = form().context().state().pairingCode;
    EXPECT_EQ(sheet->codeText().toStdString(), first);
    EXPECT_EQ(first.size(), 6u);
    EXPECT_EQ(sheet->stateText(), "Advertising\u2026");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (h.runLoop.loop().pendingCount() == pending && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(h.runLoop.loop().pendingCount(), pending) << "the time-out was posted";
    pairingTimeout = 120;
    form().startPairing();
    settle();
    EXPECT_TRUE(pairingServices.at(0)->code().empty()) << "the replaced service was stopped";
    EXPECT_EQ(sheet->codeText().toStdString(), pairingServices.at(1)->code());
    EXPECT_EQ(sheet->stateText(), "Advertising\u2026") << "the old time-out changed nothing";
    EXPECT_EQ(form().context().state().pairingError, "");
}

TEST_F(SettingsForm, APairingThatTimesOutSaysWhyAndClosingLeavesItRunning) {
    store([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::either; });
    pairingTimeout = 0.05;
    open();
    find<QAbstractButton>("pairIPhone")->click();
    auto* sheet = form().pairingSheet()->findChild<CompanionPairingSheetView*>("pairingSheet");
    const int advertising = form().pairingSheet()->height();
    ASSERT_TRUE(h.eventually([&] { return sheet->stateText() == "Timed out"; }));
    OffscreenApplication::processPending();
    EXPECT_EQ(sheet->errorText(), "Pairing service failed: Pairing timed out after 2 minutes");
    EXPECT_EQ(sheet->cancelButton()->text(), "Cancel");
    // Sized to what it shows: the button's 16 pt inset below it, the error line's height added.
    EXPECT_GT(form().pairingSheet()->height(), advertising);
    EXPECT_EQ(sheet->height() -
                  sheet->cancelButton()->mapTo(sheet, QPoint(0, sheet->cancelButton()->height())).y(),
              16);
    Pictures::save(sheet->grab().toImage(), artifacts, "pairing-timed-out");
    sheet->cancelButton()->click();
    settle();
    EXPECT_FALSE(form().pairingSheet()->isVisible());
    EXPECT_NE(form().context().state().pairingService, nullptr) << "the attempt is kept";
}

TEST(PairingSheet, ShowsEachStateOfTheAttempt) {
    OffscreenApplication app;
    bool presented = true;
    CompanionPairingSheetView sheet(
        Binding<bool>([&] { return presented; }, [&](const bool& v) { presented = v; }));
    using S = PairingSheetState;
    const struct {
        std::string code;
        S state;
        std::string error;
        const char* codeText;
        const char* stateText;
        const char* errorText;
        const char* button;
    } cases[] = {
        {"", S::advertising, "", "\u2014", "Advertising\u2026", "", "Cancel"},
        {"042917", S::advertising, "", "042917", "Advertising\u2026", "", "Cancel"},
        {"042917", S::paired, "", "042917", "Paired \u2713", "", "Done"},
        {"042917", S::timedOut, "", "042917", "Timed out", "", "Cancel"},
        {"", S::timedOut, "Code incorrect. 1 attempt left.", "\u2014", "Timed out",
         "Code incorrect. 1 attempt left.", "Cancel"},
    };
    sheet.resize(360, 420);
    sheet.show();
    for (const auto& c : cases) {
        sheet.update(c.code, c.state, c.error);
        EXPECT_EQ(sheet.codeText(), c.codeText);
        EXPECT_EQ(sheet.stateText(), c.stateText);
        EXPECT_EQ(sheet.errorText(), c.errorText);
        EXPECT_EQ(sheet.cancelButton()->text(), c.button);
    }
    Pictures::save(sheet.grab().toImage(), artifacts, "pairing-wrong-code");
    sheet.cancelButton()->click();
    EXPECT_FALSE(presented);
}

TEST_F(SettingsForm, TheEnrolmentSheetOpensBeforeTheEnrolmentStartsAndFollowsItsProgress) {
    open();
    EXPECT_FALSE(shown("enrolFace"));
    SettingsHarness::button(form(), "Require face recognition")->click();
    settle();
    ASSERT_TRUE(shown("enrolFace"));
    find<QAbstractButton>("enrolFace")->click();
    settle();
    EXPECT_EQ(enrolmentStarts, 1);
    ASSERT_TRUE(form().faceEnrolmentSheet()->isVisible());
    auto* sheet = form().faceEnrolmentSheet()->findChild<FaceEnrolmentSheetView*>("faceEnrolmentSheet");
    const struct {
        std::optional<FaceEnrolmentProgress> progress;
        const char* title;
        const char* detail;
        const char* button;
    } steps[] = {
        {std::nullopt, "", "", "Close"},
        {FaceEnrolmentProgress{12, 30, false, std::nullopt}, "Capturing 12 of 30", "", "Close"},
        {FaceEnrolmentProgress{30, 30, true, std::nullopt}, "Face Enrolled Successfully",
         "Captured 30 prints. Your face is now stored locally.", "Done"},
        {FaceEnrolmentProgress{
             0, 30, false,
             "Camera access denied. Give your user access to the camera's video device and try again."},
         "Enrolment Failed",
         "Camera access denied. Give your user access to the camera's video device and try again.", "Close"},
        {FaceEnrolmentProgress{2, 30, false, ""}, "Enrolment Failed", "An error occurred", "Close"},
    };
    for (const auto& step : steps) {
        enrolment = step.progress;
        tick(0.5); // the next decision tick redraws
        EXPECT_EQ(sheet->statusTitle(), step.title);
        EXPECT_EQ(sheet->statusDetail(), step.detail);
        EXPECT_EQ(sheet->bottomButton()->text(), step.button);
        if (step.progress && !step.progress->isComplete && !step.progress->errorDescription) {
            EXPECT_EQ(sheet->progressBar()->value() * 100 / sheet->progressBar()->maximum(), 40);
        }
        Pictures::save(sheet->grab().toImage(), artifacts, "enrolment-" + std::to_string(&step - steps));
    }
    sheet->bottomButton()->click();
    settle();
    EXPECT_FALSE(form().faceEnrolmentSheet()->isVisible());
}

// Enrolled prints that could not be read, and are left out of the check, are said in the known-face row
// and, once, in the activity log.
TEST_F(SettingsForm, TheKnownFaceRowSaysWhenEnrolledPrintsCouldNotBeRead) {
    open();
    auto* row = find<SettingsToggleRow>("requireKnownFace");
    const std::string said =
        "2 enrolled face prints could not be read and are left out: enrol your face again";
    for (int check = 0; check < 2; ++check)
        MonitorInternals::camera(*monitor).applyIdentityMatch(FaceMatchOutcome::match(0.2, 2));
    tick(0.5);
    EXPECT_EQ(row->detail().toStdString(), said + ".");
    const auto events = logTexts(monitor->log().events());
    EXPECT_EQ(std::count(events.begin(), events.end(), said), 1);
    const ClampedLabel* label = row->detailLabel();
    for (int pass = 0; pass < 10 && label->height() < label->heightForWidth(label->width()); ++pass)
        settle(); // the layouts around the row grow it to the longer detail, one level a pass
    EXPECT_GE(label->height(), label->heightForWidth(label->width()));
    Pictures::save(row->grab().toImage(), artifacts, "known-face-unreadable");
}

// The sheet follows the monitor's own enrolment: a camera that sends no frame ends it after 8 s.
TEST_F(SettingsForm, TheEnrolmentSheetFollowsTheMonitorsEnrolmentToItsEnd) {
    monitorsEnrolment = true;
    open();
    SettingsHarness::button(form(), "Require face recognition")->click();
    settle();
    find<QAbstractButton>("enrolFace")->click();
    settle();
    auto* sheet = form().faceEnrolmentSheet()->findChild<FaceEnrolmentSheetView*>("faceEnrolmentSheet");
    ASSERT_TRUE(sheet);
    tick(0.5);
    EXPECT_EQ(sheet->statusTitle(), "Capturing 0 of 30");
    tick(8);
    EXPECT_EQ(sheet->statusTitle(), "Enrolment Failed");
    EXPECT_EQ(sheet->statusDetail().toStdString(),
              FaceIdentityError(FaceIdentityError::Case::captureNoFrames).errorDescription());
}

TEST_F(SettingsForm, ReadsTheLoginScreenMessageAgainEachTimeItIsShown) {
    open();
    EXPECT_EQ(form().context().state().lockScreenMessageState, LockScreenMessageState::off());
    view->hide();
    writeOwnLoginScreenMessage(h.home.path());
    settle();
    EXPECT_EQ(form().context().state().lockScreenMessageState, LockScreenMessageState::off())
        << "while hidden";
    view->show();
    EXPECT_EQ(form().context().state().lockScreenMessageState, LockScreenMessageState::ours());
}

TEST_F(SettingsForm, EveryRowGetsTheHeightItsWrappedDetailNeedsAtEachWindowWidth) {
    // Under "Both" every presence row is shown, the phone name's detail among them.
    store([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::either; });
    open();
    for (const int width : {480, 600, 720}) {
        view->resize(width, SettingsView::idealWindowSize.height());
        settle();
        // The kit's rows carry no meta-objects of their own, so they are found by their type.
        for (const QWidget* widget : form().findChildren<QWidget*>()) {
            const auto* row = dynamic_cast<const SettingsControlShell*>(widget);
            if (!row || !row->isVisibleTo(&form()) || row->detail().isEmpty())
                continue;
            const ClampedLabel* detail = row->detailLabel();
            EXPECT_GE(detail->height(), detail->heightForWidth(detail->width()))
                << row->title().toStdString() << " at " << width;
        }
    }
}

// What the panel, the settings hero and the status shared with the phone and the widget say.
static std::string statusWords(const VigilorMonitor& m) {
    const MenuContentModel panel = menuContentModel(m);
    return panel.nudgeTitle + "|" + panel.nudgeDetail + "|" + panel.decision + "|" +
           m.statusSummaries().readinessSummary() + "|" + m.statusSummaries().lockReason() + "|" +
           m.statusSummaries().menuTitle() + (panel.showPermissionButton ? "|Continue" : "");
}

static std::string syncRowWords(const SettingsSync& sync) {
    const auto row = settingsSyncRowModel(sync.status(), {}, {}, sync.backendDisplayName(),
                                          SyncFolderFileSyncBackend::defaultFolder().string());
    return row.word + "|" + row.detail + "|" + row.notice.value_or("");
}

// Without a camera, Bluetooth, Avahi or a sync folder, and with a lock the session never confirms, each
// window says what is missing; nothing claims a face, a permission or an announcement.
TEST(HonestStatus, EveryDeviceAndServiceStateIsToldAsItIs) {
    const struct {
        const char* state;
        std::function<std::string(Form&)> words;
        std::vector<const char*> says, never;
    } rows[] = {
        {"no camera",
         [](Form& f) {
             f.h.camera->status = CameraDevice::noDevice;
             MonitorInternals::camera(*f.monitor).start();
             f.h.advance(30); // past the presence assumed at start
             f.monitor->startFaceEnrolment();
             f.settle();
             return statusWords(*f.monitor) + "|" +
                    f.monitor->faceEnrolment().enrolmentProgress()->error()->what();
         },
         {"|No camera signal|No camera found|No camera found, so Zorvi cannot see the desk.|",
          "a working camera: No camera found"},
         {"Present", "ermission", "Continue", "Camera is active", "access"}},
        {"camera stopped",
         [](Form& f) {
             const auto session = f.h.camera->lastSession;
             session->running = false;
             session->startFailure = "No such device";
             session->observers.runtimeError("No such device");
             EXPECT_TRUE(f.h.eventually([&] { return f.monitor->phase() == MonitorPhase::blocked; }));
             return statusWords(*f.monitor);
         },
         {"Camera stopped|The camera stopped sending pictures"},
         {"Present", "ermission", "Continue", "access"}},
        {"camera that cannot be opened",
         [](Form& f) {
             f.h.camera->settings.startFailure = "Cannot open /dev/video9: No such file or directory";
             MonitorInternals::camera(*f.monitor).start();
             f.settle();
             return statusWords(*f.monitor);
         },
         {"Camera unavailable|The camera cannot be opened"},
         {"Present", "ermission", "stopped"}},
        {"no Bluetooth",
         [](Form& f) {
             f.h.bluetooth->initialState = BluetoothCentralState::unsupported;
             f.store([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::watch; });
             f.store([](VigilorConfig& c) { c.watchGateRequired = true; });
             f.open();
             SettingsHarness::button(f.form(), "Find my Watch")->click();
             f.settle();
             auto* picker =
                 f.form().watchDiscoverySheet()->findChild<DeviceDiscoverySheetView*>("deviceDiscoverySheet");
             return picker->searchingRow()->findChild<QLabel*>()->text().toStdString();
         },
         {"No Bluetooth adapter is available on this computer."},
         {"Searching"}},
        {"no Avahi",
         [](Form& f) {
             f.advertiser->unavailableReason = "Avahi is not available: Daemon not running";
             f.store([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::phone; });
             f.open();
             f.find<QAbstractButton>("pairIPhone")->click();
             auto* sheet = f.form().pairingSheet()->findChild<CompanionPairingSheetView*>("pairingSheet");
             EXPECT_TRUE(f.h.eventually([&] { return f.settle(), !sheet->errorText().isEmpty(); }));
             return (sheet->stateText() + "|" + sheet->errorText()).toStdString();
         },
         {"Not announced on the local network|Avahi is not available: Daemon not running"},
         {"Advertising"}},
        {"no sync folder, then one",
         [](Form& f) {
             auto sync = std::make_shared<SettingsSyncService>(nullptr, DefaultsStore::standard(), "Desk");
             sync->enable();
             const std::string before = syncRowWords(*sync);
             std::filesystem::create_directories(SyncFolderFileSyncBackend::defaultFolder());
             f.h.runLoop.loop().advance(SyncFolderFileSyncBackend::pollInterval); // no restart
             return before + "||" + syncRowWords(*sync);
         },
         {"No sync folder|Nothing syncs until ", "/.local/share/zorvi/sync exists.", "||On|Through"},
         {"iCloud", "System Settings"}},
        {"unconfirmed lock",
         [](Form& f) {
             f.store([](VigilorConfig& c) { c.autoLockEnabled = c.screenLockingEnabled = true; });
             f.store([](VigilorConfig& c) { c.bodyPoseLockAssistEnabled = false; });
             f.h.inputIdle->idle = 600;
             missFace(*f.monitor, 6);
             f.h.advance(40); // locks once the absence is long enough, then the session never confirms it
             EXPECT_EQ(f.h.log.count("locker.lockSession"), 1u);
             f.h.advance(11); // the second request goes unconfirmed too: this locker does not lock
             return statusWords(*f.monitor) + "|" + f.monitor->log().lockEvents().front().text;
         },
         {"|Lock requested, not confirmed|", "|Screen locker does not lock|", "but the session never locked"},
         {"|Locked", "macOS"}},
    };
    for (const auto& row : rows) {
        Form f;
        const std::string words = row.words(f);
        for (const char* said : row.says)
            EXPECT_THAT(words, ::testing::HasSubstr(said)) << row.state;
        for (const char* unsaid : row.never)
            EXPECT_THAT(words, ::testing::Not(::testing::HasSubstr(unsaid))) << row.state;
    }
}
