#include "Platform/LinuxQt/FreedesktopNotificationCenter.h"
#include "Support/PrivateBus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const QString notifications = "org.freedesktop.Notifications";
const QString notificationsPath = "/org/freedesktop/Notifications";

const std::string eyeCategory = "app.zorvi.break.eye";
const std::string walkCategory = "app.zorvi.break.walk";
const std::string plainCategory = "app.zorvi.lock";
const std::string eyeNotification = "app.zorvi.break.eye.current";
const std::string walkNotification = "app.zorvi.break.walk.current";
const std::string lockNotification = "app.zorvi.lock.current";

// The break categories as the monitor registers them, and one without a dismissal of its own.
std::vector<NotificationCategory> categories() {
    const NotificationAction dismiss{"app.zorvi.break.dismiss", "Dismiss"};
    const NotificationAction skipWalk{"app.zorvi.break.skipWalk", "Skip This Walk"};
    const NotificationAction unlock{"app.zorvi.lock.undo", "Undo"};
    return {{eyeCategory, {dismiss}, true},
            {walkCategory, {skipWalk, dismiss}, true},
            {plainCategory, {unlock}, false}};
}

NotificationRequest request(std::string identifier, std::string category,
                            std::string title = "Time for a break",
                            std::string body = "Look away for 20 seconds", bool sound = false) {
    return {std::move(identifier), std::move(title), std::move(body), std::move(category), sound};
}

// Notify's arguments, as the server received them.
struct NotifyCall {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

std::string text(const NotificationResponse& response) {
    return response.requestIdentifier + " / " + response.categoryIdentifier + " / " +
           response.actionIdentifier;
}

class FreedesktopNotificationCenterTest : public testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
    }

    void startServer(const std::vector<std::string>& extraArguments = {}) {
        std::vector<std::string> arguments{"--template", "notification_daemon"};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        ASSERT_TRUE(bus.startMock(arguments, notifications)) << bus.failure();
    }

    FreedesktopNotificationCenter& center() {
        if (!center_) {
            center_ = std::make_unique<FreedesktopNotificationCenter>(bus.connection(), sender);
            center_->setNotificationCategories(categories());
            center_->setResponseHandler(
                [this](const NotificationResponse& response) { responses.push_back(text(response)); });
        }
        return *center_;
    }

    // Adds and waits for the server's answer; the completion's error.
    std::optional<std::string> add(NotificationRequest request) {
        std::optional<std::optional<std::string>> outcome;
        center().add(std::move(request),
                     [&](std::optional<std::string> error) { outcome = std::move(error); });
        EXPECT_TRUE(processEventsUntil([&] { return outcome.has_value(); })) << "no answer to add";
        return outcome.value_or("no answer");
    }

    // The arguments of each call of `method` the server received so far.
    std::vector<QVariantList> calls(const QString& method) {
        const QDBusMessage reply = bus.callMock(notifications, notificationsPath, "GetMethodCalls", {method});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        std::vector<QVariantList> found;
        if (reply.arguments().isEmpty())
            return found;
        const auto list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong time = 0;
            QVariantList arguments;
            list.beginStructure();
            list >> time >> arguments;
            list.endStructure();
            found.push_back(arguments);
        }
        list.endArray();
        return found;
    }

    std::vector<NotifyCall> notifyCalls() {
        std::vector<NotifyCall> found;
        for (const auto& arguments : calls("Notify")) {
            EXPECT_EQ(arguments.size(), 8);
            if (arguments.size() != 8)
                continue;
            found.push_back({arguments[0].toString(), arguments[1].toUInt(), arguments[2].toString(),
                             arguments[3].toString(), arguments[4].toString(), arguments[5].toStringList(),
                             qdbus_cast<QVariantMap>(arguments[6]), arguments[7].toInt()});
        }
        return found;
    }

    std::vector<uint> closedIds() {
        std::vector<uint> ids;
        for (const auto& arguments : calls("CloseNotification"))
            ids.push_back(arguments.value(0).toUInt());
        return ids;
    }

    // The server's id of the notification it was asked to show last.
    uint lastShownId() {
        const auto notified = notifyCalls();
        EXPECT_FALSE(notified.empty());
        // The mock numbers new notifications from 1 and keeps the id of a replaced one.
        uint id = 0, next = 1;
        for (const auto& call : notified)
            id = call.replacesId != 0 ? call.replacesId : next++;
        return id;
    }

    void emitSignal(const QString& name, const QVariantList& arguments, const QString& signature) {
        const QDBusMessage reply =
            bus.callMock(notifications, notificationsPath, "EmitSignal",
                         {notifications, name, signature, QVariant::fromValue(arguments)});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    void emitActionInvoked(uint id, const QString& action) {
        emitSignal("ActionInvoked", {id, action}, "us");
    }
    void emitClosed(uint id, uint reason) { emitSignal("NotificationClosed", {id, reason}, "uu"); }
    // Every signal the server sent so far has been handled.
    void flushServer() { ASSERT_TRUE(bus.flushSignals(notifications, notificationsPath)) << bus.failure(); }

    int argc = 1;
    std::string name = "FreedesktopNotificationCenterTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    PrivateBus bus;
    const FreedesktopNotificationCenter::Sender sender{"file:///opt/zorvi/zorvi.png", "zorvi"};
    std::unique_ptr<FreedesktopNotificationCenter> center_;
    std::vector<std::string> responses;
};

