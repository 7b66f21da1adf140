#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// User notifications with actions, shown by the desktop's notification service.

struct NotificationAction {
    std::string identifier;
    std::string title;
};

struct NotificationCategory {
    std::string identifier;
    std::vector<NotificationAction> actions;
    bool customDismissAction = false; // closing the notification is reported as a dismissal
};

struct NotificationRequest {
    std::string identifier; // a newer request with the same identifier replaces the older one
    std::string title;
    std::string body;
    std::string categoryIdentifier; // empty: no category
    bool playsDefaultSound = false;
};

struct NotificationResponse {
    std::string requestIdentifier;
    std::string categoryIdentifier;
    std::string actionIdentifier; // one of the category's actions, or dismissActionIdentifier
};

class UserNotificationCenter {
public:
    static constexpr const char* dismissActionIdentifier = "app.zorvi.notification.dismissed";

    using AuthorizationCompletion = std::function<void(bool granted, std::optional<std::string> error)>;
    using AddCompletion = std::function<void(std::optional<std::string> error)>;

    virtual ~UserNotificationCenter() = default;
    // The completion may run on any thread.
    virtual void requestAuthorization(AuthorizationCompletion completion) = 0;
    virtual void setNotificationCategories(std::vector<NotificationCategory> categories) = 0;
    // Responses to notifications (actions, dismissals) go to `handler`, on the main queue.
    virtual void setResponseHandler(std::function<void(const NotificationResponse&)> handler) = 0;
    virtual void add(NotificationRequest request, AddCompletion completion) = 0;
    // Removes pending and delivered notifications with these identifiers.
    virtual void removeNotifications(const std::vector<std::string>& identifiers) = 0;
};
