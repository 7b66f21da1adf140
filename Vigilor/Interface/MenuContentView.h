#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class VigilorMonitor;

// What the menu content asks of the panel that hosts it.
struct MenuContentActions {
    std::function<void()> openMainWindow; // held for the caller; nothing in the menu invokes it
    std::function<void()> openSettingsWindow;
    std::function<void()> closePanel;
    std::function<void()> quitApp;
};

// The content of the menu panel: a column that shows the monitor's live state and its actions. Its
// size hint is the panel's fitting size; when that changes it calls updateGeometry(), so the hosting
// panel receives a LayoutRequest and re-fits.
class MenuContentView : public QWidget {
public:
    MenuContentView(std::shared_ptr<VigilorMonitor> monitor, MenuContentActions actions,
                    QWidget* parent = nullptr);
    ~MenuContentView() override;

    QSize sizeHint() const override;

private:
    std::shared_ptr<VigilorMonitor> monitor_;
    MenuContentActions actions_;
};
