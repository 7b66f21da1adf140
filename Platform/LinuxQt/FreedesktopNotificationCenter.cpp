#include "FreedesktopNotificationCenter.h"

#include "Platform/LinuxQt/DBusCalls.h"
#include "Platform/LinuxQt/DBusSignalRelay.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace {

constexpr auto service = "org.freedesktop.Notifications";
constexpr auto path = "/org/freedesktop/Notifications";
constexpr auto interface = "org.freedesktop.Notifications";
constexpr auto applicationName = "Zorvi";
// Long enough for the bus to start a server on demand.
constexpr int callTimeoutMilliseconds = 5000;
// Let the server decide how long a notification stays.
constexpr int serverDefaultExpiry = -1;
// The key a server reports for a click on the notification itself rather than on a button.
constexpr auto defaultActionKey = "default";
// NotificationClosed reasons; 1 (expired), 3 (closed by CloseNotification) and 4 (other) are no answer
// from the user.
constexpr uint closedByUser = 2;
// The freedesktop sound theme's name for an incoming message: what the desktop plays for an alert.
constexpr auto defaultSoundName = "message-new-instant";

using ReplyHandler = std::function<void(const QDBusMessage&)>;

// Calls a method of the notification server without waiting; `onReply` gets the reply or the error,
// on the thread of `context`, unless `context` is gone by then.
void callServer(QDBusConnection& bus, QObject* context, const QString& method, const QVariantList& arguments,
                ReplyHandler onReply) {
    DBusCalls::callLater(bus, DBusCalls::methodCall(service, path, interface, method, arguments), context,
                         std::move(onReply), callTimeoutMilliseconds);
}