struct NotifyCase {
    std::string name;
    NotificationRequest request;
    QStringList actions;
    QVariantMap hints;
    QString body;
};

void PrintTo(const NotifyCase& notify, std::ostream* out) {
    *out << notify.name;
}

class NotifyTest : public FreedesktopNotificationCenterTest,
                   public testing::WithParamInterface<NotifyCase> {};

TEST_P(NotifyTest, ServerReceivesTheRequestAsANotification) {
    startServer();
    const NotifyCase& notify = GetParam();
    ASSERT_EQ(add(notify.request), std::nullopt);

    const auto notified = notifyCalls();
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].appName, "Zorvi");
    EXPECT_EQ(notified[0].replacesId, 0u);
    EXPECT_EQ(notified[0].appIcon, "file:///opt/zorvi/zorvi.png");
    EXPECT_EQ(notified[0].summary, QString::fromStdString(notify.request.title));
    EXPECT_EQ(notified[0].body, notify.body);
    EXPECT_EQ(notified[0].actions, notify.actions);
    EXPECT_EQ(notified[0].hints, notify.hints);
    EXPECT_EQ(notified[0].expireTimeout, -1);
}

const QVariantMap alertSound{{"sound-name", "message-new-instant"}, {"desktop-entry", "zorvi"}};
const QVariantMap silent{{"suppress-sound", true}, {"desktop-entry", "zorvi"}};

INSTANTIATE_TEST_SUITE_P(
    Requests, NotifyTest,
    testing::Values(
        NotifyCase{"WalkWithItsButtonsAndSound",
                   request(walkNotification, walkCategory, "Time for a walk", "Stretch your legs", true),
                   {"app.zorvi.break.skipWalk", "Skip This Walk", "app.zorvi.break.dismiss", "Dismiss"},
                   alertSound,
                   "Stretch your legs"},
        NotifyCase{"EyeSilent",
                   request(eyeNotification, eyeCategory),
                   {"app.zorvi.break.dismiss", "Dismiss"},
                   silent,
                   "Look away for 20 seconds"},
        NotifyCase{
            "NoCategoryNoButtons", request("app.zorvi.note", ""), {}, silent, "Look away for 20 seconds"},
        NotifyCase{"UnknownCategoryNoButtons",
                   request("app.zorvi.note", "app.zorvi.gone"),
                   {},
                   silent,
                   "Look away for 20 seconds"},
        // The mock, like most servers, reads the body as markup.
        NotifyCase{"BodyEscapedForMarkup",
                   request(lockNotification, plainCategory, "Screen locked", "Face <lost> & Bluetooth away"),
                   {"app.zorvi.lock.undo", "Undo"},
                   silent,
                   "Face &lt;lost&gt; &amp; Bluetooth away"}),
    [](const testing::TestParamInfo<NotifyCase>& info) { return info.param.name; });

TEST_F(FreedesktopNotificationCenterTest, BodyStaysPlainForAServerWithoutMarkup) {
    startServer({"--parameters", R"({"capabilities": "body actions"})"});
    ASSERT_EQ(add(request(lockNotification, plainCategory, "Screen locked", "Face <lost> & away")),
              std::nullopt);
    const auto notified = notifyCalls();
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].body, "Face <lost> & away");
}

// Asking a bus that can start a server on demand starts one: a session that is never notified keeps
// none, and a new server is asked again before it is first used.
TEST_F(FreedesktopNotificationCenterTest, CapabilitiesAreAskedJustBeforeTheFirstNotificationOfEachServer) {
    startServer();
    center();
    center().requestAuthorization([](bool, std::optional<std::string>) {});
    flushServer();
    EXPECT_TRUE(calls("GetCapabilities").empty());

    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    ASSERT_EQ(add(request(walkNotification, walkCategory)), std::nullopt);
    std::vector<QString> asked;
    for (const auto& [method, arguments] : bus.mockCalls(notifications, notificationsPath))
        if (method != "GetServerInformation")
            asked.push_back(method);
    EXPECT_EQ(asked, (std::vector<QString>{"GetCapabilities", "Notify", "Notify"}));

    ASSERT_TRUE(bus.stopMock(notifications)) << bus.failure();
    startServer();
    flushServer();
    EXPECT_TRUE(calls("GetCapabilities").empty());
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    EXPECT_EQ(calls("GetCapabilities").size(), 1u);
}

