#pragma once

#include "Vigilor/SettingsModel/Binding.h"
#include "Vigilor/SettingsModel/SettingsBindings.h"

#include <QWidget>

#include <string>

class ClampedLabel;
class QLabel;
class QVariantAnimation;
class SymbolTile;
class ZorviGlassButton;

// The phone pairing sheet: the six-digit code to type on the phone while this computer advertises
// itself, then the outcome. It only shows what it is given and closes itself; the pairing attempt is
// the settings form's, and closing the sheet leaves it running.
class CompanionPairingSheetView : public QWidget {
public:
    explicit CompanionPairingSheetView(Binding<bool> isPresented, QWidget* parent = nullptr);

    void update(const std::string& code, PairingSheetState state, const std::string& error);

    QString codeText() const;
    QString stateText() const;
    QString errorText() const; // empty while no error line is shown
    ZorviGlassButton* cancelButton() const { return cancelButton_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The advertising mark pulses while it is on screen, unless the desktop asks for reduced motion.
    void updatePulse();

    Binding<bool> isPresented_;
    bool advertising_ = true;
    QLabel* hint_;
    QLabel* code_;
    SymbolTile* stateMark_;
    QLabel* stateText_;
    ClampedLabel* error_;
    ZorviGlassButton* cancelButton_;
    QVariantAnimation* pulse_;
};
