#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QWidget;
class VigilorMonitor;

// Watches the onboarding window for being closed. `isDismissing` is true once the window is on its
// way out, whether its own close button started that or the controller's owner did; only the first
// of these reports completion.
class OnboardingWindowDelegate final : public QObject {
public:
    explicit OnboardingWindowDelegate(std::function<void()> onUserClose);

    bool isDismissing = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onUserClose_;
};

// The first-run window: a welcome and a "Done" button. Finishing it, with "Done" or the window's close
// button, calls `onComplete` once. The call comes from the event loop, never from inside one of the
// window's own handlers, so the owner may destroy the controller (and the window with it) there.
class OnboardingWindowController {
public:
    OnboardingWindowController(std::shared_ptr<VigilorMonitor> monitor, std::function<void()> onComplete);
    ~OnboardingWindowController();
    OnboardingWindowController(const OnboardingWindowController&) = delete;
    OnboardingWindowController& operator=(const OnboardingWindowController&) = delete;

    QWidget* window() const { return window_.get(); }
    OnboardingWindowDelegate* windowDelegate() const { return delegate_.get(); }

private:
    void buildWindow();
    void reportCompletion();

    // The steps after the welcome set up the monitor's presence sources.
    std::shared_ptr<VigilorMonitor> monitor_;
    std::function<void()> onComplete_;
    bool completionReported_ = false;
    std::unique_ptr<OnboardingWindowDelegate> delegate_;
    std::unique_ptr<QWidget> window_;
};
