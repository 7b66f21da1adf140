#pragma once

#include "Vigilor/Companion/RemoteCompanion.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Interface/DashboardTiles.h"
#include "Vigilor/Design/PresenceMarkView.h"
#include "Vigilor/Monitor/ActivityLog.h"

#include <QColor>

#include <optional>
#include <string>
#include <vector>

class VigilorMonitor;

// Everything the dashboard shows besides its desk-health and movement cards, read from the monitor at
// one moment: the texts, the tints and which parts are there. The view draws this and nothing else.

// The signal grid's last row: what this build needs of the machine it runs on.
inline constexpr const char* compatibilityRequirement = "Debian 12+, X11 or XWayland beta";

struct SignalRow {
    std::string title;
    std::string value;
    bool operator==(const SignalRow&) const = default;
};


// Tile tints: a follow rate of at least 75 takes the panel's colour, anything else (no
// opportunities included) the system orange.
QColor rhythmTileTint(const WellnessPeriodSummary& summary);
QColor walkTileTint(const WellnessPeriodSummary& summary);

struct RecoveryFigure {
    std::string title;
    std::string value; // whole units
    std::string unit;
    bool operator==(const RecoveryFigure&) const = default;
};
struct RecoveryCardModel {
    bool visible = false; // false while neither figure is known
    std::vector<RecoveryFigure> figures;
    std::string band; // capitalised word by word
    QColor tint;
};
RecoveryCardModel recoveryCardModel(const RecoveryMirror& recovery);

struct StatusWindowModel {
    PresenceMarkView::State mark;
    std::string lockReason;
    QColor heroTint;

    QColor movementTint;
    QColor postureTint;
    QColor poseTint;

    std::vector<StatusMeterModel> meters;

    std::vector<WellnessPeriodSummary> periods;
    std::vector<QColor> rhythmTints;
    std::vector<QColor> walkTints;
    std::string wellnessRhythmStatus;
    std::string walkRhythmStatus;

    std::vector<SignalRow> signalRows;

    std::vector<LogLine> lockRows; // the newest six lines
    size_t lockEventCount = 0;          // every line of the log
    std::optional<std::string> suppressionReason;

    bool autoLockEnabled = false;
    std::string pauseTitle; // "Pause" or "Resume"

    RecoveryCardModel recovery;
};

StatusWindowModel statusWindowModel(const VigilorMonitor& monitor);

// The presence mark of the dashboard's and the settings window's heroes, named for what blocks it.
PresenceMarkView::State presenceMarkState(const VigilorMonitor& monitor);
