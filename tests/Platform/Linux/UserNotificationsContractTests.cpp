#include "Fakes/FakeNotificationCenter.h"
#include "Platform/LinuxQt/FreedesktopNotificationCenter.h"
#include "Support/PrivateBus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// What every notification center does, whether the desktop's notification server's or the tests' fake,
// so that the fake stays honest.
namespace {

using Titles = std::vector<std::string>;

// A notification service behind whichever center a case runs on, seen from the server's side: what it
// was sent, what it shows, and a user who presses its buttons.
class NotificationService {
public:
    virtual ~NotificationService() = default;
    // Empty when this machine cannot run the service.
    virtual std::string unavailable() { return {}; }
    virtual UserNotificationCenter& center() = 0;
    // The service answers the authorisation requests asked so far, as a service that is there does.
    virtual void answerAuthorizations() = 0;
    // The title of every request the service received, in order.
    virtual Titles received() = 0;
    // The titles of the notifications on screen, oldest first.
    virtual Titles shown() = 0;
    // The user presses the button `action` on the notification titled `title`.
    virtual void chooseAction(const std::string& title, const std::string& action) = 0;
    // Everything sent so far, either way, has arrived.
    virtual void settle() = 0;
};

class FakeService final : public NotificationService {
public:
    UserNotificationCenter& center() override { return fake_; }
    void answerAuthorizations() override { fake_.answerAuthorizations(true); }
    Titles received() override { return titles(fake_.added); }
    Titles shown() override { return titles(fake_.delivered); }
    void chooseAction(const std::string& title, const std::string& action) override {
        const auto live = std::ranges::find(fake_.delivered, title, &NotificationRequest::title);
        ASSERT_NE(live, fake_.delivered.end()) << title << " is not on screen";
        EXPECT_TRUE(fake_.chooseAction(live->identifier, action));
    }
    void settle() override {}

private:
    static Titles titles(const std::vector<NotificationRequest>& requests) {
        Titles found;
        for (const auto& request : requests)
            found.push_back(request.title);
        return found;
    }

    FakeNotificationCenter fake_;
};

const QString notifications = "org.freedesktop.Notifications";
const QString notificationsPath = "/org/freedesktop/Notifications";

class NotificationDaemonService final : public NotificationService {
public:
    std::string unavailable() override {
        if (auto missing = PrivateBus::missingTools(); !missing.empty())
            return missing;
        if (!bus_.start() || !bus_.startMock({"--template", "notification_daemon"}, notifications))
            return bus_.failure();
        center_ = std::make_unique<FreedesktopNotificationCenter>(bus_.connection());
        return {};
    }
    UserNotificationCenter& center() override { return *center_; }
    // The server answers by itself.
    void answerAuthorizations() override {}
    Titles received() override {
        Titles found;
        for (const auto& [method, arguments] : bus_.mockCalls(notifications, notificationsPath))
            if (method == "Notify")
                found.push_back(arguments.value(3).toString().toStdString());
        return found;
    }
    Titles shown() override {
        Titles found;
        for (const auto& [id, title] : onScreen())
            found.push_back(title);
        return found;
    }
    void chooseAction(const std::string& title, const std::string& action) override {
        const auto live = onScreen();
        const auto found = std::ranges::find(live, title, &std::map<uint, std::string>::value_type::second);
        ASSERT_NE(found, live.end()) << title << " is not on screen";
        const QDBusMessage reply =
            bus_.callMock(notifications, notificationsPath, "EmitSignal",
                          {notifications, "ActionInvoked", "us",
                           QVariant::fromValue(QVariantList{found->first, QString::fromStdString(action)})});
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
    void settle() override {
        ASSERT_TRUE(bus_.flushSignals(notifications, notificationsPath)) << bus_.failure();
    }

private:
    // The server's live notifications by id, as it kept them from the calls it received: it numbers new
    // ones from 1, keeps the id of a replaced one, and forgets a closed one.
    std::map<uint, std::string> onScreen() {
        std::map<uint, std::string> live;
        uint next = 1;
        for (const auto& [method, arguments] : bus_.mockCalls(notifications, notificationsPath)) {
            if (method == "Notify") {
                const uint replaces = arguments.value(1).toUInt();
                live[replaces != 0 ? replaces : next++] = arguments.value(3).toString().toStdString();
            } else if (method == "CloseNotification") {
                live.erase(arguments.value(0).toUInt());
            }
        }
        return live;
    }

    PrivateBus bus_;
    std::unique_ptr<FreedesktopNotificationCenter> center_;
};

const std::string walkCategory = "app.zorvi.break.walk";
const std::string skipWalk = "app.zorvi.break.skipWalk";
const std::string walkNotification = "app.zorvi.break.walk.current";
const std::string eyeNotification = "app.zorvi.break.eye.current";

NotificationRequest request(std::string identifier, std::string title) {
    return {std::move(identifier), std::move(title), "Stretch your legs", walkCategory, false};
}

using ServiceFactory = std::function<std::unique_ptr<NotificationService>()>;

// One side of the contract: the fake or the real adapter.
struct Backend {
    const char* name;
    ServiceFactory make;
};

void PrintTo(const Backend& backend, std::ostream* out) {
    *out << backend.name;
}

class UserNotificationsContract : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (const std::string missing = service->unavailable(); !missing.empty())
            GTEST_SKIP() << missing;
        center().setNotificationCategories(
            {{walkCategory, {{skipWalk, "Skip This Walk"}, {"app.zorvi.break.dismiss", "Dismiss"}}, true}});
        center().setResponseHandler([this](const NotificationResponse& response) {
            responses.push_back(response.requestIdentifier + " / " + response.categoryIdentifier + " / " +
                                response.actionIdentifier);
        });
    }

