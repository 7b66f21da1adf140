#include "OnboardingWindowController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
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

void OnboardingWindowController::buildWindow() {
    window_->setWindowTitle(QStringLiteral("Welcome to Zorvi"));
    auto* layout = new QVBoxLayout(window_.get());
    auto* welcome =
        new QLabel(QStringLiteral("Zorvi keeps watch over your desk while you are away and reminds "
                                  "you to rest your eyes and stretch your legs.\n\n"
                                  "It lives in the tray: open its menu there at any time."),
                   window_.get());
    welcome->setWordWrap(true);
    layout->addWidget(welcome);
    auto* done = new QPushButton(QStringLiteral("Done"), window_.get());
    done->setDefault(true);
    layout->addWidget(done, 0, Qt::AlignRight);
    QObject::connect(done, &QPushButton::clicked, window_.get(), [this] { reportCompletion(); });
    window_->setMinimumWidth(420);
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
