#pragma once

#include "Vigilor/Interface/OnboardingModel.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class VigilorMonitor;
class ZorviGlassButton;

// The onboarding window's content: what Zorvi does, that camera frames stay on this machine, and the
// permission rows with their buttons; one button at the foot ends onboarding. The permission states
// shown are a copy of what the camera and Bluetooth last reported to the monitor and of the settings,
// refreshed when the window is shown, when the monitor changes and at each re-check after a press;
// every change goes through the monitor.
class OnboardingView : public QWidget {
public:
    OnboardingView(std::shared_ptr<VigilorMonitor> monitor, std::function<void()> onComplete,
                   QWidget* parent = nullptr);

    ZorviGlassButton* finishButton() const { return finishButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct PermissionRowWidgets;

    QWidget* makeCard(const OnboardingCard& card);
    QWidget* makePermissionRow(OnboardingPermission permission);
    void requestCamera();
    void requestBluetooth();
    void requestScreenLocking();
    void updatePermissionStates();
    void refresh();

    std::shared_ptr<VigilorMonitor> monitor_;
    std::function<void()> onComplete_;
    OnboardingPermissionStates states_;
    std::map<OnboardingPermission, std::shared_ptr<PermissionRowWidgets>> rows_;
    ZorviGlassButton* finishButton_ = nullptr;
};
