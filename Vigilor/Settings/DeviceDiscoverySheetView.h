#pragma once

#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/SettingsModel/Binding.h"

#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QScrollArea;
class QVBoxLayout;

// The Bluetooth device picker for the watch or the phone. While it is on screen the monitor scans, the
// sheet lists the devices heard recently (strongest first, as the monitor orders them) with their
// signal, and "Select" makes a device the configured companion of the sheet's type: its identifier
// (when it is a UUID) and its name, through the update path. It keeps no state of its own.
class DeviceDiscoverySheetView : public QWidget {
public:
    DeviceDiscoverySheetView(Binding<bool> isPresented, std::shared_ptr<VigilorMonitor> monitor,
                             SettingsCommands::BluetoothDeviceType deviceType, QWidget* parent = nullptr);
    ~DeviceDiscoverySheetView() override;

    SettingsCommands::BluetoothDeviceType deviceType() const { return deviceType_; }
    // The rows shown: the searching row alone while no device is listed.
    QWidget* searchingRow() const { return searching_; }
    std::vector<QWidget*> deviceRows() const;
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* deviceRow(const ZorviDiscoveredDevice& device, bool selected);
    void select(const ZorviDiscoveredDevice& device);

    Binding<bool> isPresented_;
    std::shared_ptr<VigilorMonitor> monitor_;
    SettingsCommands::BluetoothDeviceType deviceType_;
    int subscription_ = 0;
    bool discovering_ = false;
    QLabel* searchLine_;
    QWidget* searching_;
    QVBoxLayout* list_;
    QScrollArea* scroll_;
    std::vector<QWidget*> rows_;
    // What the rows show now, so that an unchanged list is not rebuilt.
    std::vector<std::pair<ZorviDiscoveredDevice, bool>> shown_;
};
