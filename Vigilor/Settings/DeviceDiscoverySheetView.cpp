#include "DeviceDiscoverySheetView.h"

#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Monitor/NearbyDevices.h"
#include "Vigilor/Settings/SettingsModels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int maximumListHeight = 280;

// Four bars of 3, 6, 9 and 12 high, lit up to the signal's level.
class SignalBars : public QWidget {
public:
    explicit SignalBars(int level)
        : level_(level) {
        setFixedSize(14, 12);
        setAccessibleName(QStringLiteral("Signal %1 of 4").arg(level));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int bar = 1; bar <= 4; ++bar) {
            painter.setBrush(bar <= level_ ? Theme::success()
                                           : withOpacity(SystemColor::secondaryLabel(), 0.3));
            const double height = 3.0 * bar;
            painter.drawRoundedRect(QRectF((bar - 1) * 3.0, (12 - height) / 2, 2, height), 1, 1);
        }
    }

private:
    int level_;
};

QWidget* searchingRowWidget(QLabel* line) {
    auto* row = zorviGlassPanel(12);
    row->setObjectName(QStringLiteral("searching"));
    auto* icon = new SymbolTile("wifi.exclamationmark", 14, 12, false);
    icon->setColour(SystemColor::secondaryLabel());
    auto* columns = new QHBoxLayout(row);
    columns->setContentsMargins(12, 12, 12, 12);
    columns->setSpacing(8);
    columns->addWidget(icon);
    line->setWordWrap(true);
    columns->addWidget(line, 1);
    return row;
}

} // namespace

DeviceDiscoverySheetView::DeviceDiscoverySheetView(Binding<bool> isPresented,
                                                   std::shared_ptr<VigilorMonitor> monitor,
                                                   SettingsCommands::BluetoothDeviceType deviceType,
                                                   QWidget* parent)
    : QWidget(parent)
    , isPresented_(std::move(isPresented))
    , monitor_(std::move(monitor))
    , deviceType_(deviceType)
    , searchLine_(plainLabel("", zorviCaption(), SystemColor::secondaryLabel()))
    , searching_(searchingRowWidget(searchLine_))
    , list_(new QVBoxLayout) {
    setObjectName(QStringLiteral("deviceDiscoverySheet"));
    auto* backdrop = new ZorviBackdrop(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backdrop);

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    header->addWidget(plainLabel("Find my device", zorviDisplay(), SystemColor::primaryLabel()));
    QLabel* prompt =
        plainLabel(devicePickerPrompt(deviceType_), zorviCaption(), SystemColor::secondaryLabel());
    prompt->setWordWrap(true);
    header->addWidget(prompt);

    auto* listHolder = new QWidget;
    listHolder->setLayout(list_);
    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(4);
    list_->addWidget(searching_);
    list_->addStretch(1);
    scroll_ = plainScrollArea(listHolder, Qt::ScrollBarAsNeeded);

    auto* card = zorviGlassPanel(22);
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(12, 12, 12, 12);
    cardColumn->setSpacing(8);
    cardColumn->addWidget(plainLabel("NEARBY DEVICES", zorviMicro(), SystemColor::secondaryLabel()));
    cardColumn->addWidget(scroll_);

    auto* close = new ZorviGlassButton(QStringLiteral("Close"));
    close->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(close, &QPushButton::clicked, this, [this] { isPresented_.set(false); });

    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addLayout(header);
    column->addWidget(card);
    column->addWidget(close);
    column->addStretch(1);

    // The monitor announces a change before making it: read it on the next turn.
    subscription_ = monitor_->subscribe([self = QPointer<DeviceDiscoverySheetView>(this)] {
        QTimer::singleShot(0, self, [self] {
            if (self && self->isVisible())
                self->refresh();
        });
    });
    refresh();
}

DeviceDiscoverySheetView::~DeviceDiscoverySheetView() {
    monitor_->unsubscribe(subscription_);
    if (discovering_)
        monitor_->stopDeviceDiscovery();
}

// On screen the monitor scans; leaving the screen, however it happens, stops the scan.
void DeviceDiscoverySheetView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!discovering_) {
        discovering_ = true;
        monitor_->startDeviceDiscovery();
    }
    refresh();
}

void DeviceDiscoverySheetView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (discovering_) {
        discovering_ = false;
        monitor_->stopDeviceDiscovery();
    }
}

void DeviceDiscoverySheetView::refresh() {
    searchLine_->setText(QString::fromStdString(devicePickerSearchLine(*monitor_)));
    std::vector<std::pair<ZorviDiscoveredDevice, bool>> listed;
    for (const ZorviDiscoveredDevice& device : monitor_->nearbyDevices().discoveredDevices())
        listed.emplace_back(device, isDeviceSelected(monitor_->config(), deviceType_, device.id));
    if (listed == shown_)
        return;
    shown_ = listed;
    for (QWidget* row : rows_)
        delete row;
    rows_.clear();
    for (const auto& [device, selected] : shown_) {
        rows_.push_back(deviceRow(device, selected));
        list_->insertWidget(int(rows_.size()) - 1, rows_.back());
        rows_.back()->setVisible(true); // now, so that it counts in the list's height below
    }
    searching_->setVisible(shown_.empty());
    // As tall as the list, up to 280; beyond that the list scrolls.
    list_->activate();
    scroll_->setFixedHeight(std::min(maximumListHeight, scroll_->widget()->sizeHint().height()));
}

std::vector<QWidget*> DeviceDiscoverySheetView::deviceRows() const {
    return rows_;
}

QWidget* DeviceDiscoverySheetView::deviceRow(const ZorviDiscoveredDevice& device, bool selected) {
    auto* row = zorviGlassPanel(12);
    row->setObjectName(QStringLiteral("device.") + qs(device.id));
    row->setAccessibleName(qs(device.name));
    auto* signal = new QHBoxLayout;
    signal->setSpacing(4);
    signal->addWidget(new SignalBars(signalLevel(device.rssi)));
    QFont digits = zorviCaption();
    digits.setStyleHint(QFont::Monospace);
    QLabel* strength =
        plainLabel(std::to_string(device.rssi) + " dBm", digits, SystemColor::secondaryLabel());
    signal->addWidget(strength);
    signal->addStretch(1);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(plainLabel(device.name, zorviControl(), SystemColor::primaryLabel()));
    texts->addLayout(signal);

    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(8, 8, 8, 8);
    line->setSpacing(12);
    line->addLayout(texts, 1);
    if (selected) {
        auto* check = new SymbolTile("checkmark.circle.fill", 20, 16, false);
        check->setColour(Theme::success());
        check->setAccessibleName(QStringLiteral("Selected"));
        line->addWidget(check);
    } else {
        auto* choose = new ZorviGlassButton(QStringLiteral("Select"));
        choose->setFont(zorviControl());
        choose->setAccessibleName(QStringLiteral("Select ") + qs(device.name));
        connect(choose, &QPushButton::clicked, this, [this, device] { select(device); });
        line->addWidget(choose);
    }
    return row;
}

// Two updates: the identifier only when it is a UUID, then the name in every case. The sheet stays.
void DeviceDiscoverySheetView::select(const ZorviDiscoveredDevice& device) {
    monitor_->settings().updateDeviceUUID(device.id, deviceType_);
    monitor_->settings().updateDeviceName(device.name, deviceType_);
}
