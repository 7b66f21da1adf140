// The Advanced card built offscreen over a monitor on fakes: its disclosures, that its controls store
// only the user's own edits, the relay rows, the lock-screen row and the logs, and pictures of every
// disclosure for people to look at.
#include "Foundation/Json.h"
#include "Support/Pictures.h"
#include "Support/SettingsHarness.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/AdvancedSectionParts.h"
#include "Vigilor/Settings/SettingsAdvancedSection.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QKeyEvent>
#include <QLayout>
#include <QRegularExpression>
#include <QSlider>
#include <QVBoxLayout>

#include <cstring>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/settings";

struct AdvancedCard : SettingsHarness {
    std::unique_ptr<SettingsSectionContext> context = makeContext();
    // The card in a host with the form's margin, as the page holds it (a surface draws its shadow
    // outside itself, so it is never a window of its own).
    std::unique_ptr<QWidget> host;
    QWidget* card = nullptr;

    void build(int width = 600) {
        host = std::make_unique<QWidget>();
        card = settingsSection("Advanced", "Fine-tuning most people never need.", "slider.horizontal.3",
                               SystemColor::secondaryLabel(), {makeAdvancedSectionContent(*context)});
        auto* margin = new QVBoxLayout(host.get());
        margin->setContentsMargins(12, 12, 12, 12);
        margin->addWidget(card);
        host->show();
        QApplication::setActiveWindow(host.get());
        fit(width);
    }
    void fit(int width) {
        settle();
        host->resize(width, host->layout()->totalHeightForWidth(width));
        settle();
    }
    // What the form does after the monitor or the view state changed.
    void redraw() {
        settle();
        context->refresh();
    }
    void store(const std::function<void(VigilorConfig&)>& change) {
        monitor->settings().updateConfig(change);
        redraw();
    }

    // The kit's widgets carry no meta-object of their own, so they are found by their object names.
    std::vector<SettingsDisclosure*> disclosures() const {
        std::vector<SettingsDisclosure*> found;
        for (auto* w : card->findChildren<QWidget*>())
            if (w->objectName().startsWith("disclosure."))
                found.push_back(static_cast<SettingsDisclosure*>(w));
        return found;
    }
    SettingsDisclosure* disclosure(const QString& title) const {
        return named<SettingsDisclosure>(*card, "disclosure." + title);
    }
    SliderRow* slider(const QString& title) const { return named<SliderRow>(*card, "slider." + title); }
    SettingsControlShell* row(const QString& title) const {
        return named<SettingsControlShell>(*card, "row." + title);
    }
    template <class W> W* control(const QString& rowTitle) const {
        return static_cast<W*>(row(rowTitle)->control());
    }
    QAbstractButton* buttonIn(const QString& rowTitle, const QString& text) const {
        return button(*row(rowTitle), text);
    }
};

TEST(AdvancedCardTest, ListsItsDisclosuresWithOnlyTheAlertsOpen) {
    AdvancedCard t;
    t.build();
    QStringList shown;
    for (const auto* d : t.disclosures())
        shown << d->objectName().mid(int(strlen("disclosure.")));
    QStringList expected;
    for (const auto d : advancedDisclosures())
        expected << qs(advancedDisclosureHeader(d, 0, 0).title);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(shown.size(), 11);
    for (const auto* d : t.disclosures())
        EXPECT_EQ(d->isExpanded(), d->objectName() == "disclosure.Tray & alerts") << d->objectName().toStdString();

    EXPECT_NE(t.row("Notify when Zorvi locks"), nullptr);
    EXPECT_NE(t.row("Command endpoint"), nullptr);
    EXPECT_EQ(t.row("Pairing")->detail().toStdString(), remoteCompanionRows(t.monitor->config()).pairingDetail);
}

