#pragma once

#include "Platform/UserNotifications.h"

#include <QDBusConnection>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class DBusSignalRelay;
class QDBusMessage;
class QDBusServiceWatcher;
class QObject;

// User notifications through the desktop's notification server (org.freedesktop.Notifications on the
// session bus: GNOME Shell, Plasma, dunst, mako, xfce4-notifyd ...).
//
// One live notification per request identifier: a newer request with the same identifier asks the
// server to replace the older one (replaces_id), and one sent while the older one is still on its way
// waits for the server's id. A category's actions become the notification's buttons. The server's
// answers are handed on as responses:
// - a button (ActionInvoked) → that action's identifier; the notification is then closed, as it
//   would leave the list elsewhere, so that its closing is not taken for a dismissal;
// - closed by the user (NotificationClosed, reason 2) → dismissActionIdentifier, but only for a
//   category with customDismissAction;
// - a plain click ("default"), expiry (1) and closing by us or by a call (3) → nothing.
// Signals about notifications of other applications are ignored. When the server quits or restarts,
// its ids are forgotten, since a new server counts from 1 again.
//
// Each notification carries the application's icon and the name of its desktop entry, by which a
// desktop groups the notifications of one application under its name and icon.
//
// The server's capabilities are asked for just before the first notification goes out (and again
// after a new server took over), never at start: asking a bus that can activate a server starts one,
// which a session that never notifies has no use for.
//
// Sound: freedesktop servers play nothing unless asked; the default alert sound is asked for with the
// sound theme's name for a new instant message ("message-new-instant"), and a silent request tells the
// server so ("suppress-sound").
//
// Lives on the main thread: QtDBus delivers the replies and signals there, and the response handler
// and the add completions are called from them. Without a session bus every call is harmless: adding
// fails with a reason, and authorisation is refused with "No notification service".
class FreedesktopNotificationCenter final : public UserNotificationCenter {
public:
    static constexpr const char* noServiceError = "No notification service";

    // Who the notifications come from.
    struct Sender {
        std::string appIcon;      // an icon theme's name or a file:// URI; empty: none
        std::string desktopEntry; // the desktop entry's file name without ".desktop"; empty: none
    };

    // The desktop's session bus.
    explicit FreedesktopNotificationCenter(Sender sender = {});
    FreedesktopNotificationCenter(QDBusConnection sessionBus, Sender sender = {});
    ~FreedesktopNotificationCenter() override;
    FreedesktopNotificationCenter(const FreedesktopNotificationCenter&) = delete;
    FreedesktopNotificationCenter& operator=(const FreedesktopNotificationCenter&) = delete;

    // Granted when a notification server answers (asking starts one where the bus can activate it).
    // The completion runs on the main thread, or at once when there is no session bus.
    void requestAuthorization(AuthorizationCompletion completion) override;
    void setNotificationCategories(std::vector<NotificationCategory> categories) override;
    void setResponseHandler(std::function<void(const NotificationResponse&)> handler) override;
    void add(NotificationRequest request, AddCompletion completion) override;
    void removeNotifications(const std::vector<std::string>& identifiers) override;

private:
    struct Pending {
        NotificationRequest request;
        AddCompletion completion;
    };
    // What we know of one request identifier's notification.
    struct Slot {
        uint id = 0;                    // the server's id of the live notification; 0: none
        std::string categoryIdentifier; // of the live notification
        bool sending = false;           // a Notify awaits its reply
        bool closeWhenShown = false;    // removed while that Notify was on its way
        std::deque<Pending> waiting;    // newer requests, sent once the server's id is known
    };

    void subscribe();
    // Sends what waits for each identifier that has nothing on its way.
    void sendWaiting();
    void send(const std::string& identifier);
    // The server's reply to a Notify: the id it gave, or why it refused.
    void shown(const std::string& identifier, std::optional<uint> id, const std::string& categoryIdentifier,
               const AddCompletion& completion, std::optional<std::string> error);
    void close(uint id);
    void readCapabilities();
    void actionInvoked(const QDBusMessage& message);
    void notificationClosed(const QDBusMessage& message);
    // The identifier of our live notification with that id; nothing when it is not ours.
    std::optional<std::string> identifierOf(uint id) const;
    // Forgets an identifier with nothing live, on its way or waiting.
    void dropIfIdle(const std::string& identifier);
    // The server no longer shows the identifier's notification; gives the category it had.
    std::string takeOffScreen(const std::string& identifier);
    const NotificationCategory* category(const std::string& identifier) const;
    void respond(const std::string& identifier, const std::string& categoryIdentifier,
                 const std::string& actionIdentifier);

    QDBusConnection bus_;
    Sender sender_;
    std::vector<NotificationCategory> categories_;
    std::function<void(const NotificationResponse&)> responseHandler_;
    std::map<std::string, Slot> slots_;
    // Most servers read the body as a little markup, in which '&' and '<' must be escaped; until the
    // server says otherwise, we assume it does.
    bool bodyIsMarkup_ = true;
    enum class Capabilities { unknown, asked, known };
    Capabilities capabilities_ = Capabilities::unknown;
    // The context of our Qt connections and the parent of replies still awaited: all end with it, so
    // nothing reaches a destroyed center.
    std::unique_ptr<QObject> context_;
    std::vector<std::unique_ptr<DBusSignalRelay>> relays_;
    std::unique_ptr<QDBusServiceWatcher> serverWatcher_;
};
