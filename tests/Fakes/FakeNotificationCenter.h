#pragma once

#include "Fakes/CallLog.h"
#include "Platform/UserNotifications.h"

// Keeps what it is given; authorisation answers wait until the test delivers them.
class FakeNotificationCenter final : public UserNotificationCenter {
public:
    explicit FakeNotificationCenter(CallLog* log = nullptr)
        : log_(log) {}

    void requestAuthorization(AuthorizationCompletion completion) override {
        record(log_, "notifications.requestAuthorization");
        pendingAuthorizations.push_back(std::move(completion));
    }
    void setNotificationCategories(std::vector<NotificationCategory> newCategories) override {
        record(log_, "notifications.setCategories");
        categories = std::move(newCategories);
    }
    void setResponseHandler(std::function<void(const NotificationResponse&)> handler) override {
        responseHandler = std::move(handler);
    }
    void add(NotificationRequest request, AddCompletion completion) override {
        record(log_, "notifications.add " + request.identifier);
        added.push_back(std::move(request));
        if (completion)
            completion(std::nullopt);
    }
    void removeNotifications(const std::vector<std::string>& identifiers) override {
        for (const auto& identifier : identifiers)
            record(log_, "notifications.remove " + identifier);
        removed.insert(removed.end(), identifiers.begin(), identifiers.end());
    }

    std::vector<AuthorizationCompletion> pendingAuthorizations;
    std::vector<NotificationCategory> categories;
    std::function<void(const NotificationResponse&)> responseHandler;
    std::vector<NotificationRequest> added;
    std::vector<std::string> removed;

private:
    CallLog* log_;
};