TEST(AdvancedCardTest, EachControlStoresTheUsersEditExactlyOnce) {
    AdvancedCard t;
    t.build();
    const struct {
        const char* name;
        std::function<void()> edit;
        std::function<bool(const VigilorConfig&)> stored;
    } edits[] = {
        {"move-away delay",
         [&] { t.slider("Move-away delay")->slider()->triggerAction(QSlider::SliderSingleStepAdd); },
         [](const auto& c) { return c.lockTimeout == 13; }},
        {"weak signal",
         [&] { t.slider("Weak signal threshold")->slider()->triggerAction(QSlider::SliderSingleStepSub); },
         [](const auto& c) { return c.watchWeakRSSI == -91; }},
        {"lean-back",
         [&] { t.slider("Lean-back warning")->slider()->triggerAction(QSlider::SliderSingleStepAdd); },
         [](const auto& c) { return std::abs(c.distanceWarnRatio - 1.19) < 1e-9; }},
        {"missing samples", [&] { t.control<SettingsStepper>("Missing face samples")->increment()->click(); },
         [](const auto& c) { return c.minMissingSamples == 7; }},
        {"bluetooth mode", [&] { emit t.control<SettingsPicker>("Bluetooth mode")->activated(1); },
         [](const auto& c) {
             return c.bluetoothPresenceMode == BluetoothPresenceMode::watch && c.watchGateRequired;
         }},
        {"calibration", [&] { emit t.control<SettingsPicker>("Calibration")->activated(1); },
         [](const auto& c) { return c.distanceCalibrationMode == DistanceCalibrationMode::manual; }},
        {"watch name", [&] { emit t.control<SettingsTextField>("Watch name")->textEdited("Pixel Watch"); },
         [](const auto& c) { return c.watchName == "Pixel Watch"; }},
        {"remote companion",
         [&] { t.named<SettingsToggleRow>(*t.card, "row.Remote companion")->toggle()->click(); },
         [](const auto& c) { return c.remoteCompanionEnabled; }},
        {"sound", [&] { t.control<SettingsSwitch>("Sound")->click(); },
         [](const auto& c) { return c.soundWhenBreakDue; }},
        // The switch also gates the face-based distance coaching that works here.
        {"body pose hints", [&] { t.control<SettingsSwitch>("Body pose hints")->click(); },
         [&t](const auto& c) {
             showFace(*t.monitor, [](FrameAnalysisResult& r) { r.faceWidth = 1.4; });
             MonitorInternals::camera(*t.monitor).setDistanceBaseline(1.0);
             return c.bodyPoseHintsEnabled &&
                    t.monitor->coachingSummaries().nudgeTitle() == "Ease back from the screen";
         }},
    };
    for (const auto& e : edits) {
        const size_t before = t.updates();
        e.edit();
        t.redraw();
        EXPECT_EQ(t.updates(), before + 1) << e.name;
        EXPECT_TRUE(e.stored(t.monitor->config())) << e.name;
    }
    EXPECT_EQ(t.row("Bluetooth mode")->detail(), "Best when you wear your Watch while you step away.");
    EXPECT_EQ(t.row("Calibration")->detail(), "Zorvi uses the distance you set as ideal.");
}

TEST(AdvancedCardTest, RefreshingWritesNothingAndShowsStoredValuesOffTheGridAsStored) {
    AdvancedCard t;
    t.store([](VigilorConfig& c) {
        c.watchWeakRSSI = -99;
        c.lockTimeout = 87.5;
        c.minMissingSamples = 19;
        c.spontaneousWalkCreditDuration = 47;
        c.distanceWarnRatio = 1.15;
    });
    const VigilorConfig stored = t.monitor->config();
    const size_t before = t.updates();
    t.build();
    for (int i = 0; i < 3; ++i) {
        t.h.advance(0.5); // the monitor publishes on every tick
        t.redraw();
    }
    EXPECT_EQ(t.updates(), before);
    EXPECT_EQ(t.monitor->config().toJSON(), stored.toJSON());
    EXPECT_EQ(t.slider("Weak signal threshold")->valueText(), "-99 dBm");
    EXPECT_EQ(t.slider("Move-away delay")->valueText(), "88s");
    EXPECT_EQ(t.slider("Credit a walk after")->valueText(), "47s");
    EXPECT_EQ(t.slider("Lean-back warning")->valueText(), "115%");
    EXPECT_EQ(t.control<SettingsStepper>("Missing face samples")->valueText(), "19");
}

