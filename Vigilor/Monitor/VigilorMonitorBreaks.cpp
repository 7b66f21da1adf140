// Break coaching: the notification categories and the one live notification per break kind.
#include "VigilorMonitor.h"

void VigilorMonitor::registerBreakNotificationActions() {
    const NotificationAction dismiss{"app.zorvi.break.dismiss", "Dismiss"};
    const NotificationAction skipWalk{"app.zorvi.break.skipWalk", "Skip This Walk"};
    services_.notifications->setNotificationCategories({
        {"app.zorvi.break.eye", {dismiss}, true},
        {"app.zorvi.break.walk", {skipWalk, dismiss}, true},
    });
}

void VigilorMonitor::clearBreakNotification(const std::string& category) {
    services_.notifications->removeNotifications(
        {category == "app.zorvi.break.walk" ? "app.zorvi.break.walk.current" : "app.zorvi.break.eye.current"});
}
