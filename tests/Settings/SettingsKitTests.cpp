// The settings window's row kit, its models and the section context, on the offscreen platform over
// a monitor on fakes.
#include "Support/SettingsHarness.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QFocusEvent>
#include <QSlider>

#include <cmath>

namespace {

using Device = MonitorSettings::BluetoothDeviceType;

struct SettingsKit : SettingsHarness, ::testing::Test {
    std::unique_ptr<SettingsSectionContext> context = makeContext();

    void store(const std::function<void(VigilorConfig&)>& change) {
        monitor->settings().updateConfig(change);
        settle();
    }
};

} // namespace

TEST(SettingsModels, SliderTextRoundsTheBoundValueHalvesAwayFromZeroAndAppendsTheSuffixAsGiven) {
    const struct {
        double value;
        const char* suffix;
        const char* shown;
    } cases[] = {
        {4.5, "s", "5s"},
        {4.49, "s", "4s"},
        {-0.5, "s", "-1s"},
        {80, "%", "80%"},
        {-90, " dBm", "-90 dBm"},
        {-110, " dBm", "-110 dBm"},
        {118.00000000000001, "%", "118%"},
        {NAN, "s", ""},
        {1e300, "s", "9223372036854775807s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sliderValueText(c.value, c.suffix), c.shown) << c.value;
}

TEST(SettingsModels, SliderPositionsRoundToTheNearestStepWithinTheRange) {
    const struct {
        SliderGrid grid;
        double value;
        int position;
    } cases[] = {
        {{105, 150, 1}, 1.15 * 100, 10}, // 114.99999999999999 is 115
        {{10, 60, 5}, 1234.0 / 60, 2},   // an off-grid interval is drawn at 20 minutes
        {{30, 240, 15}, 300, 14},        // beyond the range: at its end
        {{-100, -55, 1}, -110, 0},       {{10, 60, 5}, NAN, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.grid.position(c.value), c.position) << c.value;
        EXPECT_EQ(c.grid.position(c.grid.value(c.position)), c.position) << c.value;
    }
    EXPECT_EQ((SliderGrid{30, 240, 15}).lastPosition(), 14);
    EXPECT_EQ((SliderGrid{30, 240, 15}).value(14), 240);
}

TEST(SettingsModels, SyncRowFollowsTheServiceState) {
    using S = SettingsSync::Status;
    const struct {
        S status;
        std::optional<std::string> time, device;
        const char* backend;
        QColor tint;
        const char* word;
        const char* detail;
        std::optional<std::string> notice;
    } cases[] = {
        {S::off, "09:15", "Studio", "iCloud", SystemColor::secondaryLabel(), "Off", "Sync is paused.", {}},
        {S::unavailable,
         {},
         {},
         "Sync folder",
         Theme::warning(),
         "No sync folder",
         "Nothing syncs until /home/u/.local/share/zorvi/sync exists.",
         "Create that folder, or link there a folder your sync tool carries (Nextcloud, Syncthing\u2026), "
         "and sync starts by itself."},
        {S::active,
         {},
         {},
         "iCloud",
         Theme::success(),
         "On",
         "Through iCloud. Waiting for the first change.",
         {}},
        {S::active, "09:15", {}, "iCloud", Theme::success(), "On", "Through iCloud. Last change 09:15.", {}},
        {S::active,
         "09:15",
         "Studio",
         "iCloud",
         Theme::success(),
         "On",
         "Through iCloud. Last change 09:15 from Studio.",
         {}},
    };
    for (const auto& c : cases) {
        const SettingsSyncRowModel model = settingsSyncRowModel(c.status, c.time, c.device, c.backend,
                                                                  "/home/u/.local/share/zorvi/sync");
        EXPECT_EQ(model.tint, c.tint) << c.detail;
        EXPECT_EQ(model.word, c.word) << c.detail;
        EXPECT_EQ(model.detail, c.detail);
        EXPECT_EQ(model.notice, c.notice) << c.detail;
    }
}

TEST(SettingsModels, TheDevicePickerComparesUpperCaseIdentifiersExactlyAndCountsBars) {
    VigilorConfig config;
    config.watchUUID = UUID::parse("0f3a2b4c-5d6e-4f70-8192-a3b4c5d6e7f8");
    const struct {
        Device type;
        const char* id;
        bool selected;
    } picks[] = {
        {Device::watch, "0F3A2B4C-5D6E-4F70-8192-A3B4C5D6E7F8", true},
        {Device::watch, "0f3a2b4c-5d6e-4f70-8192-a3b4c5d6e7f8", false}, // never lower case
        {Device::phone, "0F3A2B4C-5D6E-4F70-8192-A3B4C5D6E7F8", false}, // another type's device
        {Device::watch, "0F3A2B4C5D6E4F708192A3B4C5D6E7F8", false},
    };
    for (const auto& p : picks)
        EXPECT_EQ(isDeviceSelected(config, p.type, p.id), p.selected) << p.id;

    const struct {
        int rssi, bars;
    } levels[] = {{-30, 4}, {-49, 4}, {-50, 3}, {-62, 3}, {-70, 3}, {-71, 2}, {-85, 2}, {-86, 1}, {-100, 1}};
    for (const auto& l : levels)
        EXPECT_EQ(signalLevel(l.rssi), l.bars) << l.rssi;
}

TEST(SettingsModels, EnrolmentSheetPhaseAndTheDisclosuresWords) {
    using P = FaceEnrolmentSheetPhase;
    const struct {
        std::optional<FaceEnrolmentProgress> progress;
        P phase;
    } cases[] = {
        {std::nullopt, P::waiting},
        {FaceEnrolmentProgress{12, 30, false, std::nullopt}, P::capturing},
        {FaceEnrolmentProgress{30, 30, true, std::nullopt}, P::done},
        {FaceEnrolmentProgress{3, 30, true, "No valid face frames captured."}, P::failed}, // error wins
    };
    for (const auto& c : cases)
        EXPECT_EQ(faceEnrolmentSheetPhase(c.progress), c.phase);
    EXPECT_EQ(disclosureAccessibilityLabel("Recent events", true), "Recent events, expanded");
    EXPECT_EQ(disclosureAccessibilityHint(false), "Double-tap to expand");
}

TEST_F(SettingsKit, ASliderShowsAnOffGridValueUnchangedUntilTheUserMovesIt) {
    store([](VigilorConfig& c) { c.eyeBreakInterval = 1234; });
    SliderRow row("Ask me to look away after", context->bindings().eyeBreakMinutes(),
                  SliderGrid::of(SettingRanges::eyeBreakInterval, 60), "m");
    const size_t before = updates();
    for (int i = 0; i < 3; ++i)
        row.refresh();
    settle();
    EXPECT_EQ(updates(), before) << "refreshing writes nothing";
    EXPECT_EQ(monitor->config().eyeBreakInterval, 1234);
    EXPECT_EQ(row.valueText(), "21m");
    EXPECT_EQ(row.slider()->value(), 2);

    row.slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd); // as a key press does
    settle();
    EXPECT_EQ(updates(), before + 1);
    EXPECT_EQ(monitor->config().eyeBreakInterval, 25 * 60);
    EXPECT_EQ(row.valueText(), "25m");
}

TEST_F(SettingsKit, AToggleFlipsTheBoundValueOncePerClick) {
    SettingsToggleRow row("Look-away reminders", "Zorvi reminds you to rest your eyes.", "eye",
                          Theme::notice(), context->bindings().eyeBreakEnabled());
    EXPECT_TRUE(row.toggle()->shownOn());
    for (const bool expected : {false, true}) {
        const size_t before = updates();
        row.toggle()->click();
        settle();
        EXPECT_EQ(updates(), before + 1);
        EXPECT_EQ(monitor->config().eyeBreakEnabled, expected);
        EXPECT_EQ(row.toggle()->shownOn(), expected);
    }
}

TEST_F(SettingsKit, PickersWriteOnlyWhatTheUserChooses) {
    const SettingsChoices<BluetoothPresenceMode> threeModes{
        context->bindings().bluetoothPresenceMode(),
        {{BluetoothPresenceMode::watch, "Apple Watch"},
         {BluetoothPresenceMode::phone, "Phone I carry"},
         {BluetoothPresenceMode::either, "Watch or phone"}}};
    SettingsPicker picker(threeModes, 190);
    SegmentedPicker segments(allChoices(context->bindings().lockPatience()));
    store([](VigilorConfig& c) { c.lockTimeout = 15; });
    const size_t before = updates();
    picker.refresh();
    segments.refresh();
    EXPECT_EQ(picker.currentIndex(), -1) << "Off is not offered";
    EXPECT_EQ(segments.selectedIndex(), 1) << "15 s is balanced";
    EXPECT_EQ(updates(), before);
    EXPECT_EQ(monitor->config().lockTimeout, 15) << "the preset is not rewritten";

    emit picker.activated(1);
    segments.segment(2)->click();
    settle();
    EXPECT_EQ(updates(), before + 2);
    EXPECT_EQ(monitor->config().bluetoothPresenceMode, BluetoothPresenceMode::phone);
    EXPECT_EQ(monitor->config().lockTimeout, 6);
    EXPECT_EQ(segments.selectedIndex(), 2);
}

TEST_F(SettingsKit, AFieldThatCommitsWhenEditingEndsStoresNothingHalfTyped) {
    QWidget window;
    SettingsTextField endpoint(context->bindings().remoteStatusEndpointURL(), "https://...", 300,
                               SettingsTextField::Commit::whenEditingEnds, &window);
    SettingsTextField name(context->bindings().watchName(), "Apple Watch", 190,
                           SettingsTextField::Commit::everyEdit, &window);
    window.show();
    QApplication::setActiveWindow(&window);
    endpoint.setFocus();
    const size_t before = updates();
    endpoint.insert(QStringLiteral("https://relay.exam"));
    endpoint.refresh(); // a refresh while typing keeps what is typed
    EXPECT_EQ(endpoint.text(), "https://relay.exam");
    EXPECT_EQ(updates(), before);
    endpoint.insert(QStringLiteral("ple/status"));
    emit endpoint.editingFinished(); // Enter, or the keyboard leaving the field
    emit endpoint.editingFinished();
    EXPECT_EQ(updates(), before + 1);
    EXPECT_EQ(monitor->config().remoteStatusEndpointURL, "https://relay.example/status");

    name.setFocus();
    name.selectAll();
    for (const char* typed : {"W", "Wr"})
        emit name.textEdited(QString::fromLatin1(typed));
    EXPECT_EQ(updates(), before + 3) << "names store every edit";
    EXPECT_EQ(monitor->config().watchName, "Wr");
}

TEST_F(SettingsKit, ADisclosureStartsAsBuiltAndFlipsAtOnceUnderReducedMotion) {
    ScopedVariable reduceMotion(ZorviAccessibility::reduceMotionVariable, "1");
    SettingsDisclosure open("Tray & alerts", "Appearance, sounds, notifications.", "menubar.rectangle",
                            Theme::notice(), new QWidget, true);
    open.show();
    EXPECT_TRUE(open.content()->isVisibleTo(&open));
    EXPECT_EQ(open.chevronAngle(), 90);
    EXPECT_EQ(open.header()->accessibleName(), "Tray & alerts, expanded");
    EXPECT_EQ(open.header()->accessibleDescription(), "Double-tap to collapse");
    open.header()->click();
    EXPECT_FALSE(open.isExpanded());
    EXPECT_FALSE(open.content()->isVisibleTo(&open)) << "no animation to wait for";
    EXPECT_EQ(open.chevronAngle(), 0);
}

TEST_F(SettingsKit, CopiedShowsForOneAndAHalfSecondsFromEachCopy) {
    int redraws = 0;
    context->onRefresh([&] { ++redraws; });
    ASSERT_TRUE(context->copyWithConfirmation("first", &SettingsViewState::shareAskCopied));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "first");
    EXPECT_TRUE(context->state().shareAskCopied);
    h.runLoop.loop().advance(1);
    ASSERT_TRUE(context->copyWithConfirmation("second", &SettingsViewState::shareAskCopied));
    h.runLoop.loop().advance(0.5);
    EXPECT_FALSE(context->state().shareAskCopied) << "the first copy's reset is not pushed back";
    EXPECT_FALSE(context->state().isCopied);
    EXPECT_EQ(redraws, 3) << "two copies and one reset so far";
}