// A half-typed address would get the relay client restarted with it and a signed heartbeat sent to it.
TEST(AdvancedCardTest, TheStatusEndpointIsStoredOnlyWhenEditingEnds) {
    AdvancedCard t;
    t.store([](VigilorConfig& c) { c.remoteCompanionEnabled = true; });
    t.build();
    auto* field = t.control<SettingsTextField>("Status endpoint");
    field->setFocus();
    const size_t before = t.updates();
    const size_t heartbeats = t.h.log.count("relay.sendStatus heartbeat");
    for (const char* part : {"https://rel", "ay.example/status"}) {
        field->insert(QString::fromLatin1(part));
        t.redraw(); // a redraw while typing keeps the typing
    }
    EXPECT_EQ(field->text(), "https://relay.example/status");
    EXPECT_EQ(t.updates(), before);
    EXPECT_EQ(t.h.relay->config.remoteStatusEndpointURL, "");
    EXPECT_EQ(t.h.log.count("relay.sendStatus heartbeat"), heartbeats);

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    t.redraw();
    EXPECT_EQ(t.updates(), before + 1);
    EXPECT_EQ(t.h.relay->config.remoteStatusEndpointURL, "https://relay.example/status");
    EXPECT_EQ(t.h.log.count("relay.sendStatus heartbeat"), heartbeats + 1) << "one, to the whole address";
}

TEST(AdvancedCardTest, PairingRowCopiesTheDetailsPublishesWhenReadyAndStartsPairing) {
    AdvancedCard t;
    t.build();
    QAbstractButton* publish = t.buttonIn("Pairing", "Publish");
    EXPECT_FALSE(publish->isEnabled());
    EXPECT_EQ(publish->toolTip(), "Status endpoint must be configured to publish");
    t.store([](VigilorConfig& c) {
        c.remoteCompanionEnabled = true;
        c.remoteStatusEndpointURL = "https://relay.example/status";
    });
    EXPECT_TRUE(publish->isEnabled());
    EXPECT_EQ(publish->toolTip(), "");
    const size_t heartbeats = t.h.log.count("relay.sendStatus heartbeat");
    publish->click();
    EXPECT_EQ(t.h.log.count("relay.sendStatus heartbeat"), heartbeats + 1);

    t.buttonIn("Pairing", "Copy")->click();
    t.redraw();
    const auto copied = parseJson(QGuiApplication::clipboard()->text().toStdString());
    ASSERT_TRUE(copied);
    EXPECT_EQ((*copied)["status_endpoint"], "https://relay.example/status");
    EXPECT_EQ((*copied)["shared_secret"], t.monitor->config().remoteSharedSecret);
    EXPECT_NE(t.buttonIn("Pairing", "Copied"), nullptr);
    t.h.runLoop.loop().advance(SettingsSectionContext::copiedSeconds);
    t.redraw();
    EXPECT_NE(t.buttonIn("Pairing", "Copy"), nullptr);

    t.buttonIn("Pairing", "Generate a new remote companion secret")->click();
    EXPECT_NE(t.monitor->config().remoteSharedSecret, (*copied)["shared_secret"]);
    t.button(*t.card, QString::fromUtf8("Pair iPhone\u2026"))->click();
    EXPECT_EQ(t.actions, std::vector<std::string>{"startPairing"});
}