bool isError(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

QString errorText(const QDBusMessage& reply) {
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(Sender sender)
    : FreedesktopNotificationCenter(QDBusConnection::sessionBus(), std::move(sender)) {
}

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection sessionBus, Sender sender)
    : bus_(std::move(sessionBus))
    , sender_(std::move(sender))
    , context_(std::make_unique<QObject>()) {
    if (bus_.isConnected())
        subscribe();
}

FreedesktopNotificationCenter::~FreedesktopNotificationCenter() = default;

void FreedesktopNotificationCenter::subscribe() {
    using Match = DBusSignalRelay::Match;
    const std::pair<QString, DBusSignalRelay::Handler> subscriptions[] = {
        {"ActionInvoked", [this](const QDBusMessage& message) { actionInvoked(message); }},
        {"NotificationClosed", [this](const QDBusMessage& message) { notificationClosed(message); }},
    };
    for (const auto& [name, handler] : subscriptions)
        if (auto relay = DBusSignalRelay::subscribe(bus_, Match{service, path, interface, name}, handler))
            relays_.push_back(std::move(relay));

    serverWatcher_ =
        std::make_unique<QDBusServiceWatcher>(service, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(serverWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, context_.get(),
                     [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                         if (!oldOwner.isEmpty()) {
                             // Its notifications went with it, and a new server reuses their ids.
                             for (auto& [identifier, slot] : slots_)
                                 slot.id = 0;
                             std::erase_if(slots_, [](const auto& entry) {
                                 return !entry.second.sending && entry.second.waiting.empty();
                             });
                         }
                         // A new server may read bodies otherwise: asked again before the next one.
                         if (!newOwner.isEmpty() && capabilities_ == Capabilities::known)
                             capabilities_ = Capabilities::unknown;
                     });
}

// Whatever the answer, the notifications waiting for it go: without one, as markup.
void FreedesktopNotificationCenter::readCapabilities() {
    capabilities_ = Capabilities::asked;
    callServer(bus_, context_.get(), "GetCapabilities", {}, [this](const QDBusMessage& reply) {
        if (!isError(reply) && !reply.arguments().isEmpty())
            bodyIsMarkup_ = reply.arguments().constFirst().toStringList().contains("body-markup");
        capabilities_ = Capabilities::known;
        sendWaiting();
    });
}

void FreedesktopNotificationCenter::sendWaiting() {
    std::vector<std::string> ready;
    for (const auto& [identifier, slot] : slots_)
        if (!slot.sending && !slot.waiting.empty())
            ready.push_back(identifier);
    for (const auto& identifier : ready)
        send(identifier);
}

void FreedesktopNotificationCenter::requestAuthorization(AuthorizationCompletion completion) {
    if (!completion)
        return;
    if (!bus_.isConnected())
        return completion(false, std::string(noServiceError));
    callServer(bus_, context_.get(), "GetServerInformation", {},
               [completion = std::move(completion)](const QDBusMessage& reply) {
                   if (isError(reply))
                       completion(false, std::string(noServiceError));
                   else
                       completion(true, std::nullopt);
               });
}

void FreedesktopNotificationCenter::setNotificationCategories(std::vector<NotificationCategory> categories) {
    categories_ = std::move(categories);
}

void FreedesktopNotificationCenter::setResponseHandler(
    std::function<void(const NotificationResponse&)> handler) {
    responseHandler_ = std::move(handler);
}

void FreedesktopNotificationCenter::add(NotificationRequest request, AddCompletion completion) {
    if (!bus_.isConnected()) {
        if (completion)
            completion(std::string(noServiceError) + " (no session bus)");
        return;
    }
    const std::string identifier = request.identifier;
    Slot& slot = slots_[identifier];
    slot.waiting.push_back({std::move(request), std::move(completion)});
    if (capabilities_ == Capabilities::unknown)
        readCapabilities();
    else if (capabilities_ == Capabilities::known && !slot.sending)
        send(identifier);
}

// Sends the oldest waiting request of `identifier`, replacing its live notification if there is one.
void FreedesktopNotificationCenter::send(const std::string& identifier) {
    Slot& slot = slots_.at(identifier);
    Pending next = std::move(slot.waiting.front());
    slot.waiting.pop_front();
    slot.sending = true;
    const NotificationRequest& request = next.request;

    QStringList actions;
    if (const NotificationCategory* found = category(request.categoryIdentifier))
        for (const auto& action : found->actions)
            actions << QString::fromStdString(action.identifier) << QString::fromStdString(action.title);
    QVariantMap hints;
    if (!sender_.desktopEntry.empty())
        hints.insert("desktop-entry", QString::fromStdString(sender_.desktopEntry));
    if (request.playsDefaultSound)
        hints.insert("sound-name", defaultSoundName);
    else
        hints.insert("suppress-sound", true);
    QString body = QString::fromStdString(request.body);
    if (bodyIsMarkup_)
        body = body.toHtmlEscaped();

    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    QVariantList arguments;
    arguments << applicationName << slot.id << QString::fromStdString(sender_.appIcon)
              << QString::fromStdString(request.title) << body << actions << hints << serverDefaultExpiry;
    callServer(bus_, context_.get(), "Notify", arguments,
               [this, identifier, categoryIdentifier = request.categoryIdentifier,
                completion = std::move(next.completion)](const QDBusMessage& reply) {
                   if (isError(reply) || reply.arguments().isEmpty())
                       return shown(identifier, std::nullopt, categoryIdentifier, completion,
                                    "The notification service refused the notification: " +
                                        errorText(reply).toStdString());
                   shown(identifier, reply.arguments().constFirst().toUInt(), categoryIdentifier, completion,
                         std::nullopt);
               });
}

void FreedesktopNotificationCenter::shown(const std::string& identifier, std::optional<uint> id,
                                          const std::string& categoryIdentifier,
                                          const AddCompletion& completion, std::optional<std::string> error) {
    Slot& slot = slots_.at(identifier);
    slot.sending = false;
    if (id) {
        // A server that ignored replaces_id still shows the older one.
        if (slot.id != 0 && slot.id != *id)
            close(slot.id);
        slot.id = *id;
        slot.categoryIdentifier = categoryIdentifier;
        if (std::exchange(slot.closeWhenShown, false)) {
            close(*id);
            slot.id = 0;
        }
    }
    if (!slot.waiting.empty())
        send(identifier);
    else
        dropIfIdle(identifier);
    if (completion)
        completion(std::move(error));
}

void FreedesktopNotificationCenter::removeNotifications(const std::vector<std::string>& identifiers) {
    std::vector<AddCompletion> unsent;
    for (const auto& identifier : identifiers) {
        const auto found = slots_.find(identifier);
        if (found == slots_.end())
            continue;
        Slot& slot = found->second;
        // Requests not sent yet are dropped: for their senders they were added, then removed.
        for (auto& pending : slot.waiting)
            unsent.push_back(std::move(pending.completion));
        slot.waiting.clear();
        if (slot.id != 0)
            close(slot.id);
        slot.id = 0;
        slot.closeWhenShown = slot.sending;
        dropIfIdle(identifier);
    }
    for (const auto& completion : unsent)
        if (completion)
            completion(std::nullopt);
}

void FreedesktopNotificationCenter::close(uint id) {
    callServer(bus_, context_.get(), "CloseNotification", {id}, [](const QDBusMessage&) {
        // Nothing to do either way: a notification the server no longer knows is closed already.
    });
}

void FreedesktopNotificationCenter::actionInvoked(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const uint id = arguments.at(0).toUInt();
    const std::string action = arguments.at(1).toString().toStdString();
    if (action == defaultActionKey)
        return;
    const auto identifier = identifierOf(id);
    if (!identifier)
        return;
    const std::string categoryIdentifier = takeOffScreen(*identifier);
    // Answered: it leaves the screen, and its closing is no dismissal.
    close(id);
    respond(*identifier, categoryIdentifier, action);
}

std::string FreedesktopNotificationCenter::takeOffScreen(const std::string& identifier) {
    Slot& slot = slots_.at(identifier);
    std::string categoryIdentifier = std::exchange(slot.categoryIdentifier, {});
    slot.id = 0;
    dropIfIdle(identifier);
    return categoryIdentifier;
}

void FreedesktopNotificationCenter::notificationClosed(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const uint id = arguments.at(0).toUInt();
    const uint reason = arguments.at(1).toUInt();
    const auto identifier = identifierOf(id);
    if (!identifier)
        return;
    const std::string categoryIdentifier = takeOffScreen(*identifier);
    const NotificationCategory* closedCategory = category(categoryIdentifier);
    if (reason == closedByUser && closedCategory && closedCategory->customDismissAction)
        respond(*identifier, categoryIdentifier, dismissActionIdentifier);
}

std::optional<std::string> FreedesktopNotificationCenter::identifierOf(uint id) const {
    if (id == 0)
        return std::nullopt;
    for (const auto& [identifier, slot] : slots_)
        if (slot.id == id)
            return identifier;
    return std::nullopt;
}

void FreedesktopNotificationCenter::dropIfIdle(const std::string& identifier) {
    const auto found = slots_.find(identifier);
    if (found != slots_.end() && found->second.id == 0 && !found->second.sending &&
        found->second.waiting.empty())
        slots_.erase(found);
}

const NotificationCategory* FreedesktopNotificationCenter::category(const std::string& identifier) const {
    if (identifier.empty())
        return nullptr;
    for (const auto& candidate : categories_)
        if (candidate.identifier == identifier)
            return &candidate;
    return nullptr;
}

void FreedesktopNotificationCenter::respond(const std::string& identifier,
                                            const std::string& categoryIdentifier,
                                            const std::string& actionIdentifier) {
    const auto handler = responseHandler_; // a copy: the handler may replace itself
    if (handler)
        handler({identifier, categoryIdentifier, actionIdentifier});
}