TEST_F(FreedesktopNotificationCenterTest, SameIdentifierReplacesTheLiveNotification) {
    startServer();
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    const uint eyeId = lastShownId();
    ASSERT_EQ(add(request(eyeNotification, eyeCategory, "Still time for a break")), std::nullopt);
    ASSERT_EQ(add(request(walkNotification, walkCategory)), std::nullopt);

    const auto notified = notifyCalls();
    ASSERT_EQ(notified.size(), 3u);
    EXPECT_EQ(notified[0].replacesId, 0u);
    EXPECT_EQ(notified[1].replacesId, eyeId);
    EXPECT_EQ(notified[2].replacesId, 0u); // another identifier, another notification
}

TEST_F(FreedesktopNotificationCenterTest, RequestSentWhileTheFirstIsOnItsWayStillReplacesIt) {
    startServer();
    std::vector<std::optional<std::string>> outcomes;
    for (const char* title : {"First", "Second"})
        center().add(request(eyeNotification, eyeCategory, title),
                     [&](std::optional<std::string> error) { outcomes.push_back(error); });
    ASSERT_TRUE(processEventsUntil([&] { return outcomes.size() == 2; }));
    EXPECT_EQ(outcomes, (std::vector<std::optional<std::string>>{std::nullopt, std::nullopt}));

    const auto notified = notifyCalls();
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_EQ(notified[0].summary, "First");
    EXPECT_EQ(notified[1].summary, "Second");
    EXPECT_EQ(notified[1].replacesId, 1u);
}

TEST_F(FreedesktopNotificationCenterTest, RemoveClosesTheLiveNotificationOnly) {
    startServer();
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    const uint eyeId = lastShownId();

    center().removeNotifications({eyeNotification, walkNotification});
    EXPECT_EQ(closedIds(), std::vector<uint>{eyeId});

    // Gone, so the next one is a new notification.
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    EXPECT_EQ(notifyCalls().back().replacesId, 0u);
}

TEST_F(FreedesktopNotificationCenterTest, RemovedWhileOnItsWayIsClosedOnceShown) {
    startServer();
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt); // the server's capabilities known
    std::optional<std::optional<std::string>> outcome;
    center().add(request(walkNotification, walkCategory),
                 [&](std::optional<std::string> error) { outcome = error; });
    center().removeNotifications({walkNotification});
    ASSERT_TRUE(processEventsUntil([&] { return outcome.has_value(); }));

    EXPECT_EQ(closedIds(), std::vector<uint>{lastShownId()});
}

struct ActionCase {
    std::string name;
    bool ourId;
    QString action;
    std::vector<std::string> responses;
};

void PrintTo(const ActionCase& action, std::ostream* out) {
    *out << action.name;
}

class ActionTest : public FreedesktopNotificationCenterTest,
                   public testing::WithParamInterface<ActionCase> {};

TEST_P(ActionTest, ButtonsAnswerOnlyForOurNotifications) {
    startServer();
    ASSERT_EQ(add(request(walkNotification, walkCategory)), std::nullopt);
    const uint walkId = lastShownId();

    const ActionCase& action = GetParam();
    const uint id = action.ourId ? walkId : walkId + 41; // another application's notification
    emitActionInvoked(id, action.action);
    // Servers close a notification after its button, as a dismissal by the user.
    emitClosed(id, 2);
    flushServer();
    EXPECT_EQ(responses, action.responses);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ActionTest,
    testing::Values(ActionCase{"ButtonOnly",
                               true,
                               "app.zorvi.break.skipWalk",
                               {walkNotification + " / " + walkCategory + " / app.zorvi.break.skipWalk"}},
                    ActionCase{"PlainClickCountsOnlyAsItsClosing",
                               true,
                               "default",
                               {walkNotification + " / " + walkCategory + " / " +
                                UserNotificationCenter::dismissActionIdentifier}},
                    ActionCase{"OtherApplications", false, "app.zorvi.break.skipWalk", {}}),
    [](const testing::TestParamInfo<ActionCase>& info) { return info.param.name; });

