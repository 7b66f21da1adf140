#pragma once

#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <QColor>
#include <QDBusConnection>
#include <QImage>
#include <QPainter>
#include <QSize>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QMenu;
class QWidget;

// The weekly share card: the user's desk-health week as a fixed-size picture (the 7-day average with
// its band, one bar per day of the last week, the streak and the week's walks and eye rests), written
// as a PNG file of the user's own and offered to copy, open or show in the file manager.

struct WrapCardBar {
    Date day;
    double height = 0; // at least 10 with data, 6 without, 90 at a score of 100
    bool hasData = false;
    bool operator==(const WrapCardBar&) const = default;
};

struct WrapCardModel {
    int64_t average = 0; // the 7-day average: the number the card shows
    // The band of that same number, so that the word and the colour agree with it.
    std::string bandWord;
    QColor bandColour;
    std::vector<WrapCardBar> bars; // the last 7 days, oldest at the left; fewer when the history is
    int64_t streak = 0;
    int64_t weekWalks = 0;
    int64_t weekEyeRests = 0;
};
WrapCardModel wrapCardModel(const DeskHealthSummary& summary);

namespace WellnessWrapCard {

inline constexpr QSize cardSize{540, 675}; // painted in these units,
inline constexpr int scale = 2;            // rendered at twice that in pixels
inline constexpr const char* fileName = "Zorvi-Desk-Health.png";

// Paints the card into a 540 × 675 area at the painter's origin.
void paint(QPainter& painter, const WrapCardModel& model);
// The card as a 1080 × 1350 picture (device pixel ratio 2).
QImage render(const DeskHealthSummary& summary);

// The folder for the card file: "zorvi" in the user's runtime folder ($XDG_RUNTIME_DIR) when there is
// one, else in the user's cache folder. Never a shared folder such as /tmp.
std::filesystem::path folder();
// Writes `image` as PNG to `fileName` in `into`, replacing any earlier card at once (readers see the
// old picture or the new one, never half of one). The folder is made, or kept, the user's own with
// mode 0700 and the file gets 0600; a folder that belongs to someone else is refused. The file's path,
// or nothing when any step failed.
std::optional<std::filesystem::path> write(const QImage& image, const std::filesystem::path& into = folder());

// Shows `file` selected in the file manager (org.freedesktop.FileManager1 ShowItems on `bus`, without
// waiting for it); when no file manager answers, opens the file's folder instead.
void showInFolder(const std::filesystem::path& file, QDBusConnection bus = QDBusConnection::sessionBus(),
                  ZorviShareService::LinkOpener open = ZorviShareService::openWithDesktop);

// The share step offered beside `window`: "Copy Image", "Open" and "Show in Folder". The menu deletes
// itself when it closes.
QMenu* offer(const std::filesystem::path& file, const QImage& image, QWidget& window);

// Renders the card from `summary`, writes it and offers it beside the active window, or shows it in
// the file manager when no window of the application is active. A failure ends it, with a line in the
// developer log.
void share(const DeskHealthSummary& summary);

} // namespace WellnessWrapCard
