#include "AppStartup.h"

#include "AppServices.h"
#include "Foundation/DefaultsStore.h"
#include "Vigilor/Interface/OnboardingWindowController.h"
#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Interface/WindowPlacement.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Tray/StatusItemController.h"

#include <QWidget>

std::shared_ptr<AppStartup> AppStartup::create(Environment environment) {
    return std::make_shared<AppStartup>(Passkey{}, std::move(environment));
}

AppStartup::AppStartup(Passkey, Environment environment)
    : environment_(std::move(environment)) {
    if (!environment_.monitor)
        environment_.monitor = [] { return AppServices::shared().monitor(); };
    if (!environment_.makeOnboarding)
        environment_.makeOnboarding = [](std::shared_ptr<VigilorMonitor> monitor,
                                         std::function<void()> onComplete) {
            return std::make_unique<OnboardingWindowController>(std::move(monitor), std::move(onComplete));
        };
    if (!environment_.startUpdater)
        environment_.startUpdater = [] { UpdaterService::shared(); };
    if (!environment_.startWidget)
        environment_.startWidget = [this] { widget_.start(); };
}

AppStartup::~AppStartup() = default;

void AppStartup::applicationDidFinishLaunching() {
    monitor_ = environment_.monitor();
    if (!environment_.displayAvailable)
        return;
    // At login the desktop's panel may reserve its strip only after our first windows opened.
    WindowPlacing::keepInsideWorkAreas();
    StatusItemController::Environment items;
    items.makePairingService = [] { return AppServices::shared().makePairingService(); };
    statusItem_ = std::make_unique<StatusItemController>(monitor_, std::move(items));
    environment_.startUpdater();

    const DefaultsStore defaults = DefaultsStore::standard();
    if (!defaults.boolValue(onboardingShownKey) && !defaults.boolValue(onboardingShownV1Key))
        showOnboarding();
    if (!onboarding_)
        environment_.startWidget();
}

void AppStartup::showOnboarding() {
    if (!environment_.displayAvailable)
        return;
    onboarding_ = environment_.makeOnboarding(monitor_, [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->finishOnboarding();
    });
    QWidget* window = onboarding_ ? onboarding_->window() : nullptr;
    if (!window)
        return;
    DefaultsStore::standard().set(onboardingShownV1Key, true);
    // Centred on the screen, whole inside its work area: on a small screen it is shorter and its
    // cards scroll above the button that ends it.
    WindowPlacing::place(*window, WindowPlacing::request(*window, window->screen()));
    window->show();
    window->raise();
    window->activateWindow();
}

// A window that its own close button is already closing is not closed a second time.
void AppStartup::finishOnboarding() {
    if (!onboarding_)
        return;
    OnboardingWindowDelegate* delegate = onboarding_->windowDelegate();
    if (!delegate || !delegate->isDismissing) {
        if (delegate)
            delegate->isDismissing = true;
        if (QWidget* window = onboarding_->window())
            window->close();
    }
    onboarding_.reset();
    environment_.startWidget();
}