// From a build tree the service runs no helper and says why; the row shows that under itself until
// the next press.
TEST(AdvancedCardTest, TheLockScreenRowShowsTheHelpersErrorUntilTheNextPress) {
    ScopedVariable reduceMotion(ZorviAccessibility::reduceMotionVariable, "1");
    AdvancedCard t;
    t.build();
    t.disclosure("Lock screen message")->header()->click();
    auto* warning = t.named<LaunchAtLoginNotice>(*t.card, "notice");
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(warning->isHidden());
    t.button(*t.card, "Enable")->click();
    EXPECT_TRUE(t.context->state().isTogglingLockScreenMessage);
    ASSERT_NE(t.button(*t.card, "Working..."), nullptr);
    EXPECT_FALSE(t.button(*t.card, "Working...")->isEnabled());

    ASSERT_TRUE(t.h.eventually([&] { return !t.context->state().isTogglingLockScreenMessage; }));
    t.settle();
    EXPECT_FALSE(warning->isHidden());
    EXPECT_TRUE(warning->message().startsWith("The lock screen message needs"))
        << warning->message().toStdString();
    EXPECT_EQ(t.context->state().lockScreenMessageError, warning->message().toStdString());
    EXPECT_EQ(t.context->state().lockScreenMessageState, LockScreenMessageState::off());
    t.fit(600 - 24);
    Pictures::save(Pictures::render(*t.host, SystemColor::windowBackground()), artifacts,
                   "advanced-lock-screen-message-error");
    ASSERT_NE(t.button(*t.card, "Enable"), nullptr);
    t.button(*t.card, "Enable")->click();
    EXPECT_TRUE(warning->isHidden()) << "a new try clears the last error";
    // Its helper answers on the main queue, which must still be there.
    EXPECT_TRUE(t.h.eventually([&] { return !t.context->state().isTogglingLockScreenMessage; }));
}

TEST(AdvancedCardTest, LogHeadersCountLinesAndTheBoxesListThem) {
    AdvancedCard t;
    t.build();
    auto* lockLog = t.named<SettingsLogList>(*t.card, "log.Lock & security log");
    const auto shownLockLog = [&] {
        QStringList lines;
        for (const auto& line : t.monitor->log().lockEvents())
            lines << qs(line.shown());
        return lines.empty() ? QStringList{"No lock events yet"} : lines;
    };
    EXPECT_EQ(lockLog->shownTexts(), shownLockLog());
    const size_t start = t.monitor->log().lockEvents().size(); // the start-up's own lines
    for (const char* text : {"Locked", "Unlocked", "Locked"})
        MonitorInternals::log(*t.monitor).appendLockEvent(text);
    t.redraw();
    EXPECT_EQ(t.disclosure("Lock & security log")->detail().toStdString(),
              std::to_string(start + 3) + " entries");
    EXPECT_EQ(lockLog->shownTexts(), shownLockLog());
    EXPECT_EQ(t.disclosure("Recent events")->detail().toStdString(),
              recentEventsDetail(t.monitor->log().events().size()));
    EXPECT_EQ(t.named<SettingsLogList>(*t.card, "log.Recent events")->shownTexts().size(),
              qsizetype(t.monitor->log().events().size()));
}

// One picture per disclosure, opened alone, in a window of the usual and of the least width.
TEST(AdvancedCardTest, RendersEveryDisclosureOpen) {
    ScopedVariable reduceMotion(ZorviAccessibility::reduceMotionVariable, "1");
    AdvancedCard t;
    t.store([](VigilorConfig& c) {
        c.remoteCompanionEnabled = true;
        c.remoteStatusEndpointURL = "https://relay.example/zorvi/status";
    });
    for (int i = 0; i < 4; ++i)
        MonitorInternals::log(*t.monitor).appendLockEvent("Locked by Zorvi after 12 s away (camera saw nobody, no input for 8 s)");
    t.build();
    t.disclosure("Tray & alerts")->header()->click();
    for (auto* d : t.disclosures()) {

        d->header()->click();
        for (const int window : {600, 480}) {
            t.fit(window - 24); // the window's scroll area and the form pad 12 each
            const QImage picture = Pictures::render(*t.host, SystemColor::windowBackground());
            const QString name =
                d->objectName().mid(11).toLower().replace(QRegularExpression("[^a-z]+"), "-");
            Pictures::save(picture, artifacts,
                           "advanced-" + name.toStdString() + "-" + std::to_string(window));
        }
        d->header()->click();
    }
}

} // namespace
