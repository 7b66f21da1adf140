#include "OnboardingView.h"

#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MonitorRefresh.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

constexpr int largeControlHeight = 32;

QColor tintColor(OnboardingTint tint) {
    switch (tint) {
    case OnboardingTint::success:
        return Theme::success();
    case OnboardingTint::notice:
        return Theme::notice();
    case OnboardingTint::warning:
        return Theme::warning();
    }
    return Theme::notice();
}

// Title over subtitle (or description), as one column.
QVBoxLayout* titleColumn(QWidget* title, QWidget* detail) {
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(title);
    column->addWidget(detail);
    return column;
}

} // namespace

struct OnboardingView::PermissionRowWidgets {
    QWidget* row = nullptr;
    SymbolTile* icon = nullptr;
    ClampedLabel* description = nullptr;
    SymbolTile* checkmark = nullptr;
    ZorviGlassButton* button = nullptr;
};

OnboardingView::OnboardingView(std::shared_ptr<VigilorMonitor> monitor, std::function<void()> onComplete,
                               QWidget* parent)
    : QWidget(parent)
    , monitor_(std::move(monitor))
    , onComplete_(std::move(onComplete)) {
    auto* backdrop = new ZorviBackdrop(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backdrop);

    auto* cards = new QWidget;
    auto* cardColumn = new QVBoxLayout(cards);
    cardColumn->setContentsMargins(16, 16, 16, 16);
    cardColumn->setSpacing(20);
    for (const OnboardingCard& card : onboardingCards())
        cardColumn->addWidget(makeCard(card));
    cardColumn->addStretch();

    // A window shortened to fit a small screen shows that its cards go on below.
    auto* scroll = plainScrollArea(cards, Qt::ScrollBarAsNeeded);
    scroll->setObjectName(QStringLiteral("cards"));

    finishButton_ = new ZorviGlassButton(QStringLiteral("Start using Zorvi"), {}, true);
    finishButton_->setObjectName(QStringLiteral("finish"));
    finishButton_->setMinimumHeight(largeControlHeight);
    finishButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(finishButton_, &QPushButton::clicked, this, [this] { onComplete_(); });
    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(12);
    footer->addWidget(finishButton_);

    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(scroll, 1);
    column->addLayout(footer);

    // The camera and Bluetooth report to the monitor at their own pace: every report shows.
    new MonitorRefresh(*this, monitor_, [this] { updatePermissionStates(); });
    updatePermissionStates();
}

QWidget* OnboardingView::makeCard(const OnboardingCard& card) {
    const QColor tint = tintColor(card.tint);
    auto* panel = zorviGlassPanel(12);
    panel->setObjectName(qs(card.name));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(12);

    auto* header = new QWidget;
    header->setAccessibleName(qs(card.title + ", " + card.subtitle));
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(12);
    auto* tile = new SymbolTile(card.symbol, 48, 24, true);
    tile->setColour(tint);
    headerRow->addWidget(tile);
    headerRow->addLayout(
        titleColumn(plainLabel(card.title, zorviTitle(), SystemColor::primaryLabel()),
                    plainLabel(card.subtitle, zorviCaption(), SystemColor::secondaryLabel())),
        1);
    column->addWidget(header);

    if (!card.body.empty()) {
        QLabel* body = plainLabel(card.body, zorviBody(), SystemColor::primaryLabel());
        body->setWordWrap(true);
        body->setAccessibleName(qs(card.accessibilityLabel));
        column->addWidget(body);
    }
    if (card.name == "permissionsSection") {
        auto* rows = new QVBoxLayout;
        rows->setSpacing(8);
        for (OnboardingPermission permission :
             {OnboardingPermission::camera, OnboardingPermission::appleWatch,
              OnboardingPermission::screenLocking})
            rows->addWidget(makePermissionRow(permission));
        column->addLayout(rows);
    }
    return panel;
}

QWidget* OnboardingView::makePermissionRow(OnboardingPermission permission) {
    const OnboardingPermissionRow& model = onboardingPermissionRow(permission);
    auto widgets = std::make_shared<PermissionRowWidgets>();
    auto* row = zorviGlassPanel(12, std::nullopt, true);
    row->setObjectName(qs("row." + model.title));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(12, 12, 12, 12);
    line->setSpacing(12);

    widgets->icon = new SymbolTile(model.symbol, 36, 16, true);
    line->addWidget(widgets->icon);
    // Up to two lines: beside the row's button one line holds only the short descriptions.
    widgets->description = new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 2, true);
    widgets->description->setObjectName(QStringLiteral("description"));
    line->addLayout(titleColumn(plainLabel(model.title, zorviControl(), SystemColor::primaryLabel()),
                                widgets->description),
                    1);

    widgets->checkmark = new SymbolTile("checkmark.circle.fill", 20, 16, false);
    widgets->checkmark->setColour(Theme::success());
    widgets->checkmark->setAccessibleName(QStringLiteral("Granted"));
    line->addWidget(widgets->checkmark);

    widgets->button = new ZorviGlassButton(qs(model.buttonText), {}, true);
    widgets->button->setObjectName(QStringLiteral("action"));
    widgets->button->setFont(zorviCaption());
    widgets->button->setMinimumWidth(widgets->button->sizeHint().width()); // the label is never cut
    widgets->button->setAccessibleName(qs(model.buttonText + " " + model.title));
    connect(widgets->button, &QPushButton::clicked, this, [this, permission] {
        switch (permission) {
        case OnboardingPermission::camera:
            return requestCamera();
        case OnboardingPermission::appleWatch:
            return requestBluetooth();
        case OnboardingPermission::screenLocking:
            return requestScreenLocking();
        }
    });
    line->addWidget(widgets->button);

    widgets->row = row;
    rows_[permission] = widgets;
    return row;
}

void OnboardingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        updatePermissionStates();
}

// The Camera and the Apple Watch rows ask the same: the camera, then Bluetooth.
void OnboardingView::requestCamera() {
    monitor_->requestCameraThenBluetooth();
    pollPermissionStatus([view = QPointer<OnboardingView>(this)] {
        if (view)
            view->updatePermissionStates();
    });
}

void OnboardingView::requestBluetooth() {
    requestCamera();
}

void OnboardingView::requestScreenLocking() {
    monitor_->settings().updateConfig([](VigilorConfig& config) { config.screenLockingEnabled = true; });
    states_.screenLockingEnabled = true;
    refresh();
}

void OnboardingView::updatePermissionStates() {
    // Allowing a lock that no locker can make is no grant: the row says why.
    const bool noLocker = monitor_->sessionHasScreenLocker() == false;
    states_ = permissionStatesFrom(monitor_->cameraPresence().cameraState().kind,
                                   monitor_->companion().bluetoothState(),
                                   monitor_->config().screenLockingEnabled,
                                   noLocker ? std::string(VigilorMonitor::noScreenLockerText) + "."
                                            : std::string());
    refresh();
}

void OnboardingView::refresh() {
    const auto visible =
        visiblePermissionRows(monitor_->companion().bluetoothPresenceEnabled());
    for (const auto& [permission, widgets] : rows_) {
        const bool granted = states_.granted(permission);
        widgets->row->setVisible(std::find(visible.begin(), visible.end(), permission) != visible.end());
        widgets->icon->setColour(granted ? Theme::success() : SystemColor::secondaryLabel());
        const QString description = qs(onboardingPermissionDescription(permission, states_));
        widgets->description->setText(description);
        widgets->description->setToolTip(description);
        widgets->checkmark->setVisible(granted);
        widgets->button->setVisible(!granted);
    }
}
