#pragma once

#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/GdmBanner/LockScreenMessageState.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/SettingsModel/SettingsBindings.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class CompanionPairingService;
class LockScreenMessageService;
class QLabel;

// The view-local state of the settings form (SettingsContent): made when the form is built, never
// saved. The sheet flags present the four sheets; the pairing fields are the running pairing attempt;
// the "Copied" flags are the copy buttons' confirmations.
struct SettingsViewState {
    bool isCopied = false; // the pairing-details copy
    LockScreenMessageState lockScreenMessageState;
    bool isTogglingLockScreenMessage = false;
    // What the lock-screen message helper last reported as failing; shown until the next action.
    std::string lockScreenMessageError;
    bool showPairingSheet = false;
    std::shared_ptr<CompanionPairingService> pairingService;
    std::string pairingCode;
    PairingSheetState pairingState = PairingSheetState::advertising;
    std::string pairingError;
    bool showWatchDiscoverySheet = false;
    bool showPhoneDiscoverySheet = false;
    bool showFaceEnrolmentSheet = false;
    bool shareAskCopied = false;
};

// What every section builder of the settings form receives: the monitor and its bindings, the form's
// view state, the form's actions, and the one way to keep a section's widgets current. A section
// builds its widgets once and registers what redraws them; the form runs every registered refresh
// after each change of the monitor (at most once per turn of the event loop, while shown) and after
// each change of its view state. Conditional rows are shown and hidden there, never rebuilt.
class SettingsSectionContext {
public:
    struct Actions {
        std::function<void()> startPairing;
        std::function<void(SettingsCommands::BluetoothDeviceType)> presentDevicePicker;
        std::function<void()> presentFaceEnrolment;
    };

    static constexpr double copiedSeconds = 1.5;

    SettingsSectionContext(std::shared_ptr<VigilorMonitor> monitor,
                           std::shared_ptr<LockScreenMessageService> lockScreenMessages, Actions actions);

    VigilorMonitor& monitor() const { return *monitor_; }
    const SettingsBindings& bindings() const { return bindings_; }
    LockScreenMessageService& lockScreenMessages() const { return *lockScreenMessages_; }

    const SettingsViewState& state() const { return state_; }
    // Applies `change` to the view state, then redraws.
    void setState(const std::function<void(SettingsViewState&)>& change);

    // Registers a redraw; redraws run in the order registered.
    void onRefresh(std::function<void()> refresh);
    // Registers `widget->refresh()` and returns the widget, for the kit's rows and controls.
    template <class W> W* track(W* widget) {
        onRefresh([widget] { widget->refresh(); });
        return widget;
    }
    void refresh() { refreshFrom(0); }
    // Runs the redraws registered from the `first`-th on: those of a part built after the others.
    void refreshFrom(size_t first);
    size_t refreshCount() const { return refreshes_.size(); }

    void startPairing() const { actions_.startPairing(); }
    void presentDevicePicker(SettingsCommands::BluetoothDeviceType type) const {
        actions_.presentDevicePicker(type);
    }
    void presentFaceEnrolment() const { actions_.presentFaceEnrolment(); }

    // Puts `text` on the clipboard; when the clipboard took it, sets `flag` and clears it again
    // copiedSeconds later (each copy schedules its own reset, none is cancelled). Whether it took it.
    bool copyWithConfirmation(const std::string& text, bool SettingsViewState::*flag);

private:
    std::shared_ptr<VigilorMonitor> monitor_;
    SettingsBindings bindings_;
    std::shared_ptr<LockScreenMessageService> lockScreenMessages_;
    Actions actions_;
    SettingsViewState state_;
    std::vector<std::function<void()>> refreshes_;
    bool refreshing_ = false;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(); // outlived by delayed resets
};

// A card of the settings page: a header of an icon tile, the title in upper case and a one-line
// subtitle, then the card's rows in a column, on a glass panel of the tint.
class SettingsSectionCard : public ZorviGlassSurface {
public:
    SettingsSectionCard(const QString& title, const QString& subtitle, const std::string& systemImage,
                        const QColor& tint, const std::vector<QWidget*>& rows, QWidget* parent = nullptr);
    const QString& title() const { return title_; }
    QString subtitle() const;

private:
    QString title_;
    QLabel* subtitle_;
};

// The card builder every section of the settings page uses.
SettingsSectionCard* settingsSection(const QString& title, const QString& subtitle,
                                     const std::string& systemImage, const QColor& tint,
                                     std::initializer_list<QWidget*> rows);
SettingsSectionCard* settingsSection(const QString& title, const QString& subtitle,
                                     const std::string& systemImage, const QColor& tint,
                                     const std::vector<QWidget*>& rows);

// A sheet of the settings window: a window-modal dialog over it, shown exactly while its flag holds.
// Closing it any way (its own button, Escape, the window's close button) clears the flag. Each opening
// centres it over the window, shortened where the work area of that window's screen has less room: its
// content then scrolls.
class SettingsSheet : public QDialog {
public:
    // Its size: `fixed`; `resizable` from that least size; or `fitted`: the size's width and the height
    // its content needs at that width, followed while the sheet is shown as the content grows or shrinks.
    enum class Sizing { fixed, resizable, fitted };

    SettingsSheet(const QString& title, QWidget* content, Binding<bool> isPresented, QSize size,
                  Sizing sizing, QWidget* window);
    // Shows or hides the sheet by its flag.
    void refresh();

protected:
    void done(int result) override;

private:
    void takeOwnSize();
    QSize fittedSize() const;
    void followContent();

    Binding<bool> isPresented_;
    QWidget* content_;
    QSize size_;
    Sizing sizing_;
    QSize fitted_; // the fitted size last given
};
