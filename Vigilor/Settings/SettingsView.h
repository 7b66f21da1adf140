#pragma once

#include "Vigilor/Settings/SettingsContent.h"
#include "Vigilor/Settings/SettingsPageState.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QScrollArea;
class VigilorMonitor;

// The settings window's content: the form on one scrolling page over the window's backdrop, never
// wider than 640, in a window kept between 480 × 480 and 720 × 800. It opens on the page as `page`
// left it. Only the cards of the first screenful (at that scroll position) are built with it; the rest
// are built one per turn of the event loop after its first frame, so that neither the first frame nor
// any turn of the loop waits for the whole form.
class SettingsView : public QWidget {
public:
    static constexpr int maximumContentWidth = 640;
    static constexpr QSize minimumWindowSize{480, 480};
    static constexpr QSize idealWindowSize{600, 620};
    static constexpr QSize maximumWindowSize{720, 800};

    SettingsView(std::shared_ptr<VigilorMonitor> monitor, SettingsEnvironment environment = {},
                 SettingsPageState page = {}, QWidget* parent = nullptr);

    SettingsContent* content() const { return content_; }
    QSize sizeHint() const override { return idealWindowSize; }
    // The page as it is now, for the next window.
    SettingsPageState pageState() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFirstScreenful();
    void buildNextSection();
    void restoreDisclosures(QWidget& part) const;

    SettingsContent* content_;
    QScrollArea* scroll_;
    SettingsPageState page_; // as it was given, until the page is shown
    bool scrollRestored_ = false;
    QTimer rest_; // builds the cards after the first screenful, one per turn
};
