#pragma once

#include "Vigilor/Interface/MenuContentModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class VigilorMonitor;
class MenuContentParts;
class TimelineTicker;

// What the menu content asks of the panel that hosts it.
struct MenuContentActions {
    std::function<void()> openMainWindow; // a click on the header (the mascot and the headline)
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
    MenuContentView(const MenuContentView&) = delete;
    MenuContentView& operator=(const MenuContentView&) = delete;

    QSize sizeHint() const override;

    // The model drawn last.
    const MenuContentModel& model() const { return model_; }
    bool storeAskCopied() const { return storeAskCopied_; }
    // Whether the once-a-second clock runs (only while the panel is shown).
    bool clockIsRunning() const;

    // The copy button's action: puts the invitation on the clipboard.
    void copyStoreAsk();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();
    void noteSizeHint();
    void apply(const MenuContentModel& model, bool wasWalkDue);

    std::shared_ptr<VigilorMonitor> monitor_;
    MenuContentActions actions_;
    bool storeAskCopied_ = false;
    MenuContentModel model_;
    QSize lastSizeHint_;
    std::unique_ptr<MenuContentParts> parts_;
    TimelineTicker* ticker_ = nullptr; // owned as a child object
};