TEST_F(FreedesktopNotificationCenterTest, AnsweredNotificationLeavesTheScreen) {
    startServer();
    ASSERT_EQ(add(request(walkNotification, walkCategory)), std::nullopt);
    const uint walkId = lastShownId();
    emitActionInvoked(walkId, "app.zorvi.break.dismiss");
    ASSERT_TRUE(processEventsUntil([&] { return !responses.empty(); }));

    EXPECT_EQ(closedIds(), std::vector<uint>{walkId});
}

struct ClosedCase {
    std::string name;
    std::string identifier;
    std::string category;
    uint reason;
    bool dismissed;
};

void PrintTo(const ClosedCase& closed, std::ostream* out) {
    *out << closed.name;
}

class ClosedTest : public FreedesktopNotificationCenterTest,
                   public testing::WithParamInterface<ClosedCase> {};

TEST_P(ClosedTest, OnlyTheUsersClosingOfADismissableCategoryIsADismissal) {
    startServer();
    const ClosedCase& closed = GetParam();
    ASSERT_EQ(add(request(closed.identifier, closed.category)), std::nullopt);
    emitClosed(lastShownId(), closed.reason);
    flushServer();

    const std::vector<std::string> expected{closed.identifier + " / " + closed.category + " / " +
                                            UserNotificationCenter::dismissActionIdentifier};
    EXPECT_EQ(responses, closed.dismissed ? expected : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ClosedTest,
    testing::Values(ClosedCase{"EyeByTheUser", eyeNotification, eyeCategory, 2, true},
                    ClosedCase{"WalkByTheUser", walkNotification, walkCategory, 2, true},
                    ClosedCase{"EyeExpired", eyeNotification, eyeCategory, 1, false},
                    ClosedCase{"EyeClosedByACall", eyeNotification, eyeCategory, 3, false},
                    ClosedCase{"NoCustomDismissal", lockNotification, plainCategory, 2, false},
                    ClosedCase{"NoCategory", "app.zorvi.note", "", 2, false}),
    [](const testing::TestParamInfo<ClosedCase>& info) { return info.param.name; });

TEST_F(FreedesktopNotificationCenterTest, ClosedNotificationIsNotReplacedLater) {
    startServer();
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    emitClosed(lastShownId(), 1);
    flushServer();

    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    EXPECT_EQ(notifyCalls().back().replacesId, 0u);
}

TEST_F(FreedesktopNotificationCenterTest, RestartedServerStartsAfresh) {
    startServer();
    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    ASSERT_TRUE(bus.stopMock(notifications)) << bus.failure();
    startServer();
    flushServer(); // the change of owner has been seen

    ASSERT_EQ(add(request(eyeNotification, eyeCategory)), std::nullopt);
    const auto notified = notifyCalls(); // the new server's only
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].replacesId, 0u);
}

TEST_F(FreedesktopNotificationCenterTest, AuthorizedWhenAServerAnswers) {
    startServer();
    std::optional<std::pair<bool, std::optional<std::string>>> answer;
    center().requestAuthorization([&](bool granted, std::optional<std::string> error) {
        answer = {granted, error};
    });
    ASSERT_TRUE(processEventsUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(answer->first);
    EXPECT_EQ(answer->second, std::nullopt);
}

TEST_F(FreedesktopNotificationCenterTest, NoServerMeansNoAuthorization) {
    std::optional<std::pair<bool, std::optional<std::string>>> answer;
    center().requestAuthorization([&](bool granted, std::optional<std::string> error) {
        answer = {granted, error};
    });
    ASSERT_TRUE(processEventsUntil([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->first);
    EXPECT_EQ(answer->second, "No notification service");
}

TEST(FreedesktopNotificationCenterWithoutBusTest, EveryCallIsHarmless) {
    int argc = 1;
    std::string name = "FreedesktopNotificationCenterTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    FreedesktopNotificationCenter center(
        QDBusConnection::connectToBus(QString("unix:path=/nonexistent/vigilor-bus"), "vigilor-no-bus"));

    std::optional<std::pair<bool, std::optional<std::string>>> answer;
    center.requestAuthorization([&](bool granted, std::optional<std::string> error) {
        answer = {granted, error};
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->first);
    EXPECT_EQ(answer->second, "No notification service");

    std::optional<std::optional<std::string>> added;
    center.setNotificationCategories(categories());
    center.add(request(eyeNotification, eyeCategory),
               [&](std::optional<std::string> error) { added = error; });
    ASSERT_TRUE(added.has_value());
    EXPECT_NE(*added, std::nullopt);
    center.removeNotifications({eyeNotification});
    QDBusConnection::disconnectFromBus("vigilor-no-bus");
}

} // namespace
