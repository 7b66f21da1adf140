#pragma once

#include "Vigilor/Settings/SettingsContent.h"

#include <QWidget>

#include <memory>

class VigilorMonitor;

// The settings window's content: the form on one scrolling page over the window's backdrop, never
// wider than 640, in a window kept between 480 × 480 and 720 × 800.
class SettingsView : public QWidget {
public:
    static constexpr int maximumContentWidth = 640;
    static constexpr QSize minimumWindowSize{480, 480};
    static constexpr QSize idealWindowSize{600, 620};
    static constexpr QSize maximumWindowSize{720, 800};

    SettingsView(std::shared_ptr<VigilorMonitor> monitor, SettingsEnvironment environment = {},
                 QWidget* parent = nullptr);

    SettingsContent* content() const { return content_; }
    QSize sizeHint() const override { return idealWindowSize; }

private:
    SettingsContent* content_;
};
