#pragma once

#include "Foundation/Date.h"
#include "Vigilor/Interface/MenuContentModel.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class VigilorMonitor;
class MenuContentParts;

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
//
// It redraws on every change the monitor announces (folded into one refresh per turn of the event
// loop) and, while shown, once a second so that its countdowns advance.
class MenuContentView : public QWidget {
public:
    static constexpr int panelWidth = 392;

    MenuContentView(std::shared_ptr<VigilorMonitor> monitor, MenuContentActions actions,
                    QWidget* parent = nullptr);
    ~MenuContentView() override;

    QSize sizeHint() const override;

    // The model drawn last, and the clock the panel last advanced to.
    const MenuContentModel& model() const { return model_; }
    Date menuClock() const { return menuClock_; }
    bool appStoreAskCopied() const { return appStoreAskCopied_; }

    // The copy button's action: puts the invitation on the clipboard.
    void copyAppStoreAsk();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();
    void apply(const MenuContentModel& model);

    std::shared_ptr<VigilorMonitor> monitor_;
    MenuContentActions actions_;
    int subscription_ = 0;
    QTimer refreshTimer_;
    Date menuClock_;
    bool appStoreAskCopied_ = false;
    MenuContentModel model_;
    QSize lastSizeHint_;
    std::unique_ptr<MenuContentParts> parts_;
};
