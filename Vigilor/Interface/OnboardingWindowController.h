#pragma once

#include <QObject>

#include <functional>
#include <memory>

class OnboardingView;
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

// The first-run window around OnboardingView. Finishing it, with "Start using Zorvi" or the window's
// close button, calls `onComplete` once. The call comes from the event loop, never from inside one of the
// window's own handlers, so the owner may destroy the controller (and the window with it) there.
class OnboardingWindowController {
public:
    static constexpr int contentWidth = 520;
    static constexpr int contentHeight = 620;

    OnboardingWindowController(std::shared_ptr<VigilorMonitor> monitor, std::function<void()> onComplete);
    ~OnboardingWindowController();
    OnboardingWindowController(const OnboardingWindowController&) = delete;
    OnboardingWindowController& operator=(const OnboardingWindowController&) = delete;

    QWidget* window() const { return window_.get(); }
    OnboardingWindowDelegate* windowDelegate() const { return delegate_.get(); }
    OnboardingView* view() const { return view_; }

private:
    void buildWindow();
    void reportCompletion();

    std::shared_ptr<VigilorMonitor> monitor_;
    std::function<void()> onComplete_;
    bool completionReported_ = false;
    std::unique_ptr<OnboardingWindowDelegate> delegate_;
    std::unique_ptr<QWidget> window_;
    OnboardingView* view_ = nullptr; // owned by the window
};
