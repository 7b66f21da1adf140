#pragma once

#include "Vigilor/Interface/ZorviEyesModel.h"

#include <QColor>

#include <string>
#include <vector>

class VigilorMonitor;

// One chip of the menu's signal strip.
struct SignalChipModel {
    std::string title;
    std::string value;
    std::string systemImage;
    QColor tint;
    std::string accessibilityLabel; // empty: the title, a colon, a blank and the value
};

// Everything the menu panel's content shows, read from the monitor at one moment: the texts, the
// colour roles and which sections are there. The view draws this and nothing else.
struct MenuContentModel {
    QColor levelTint; // the nudge card's and the Settings gear's colour

    // Header.
    ZorviEyesInputs eyes;
    std::string nudgeTitle;
    std::string nudgeDetail;

    // Nudge card.
    bool showNudgeCard = false;
    std::string nudgeLabel;
    std::string nudgeSystemImage;
    std::string decision;

    // Controls card.
    bool showPermissionButton = false;
    bool permissionForCamera = true; // else for Bluetooth: "Continue for camera" or "Continue for Bluetooth"
    std::string permissionSymbol;
    bool autoLockOn = false;
    bool showLockingOffRow = false;

    // Movement: the break-off card when walk breaks are off, else the walk countdown.
    bool walkBreakEnabled = false;
    bool walkDue = false;
    std::string movementSystemImage;
    std::string movementLine;
    std::string movementAccessibilityLabel;
    double walkProgress = 0;
    QColor movementTint;

    std::vector<SignalChipModel> chips;
};

// Whether the permission button asks for the camera (or else for Bluetooth): it is named for the device
// refused.
bool permissionIsForCamera(const VigilorMonitor& monitor);
std::string permissionSymbol(const VigilorMonitor& monitor);

MenuContentModel menuContentModel(const VigilorMonitor& monitor);

// The invitation the copy button puts on the clipboard, ending in the store listing's web address.
std::string storeAsk(const std::string& listingWebAddress);
