#include "OnboardingWindowController.h"

#include "Vigilor/Interface/OnboardingView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

OnboardingWindowDelegate::OnboardingWindowDelegate(std::function<void()> onUserClose)
    : onUserClose_(std::move(onUserClose)) {
}

bool OnboardingWindowDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && !isDismissing) {
        isDismissing = true;
        if (onUserClose_)
            onUserClose_();
    }
    return QObject::eventFilter(watched, event);
}

OnboardingWindowController::OnboardingWindowController(std::shared_ptr<VigilorMonitor> monitor,
                                                       std::function<void()> onComplete)
    : monitor_(std::move(monitor))
    , onComplete_(std::move(onComplete))
    , delegate_(std::make_unique<OnboardingWindowDelegate>([this] { reportCompletion(); }))
    , window_(std::make_unique<QWidget>()) {
    buildWindow();
    window_->installEventFilter(delegate_.get());
}

OnboardingWindowController::~OnboardingWindowController() = default;

// A fixed 520 × 620 window titled with the product's name that can be closed but neither resized nor
// minimised (whoever shows it fits it to a smaller screen); closing only hides it, so it lives exactly
// as long as this controller.
void OnboardingWindowController::buildWindow() {
    window_->setWindowTitle(QStringLiteral("Zorvi"));
    window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new OnboardingView(monitor_, [this] { reportCompletion(); });
    layout->addWidget(view_);
    window_->setFixedSize(contentWidth, contentHeight);
}

// Queued on the application object with a guard on the window: a controller destroyed before the
// call runs takes its completion with it.
void OnboardingWindowController::reportCompletion() {
    if (completionReported_ || !onComplete_)
        return;
    completionReported_ = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [window = QPointer<QWidget>(window_.get()), complete = onComplete_] {
            if (window)
                complete();
        },
        Qt::QueuedConnection);
}
