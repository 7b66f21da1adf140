#pragma once

#include "Vigilor/Updates/UpdateCheck.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class SymbolTile;
class ZorviGlassButton;

// What the update window says about one outcome, as plain values.
struct UpdateAnnouncement {
    std::string symbol;
    enum class Tint { success, notice, warning } tint = Tint::notice;
    std::string title;
    std::string message;
    std::string notes;       // a new release's notes; empty otherwise
    bool offersPage = false; // "Skip This Version", "Later" and "Open Download Page" instead of "OK"
};
UpdateAnnouncement updateAnnouncement(const UpdateCheckOutcome& outcome, const std::string& runningVersion);

// The small window that announces a new release with its notes, a button that opens its download
// page and one that skips its version, or tells a user who asked that Zorvi is up to date or why the
// check failed. One window serves every outcome; showing a new one replaces what it said.
class UpdateAnnouncementWindow : public QWidget {
public:
    UpdateAnnouncementWindow(std::function<void(const std::string& link)> openPage,
                             std::function<void(const std::string& version)> skipVersion,
                             QWidget* parent = nullptr);

    // Shown centred over `over` (the window the check was asked from) as one of its windows, else
    // centred on the screen under the pointer.
    void present(const UpdateCheckOutcome& outcome, const std::string& runningVersion,
                 QWidget* over = nullptr);
    const UpdateAnnouncement& announcement() const { return announcement_; }
    ZorviGlassButton* primaryButton() const { return primary_; }
    ZorviGlassButton* skipButton() const { return skip_; }

private:
    void placeOver(QWidget* over);

    std::function<void(const std::string&)> openPage_;
    std::function<void(const std::string&)> skipVersion_;
    UpdateAnnouncement announcement_;
    AppcastItem release_; // the release announced; empty for other outcomes
    SymbolTile* badge_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* message_ = nullptr;
    QWidget* notesPanel_ = nullptr;
    QLabel* notes_ = nullptr;
    ZorviGlassButton* skip_ = nullptr;
    ZorviGlassButton* later_ = nullptr;
    ZorviGlassButton* primary_ = nullptr;
};
