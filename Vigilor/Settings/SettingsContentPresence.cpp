// Locking uses (which signals tell that the user has left) and the known-face lock.
#include "SettingsContent.h"

#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

using Device = SettingsCommands::BluetoothDeviceType;

ZorviGlassButton* presenceButton(const QString& title, const std::string& symbol) {
    auto* button = new ZorviGlassButton(title, symbol, false);
    zorviPointingHandCursor(*button, true);
    return button;
}

QHBoxLayout* buttonRow(std::initializer_list<QWidget*> buttons) {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    for (QWidget* button : buttons)
        row->addWidget(button);
    row->addStretch(1);
    return row;
}

} // namespace

SettingsSectionCard* SettingsContent::presenceSection() {
    auto* mode = context_->track(new SegmentedPicker(
        SettingsChoices<LockingModeOption>{context_->bindings().lockingMode(),
                                           {{LockingModeOption::cameraOnly, QStringLiteral("Camera only")},
                                            {LockingModeOption::deviceOnly, QStringLiteral("Watch or phone")},
                                            {LockingModeOption::both, QStringLiteral("Both")}}}));
    mode->setObjectName(QStringLiteral("lockingMode"));
    mode->setAccessibleName(QStringLiteral("Locking uses"));
    QWidget* block = bluetoothBlock();
    context_->onRefresh([this, block] {
        block->setVisible(lockingModeForConfig(monitor_->config()) != LockingModeOption::cameraOnly);
    });
    return settingsSection(QStringLiteral("Locking uses"),
                           QStringLiteral("How Zorvi detects when you leave."),
                           "dot.radiowaves.left.and.right", Theme::success(), {mode, block});
}

// Shown while a Bluetooth device takes part: its mode, the pickers, the names to match, how long it
// may be out of range, phone pairing, and what a lock then needs.
QWidget* SettingsContent::bluetoothBlock() {
    const SettingsBindings& b = context_->bindings();
    auto* mode = context_->track(new SettingsPicker(
        SettingsChoices<BluetoothPresenceMode>{
            b.bluetoothPresenceMode(),
            {{BluetoothPresenceMode::watch, QStringLiteral("Apple Watch")},
             {BluetoothPresenceMode::phone, QStringLiteral("Phone I carry")},
             {BluetoothPresenceMode::either, QStringLiteral("Watch or phone")}}},
        190));
    auto* modeRow = new SettingsControlRow(QStringLiteral("Bluetooth mode"), {},
                                           "dot.radiowaves.left.and.right", Theme::success(), mode);
    auto* findWatch = presenceButton(QStringLiteral("Find my Watch"), "dot.radiowaves.left.and.right");
    auto* findPhone = presenceButton(QStringLiteral("Find my iPhone"), "iphone");
    connect(findWatch, &QPushButton::clicked, this, [this] { context_->presentDevicePicker(Device::watch); });
    connect(findPhone, &QPushButton::clicked, this, [this] { context_->presentDevicePicker(Device::phone); });
    const auto nameField = [&](Binding<std::string> binding, const char* placeholder) {
        return context_->track(new SettingsTextField(std::move(binding), QString::fromUtf8(placeholder), 190,
                                                     SettingsTextField::Commit::everyEdit));
    };
    auto* pair = presenceButton(QStringLiteral("Pair iPhone"), "iphone.and.arrow.forward");
    pair->setObjectName(QStringLiteral("pairIPhone"));
    connect(pair, &QPushButton::clicked, this, [this] { context_->startPairing(); });
    auto* pairRow = new QWidget;
    pairRow->setLayout(buttonRow({pair}));
    pairRow->layout()->setContentsMargins(0, 0, 0, 0);
    QLabel* note = plainLabel("", zorviFont(12, QFont::Normal), SystemColor::secondaryLabel());
    note->setObjectName(QStringLiteral("presenceNote"));
    note->setWordWrap(true);
    note->setContentsMargins(0, 4, 0, 0);

    auto* block = new QWidget;
    block->setObjectName(QStringLiteral("bluetoothBlock"));
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(modeRow);
    column->addLayout(buttonRow({findWatch, findPhone}));
    column->addWidget(new SettingsControlRow(
        QStringLiteral("Watch name"), QStringLiteral("Match Bluetooth devices containing this text."),
        "text.magnifyingglass", Theme::success(), nameField(b.watchName(), "Apple Watch")));
    column->addWidget(new SettingsControlRow(
        QStringLiteral("Phone name"),
        QStringLiteral("Match the phone you carry when Bluetooth mode uses phone presence."), "iphone",
        Theme::success(), nameField(b.phoneName(), "iPhone")));
    column->addWidget(context_->track(new SliderRow(QStringLiteral("Away grace"),
                                                    b.configBinding(&VigilorConfig::watchGrace),
                                                    SliderGrid::of(SettingRanges::watchGrace), "s")));
    column->addWidget(pairRow);
    column->addWidget(note);
    context_->onRefresh([this, modeRow, pairRow, note] {
        const VigilorConfig& config = monitor_->config();
        modeRow->setDetail(qs(bluetoothModeDetail(config.bluetoothPresenceMode)));
        pairRow->setVisible(offersPhonePairing(config.bluetoothPresenceMode));
        note->setText(qs(presenceNote(lockingModeForConfig(config), monitor_->companion().bluetoothState())));
    });
    return block;
}

SettingsSectionCard* SettingsContent::knownVigilorSection() {
    auto* enrol = new ZorviGlassButton(QStringLiteral("Enrol your face"), "camera.badge.checkmark", false);
    enrol->setObjectName(QStringLiteral("enrolFace"));
    enrol->setFont(zorviControl());
    zorviPointingHandCursor(*enrol, true);
    // The sheet opens first; the new progress arrives after it.
    connect(enrol, &QPushButton::clicked, this, [this] { context_->presentFaceEnrolment(); });
    auto* enrolRow = new QWidget;
    enrolRow->setLayout(buttonRow({enrol}));
    enrolRow->layout()->setContentsMargins(0, 0, 0, 0);
    const QString detail = QStringLiteral("Unknown faces at the desk do not keep the computer unlocked.");
    auto* requireRow = context_->track(
        new SettingsToggleRow(QStringLiteral("Require face recognition"), detail, "faceid", Theme::warning(),
                              context_->bindings().requireKnownFaceForPresence()));
    requireRow->setObjectName(QStringLiteral("requireKnownFace"));
    context_->onRefresh([this, enrolRow, requireRow, detail] {
        enrolRow->setVisible(monitor_->config().requireKnownFaceForPresence);
        // While enrolled prints cannot be read, that is what the row says (its detail has two lines).
        const std::size_t unreadable = monitor_->cameraPresence().unreadableEnrolledPrints();
        requireRow->setDetail(unreadable == 0 ? detail : qs(unreadableEnrolledPrintsText(unreadable)) + ".");
    });
    return settingsSection(
        QStringLiteral("Known-Face Lock"),
        QStringLiteral(
            "Keep the screen locked unless Zorvi recognises your face. Your face template never leaves "
            "this computer."),
        "faceid", Theme::warning(), {requireRow, enrolRow});
}
