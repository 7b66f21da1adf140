#pragma once

#include "Fakes/CallLog.h"
#include "Platform/UserNotifications.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Keeps what it is given; authorisation answers wait until the test delivers them.
//
// `added` is every request in the order it came; `delivered` is what is on screen, as a notification
// service shows it: one notification per request identifier, a newer request taking the place of the
// older one, until it is removed or answered.
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
        added.push_back(request);
        if (const auto live = find(request.identifier); live != delivered.end())
            *live = std::move(request);
        else
            delivered.push_back(std::move(request));
        if (completion)
            completion(std::nullopt);
    }
    void removeNotifications(const std::vector<std::string>& identifiers) override {
        for (const auto& identifier : identifiers) {
            record(log_, "notifications.remove " + identifier);
            if (const auto live = find(identifier); live != delivered.end())
                delivered.erase(live);
        }
        removed.insert(removed.end(), identifiers.begin(), identifiers.end());
    }

    // Answers every authorisation request asked so far, as the system would.
    void answerAuthorizations(bool granted, std::optional<std::string> error = std::nullopt) {
        for (const auto& completion : std::exchange(pendingAuthorizations, {}))
            if (completion)
                completion(granted, error);
    }
    // The user chose an action on the delivered notification of `requestIdentifier`: it leaves the screen
    // and the response handler hears of it. False when no such notification is on screen.
    bool chooseAction(const std::string& requestIdentifier, const std::string& actionIdentifier) {
        const auto live = find(requestIdentifier);
        if (live == delivered.end())
            return false;
        const NotificationResponse response{requestIdentifier, live->categoryIdentifier, actionIdentifier};
        delivered.erase(live);
        const auto handler = responseHandler; // a copy: the handler may replace itself
        if (handler)
            handler(response);
        return true;
    }

    std::vector<AuthorizationCompletion> pendingAuthorizations;
    std::vector<NotificationCategory> categories;
    std::function<void(const NotificationResponse&)> responseHandler;
    std::vector<NotificationRequest> added;
    std::vector<NotificationRequest> delivered;
    std::vector<std::string> removed;

private:
    std::vector<NotificationRequest>::iterator find(const std::string& identifier) {
        return std::ranges::find(delivered, identifier, &NotificationRequest::identifier);
    }

    CallLog* log_;
};