    UserNotificationCenter& center() { return service->center(); }

    // Adds the requests one after another without waiting between them; their completions' errors, once
    // all have answered.
    std::vector<std::optional<std::string>> add(std::vector<NotificationRequest> requests) {
        const std::size_t count = requests.size();
        auto outcomes = std::make_shared<std::vector<std::optional<std::string>>>();
        for (auto& next : requests)
            center().add(std::move(next), [outcomes](std::optional<std::string> error) {
                outcomes->push_back(std::move(error));
            });
        EXPECT_TRUE(processEventsUntil([&] { return outcomes->size() == count; }))
            << "not every add answered";
        service->settle();
        return *outcomes;
    }
    std::optional<std::string> add(NotificationRequest one) { return add(std::vector{std::move(one)}).at(0); }

    int argc = 1;
    std::string name = "UserNotificationsContract";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    std::unique_ptr<NotificationService> service = GetParam().make();
    std::vector<std::string> responses;
};

using Outcomes = std::vector<std::optional<std::string>>;

} // namespace

TEST_P(UserNotificationsContract, GrantedWhereAServiceIsThere) {
    std::optional<std::pair<bool, std::optional<std::string>>> answer;
    center().requestAuthorization([&](bool granted, std::optional<std::string> error) {
        answer = {granted, std::move(error)};
    });
    service->answerAuthorizations();
    ASSERT_TRUE(processEventsUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(answer->first);
    EXPECT_EQ(answer->second, std::nullopt);
}

TEST_P(UserNotificationsContract, AddedRequestReachesTheService) {
    EXPECT_EQ(add(request(walkNotification, "Time for a walk")), std::nullopt);
    EXPECT_EQ(service->received(), Titles{"Time for a walk"});
    EXPECT_EQ(service->shown(), Titles{"Time for a walk"});
    EXPECT_EQ(responses, std::vector<std::string>{});
}

TEST_P(UserNotificationsContract, SameIdentifierReplacesTheLiveNotification) {
    // Each at its own turn, and all at once before the service has answered the first.
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "at once" : "one by one");
        std::vector<NotificationRequest> requests{request(walkNotification, "First walk"),
                                                  request(walkNotification, "Second walk"),
                                                  request(eyeNotification, "Eye break")};
        Outcomes outcomes;
        if (atOnce) {
            outcomes = add(std::move(requests));
        } else {
            for (auto& one : requests)
                outcomes.push_back(add(std::move(one)));
        }
        EXPECT_EQ(outcomes, (Outcomes{std::nullopt, std::nullopt, std::nullopt}));
        EXPECT_EQ(service->shown(), (Titles{"Second walk", "Eye break"}));
        center().removeNotifications({walkNotification, eyeNotification});
        service->settle();
    }
    EXPECT_EQ(service->received().size(), 6u) << "every request reaches the service";
}

TEST_P(UserNotificationsContract, RemovingClosesOnlyThoseNamed) {
    ASSERT_EQ(
        add(std::vector{request(walkNotification, "Time for a walk"), request(eyeNotification, "Eye break")}),
        (Outcomes{std::nullopt, std::nullopt}));

    center().removeNotifications({walkNotification, "app.zorvi.never.added"});
    service->settle();
    EXPECT_EQ(service->shown(), Titles{"Eye break"});

    // Gone, so the next one with that identifier is a new notification.
    ASSERT_EQ(add(request(walkNotification, "Another walk")), std::nullopt);
    EXPECT_EQ(service->shown(), (Titles{"Eye break", "Another walk"}));
}

TEST_P(UserNotificationsContract, ChosenActionReachesTheResponseHandler) {
    ASSERT_EQ(
        add(std::vector{request(walkNotification, "Time for a walk"), request(eyeNotification, "Eye break")}),
        (Outcomes{std::nullopt, std::nullopt}));

    service->chooseAction("Time for a walk", skipWalk);
    service->settle();
    EXPECT_EQ(responses, std::vector{walkNotification + " / " + walkCategory + " / " + skipWalk});
    EXPECT_EQ(service->shown(), Titles{"Eye break"}) << "an answered notification leaves the screen";
}

INSTANTIATE_TEST_SUITE_P(Centers, UserNotificationsContract,
                         testing::Values(Backend{"Fake",
                                                 []() -> std::unique_ptr<NotificationService> {
                                                     return std::make_unique<FakeService>();
                                                 }},
                                         Backend{"NotificationDaemon",
                                                 []() -> std::unique_ptr<NotificationService> {
                                                     return std::make_unique<NotificationDaemonService>();
                                                 }}),
                         [](const auto& info) { return std::string(info.param.name); });
