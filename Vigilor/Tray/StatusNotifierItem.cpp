#include "StatusNotifierItem.h"

#include "Foundation/SystemLog.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QIcon>
#include <QRegularExpression>
#include <QTimer>
#include <QtEndian>

#include <mutex>
#include <utility>

#include <unistd.h>

namespace sni {

// One picture of the icon: width, height and ARGB32 pixels in network byte order, (iiay).
struct IconPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
    bool operator==(const IconPixmap&) const = default;
};
using IconPixmaps = QList<IconPixmap>;

// (sa(iiay)ss): an icon name, pictures, a title and a text.
struct ToolTip {
    QString iconName;
    IconPixmaps pixmaps;
    QString title;
    QString text;
};

// A menu item with its properties and its children, (ia{sv}av).
struct MenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<MenuLayout> children;
};

// A menu item's properties alone, (ia{sv}).
struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& a, const IconPixmap& p) {
    a.beginStructure();
    a << p.width << p.height << p.argb;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, IconPixmap& p) {
    a.beginStructure();
    a >> p.width >> p.height >> p.argb;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const ToolTip& t) {
    a.beginStructure();
    a << t.iconName << t.pixmaps << t.title << t.text;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, ToolTip& t) {
    a.beginStructure();
    a >> t.iconName >> t.pixmaps >> t.title >> t.text;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const MenuLayout& m) {
    a.beginStructure();
    a << m.id << m.properties;
    a.beginArray(qMetaTypeId<QDBusVariant>());
    for (const MenuLayout& child : m.children)
        a << QDBusVariant(QVariant::fromValue(child));
    a.endArray();
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, MenuLayout& m) {
    a.beginStructure();
    a >> m.id >> m.properties;
    a.beginArray();
    while (!a.atEnd()) {
        QDBusVariant child;
        a >> child;
    }
    a.endArray();
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const MenuItemProperties& m) {
    a.beginStructure();
    a << m.id << m.properties;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, MenuItemProperties& m) {
    a.beginStructure();
    a >> m.id >> m.properties;
    a.endStructure();
    return a;
}

} // namespace sni

Q_DECLARE_METATYPE(sni::IconPixmap)
Q_DECLARE_METATYPE(sni::ToolTip)
Q_DECLARE_METATYPE(sni::MenuLayout)
Q_DECLARE_METATYPE(sni::MenuItemProperties)

namespace {

using namespace sni;

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int iconSizes[] = {16, 22, 24, 32, 48};

void registerTypes() {
    static std::once_flag once;
    std::call_once(once, [] {
        qDBusRegisterMetaType<IconPixmap>();
        qDBusRegisterMetaType<IconPixmaps>();
        qDBusRegisterMetaType<ToolTip>();
        qDBusRegisterMetaType<MenuLayout>();
        qDBusRegisterMetaType<MenuItemProperties>();
        qDBusRegisterMetaType<QList<MenuItemProperties>>();
    });
}

IconPixmaps pixmapsOf(const QIcon& icon) {
    IconPixmaps pixmaps;
    for (const int side : iconSizes) {
        QImage image = icon.pixmap(QSize(side, side), 1.0).toImage();
        if (image.size() != QSize(side, side))
            image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        image = image.convertToFormat(QImage::Format_ARGB32);
        QByteArray argb(int(image.sizeInBytes()), Qt::Uninitialized);
        auto* out = reinterpret_cast<quint32*>(argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append({image.width(), image.height(), argb});
    }
    return pixmaps;
}

void reply(const QDBusConnection& bus, const QDBusMessage& message, const QVariantList& arguments = {}) {
    bus.send(message.createReply(arguments));
}

void replyUnknown(const QDBusConnection& bus, const QDBusMessage& message) {
    bus.send(message.createErrorReply(QDBusError::UnknownMethod,
                                      message.interface() + "." + message.member() + " is not known here"));
}

// The Properties interface over a table of values: Get, GetAll; nothing is writable.
bool answerProperties(const QDBusConnection& bus, const QDBusMessage& message, const QString& interface,
                      const QVariantMap& properties) {
    if (message.interface() != propertiesInterface)
        return false;
    const QVariantList arguments = message.arguments();
    const QString asked = arguments.value(0).toString();
    if (message.member() == QLatin1String("GetAll") && (asked == interface || asked.isEmpty())) {
        reply(bus, message, {properties});
    } else if (message.member() == QLatin1String("Get") && asked == interface &&
               properties.contains(arguments.value(1).toString())) {
        reply(bus, message, {QVariant::fromValue(QDBusVariant(properties.value(arguments.value(1).toString())))});
    } else if (message.member() == QLatin1String("Set")) {
        bus.send(message.createErrorReply(QDBusError::PropertyReadOnly, "The properties are read-only"));
    } else {
        bus.send(message.createErrorReply(QDBusError::UnknownProperty,
                                          "No property " + arguments.value(1).toString() + " in " + asked));
    }
    return true;
}

} // namespace

// org.kde.StatusNotifierItem at /StatusNotifierItem.
class StatusNotifierItem::ItemObject final : public QDBusVirtualObject {
public:
    explicit ItemObject(StatusNotifierItem& owner)
        : owner_(owner) {}

    IconPixmaps pixmaps;
    QString accessibleDescription = QStringLiteral("Zorvi");
    QString toolTip = QStringLiteral("Zorvi");
    std::optional<uint32_t> tokenTime; // from the host's activation token for the click under way

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"org.kde.StatusNotifierItem\">"
            "<property name=\"Category\" type=\"s\" access=\"read\"/>"
            "<property name=\"Id\" type=\"s\" access=\"read\"/>"
            "<property name=\"Title\" type=\"s\" access=\"read\"/>"
            "<property name=\"Status\" type=\"s\" access=\"read\"/>"
            "<property name=\"WindowId\" type=\"i\" access=\"read\"/>"
            "<property name=\"IconThemePath\" type=\"s\" access=\"read\"/>"
            "<property name=\"Menu\" type=\"o\" access=\"read\"/>"
            "<property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>"
            "<property name=\"IconName\" type=\"s\" access=\"read\"/>"
            "<property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>"
            "<property name=\"IconAccessibleDesc\" type=\"s\" access=\"read\"/>"
            "<property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>"
            "<property name=\"OverlayIconPixmap\" type=\"a(iiay)\" access=\"read\"/>"
            "<property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>"
            "<property name=\"AttentionIconPixmap\" type=\"a(iiay)\" access=\"read\"/>"
            "<property name=\"AttentionAccessibleDesc\" type=\"s\" access=\"read\"/>"
            "<property name=\"AttentionMovieName\" type=\"s\" access=\"read\"/>"
            "<property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\"/>"
            "<method name=\"ContextMenu\"><arg name=\"x\" type=\"i\" direction=\"in\"/>"
            "<arg name=\"y\" type=\"i\" direction=\"in\"/></method>"
            "<method name=\"Activate\"><arg name=\"x\" type=\"i\" direction=\"in\"/>"
            "<arg name=\"y\" type=\"i\" direction=\"in\"/></method>"
            "<method name=\"SecondaryActivate\"><arg name=\"x\" type=\"i\" direction=\"in\"/>"
            "<arg name=\"y\" type=\"i\" direction=\"in\"/></method>"
            "<method name=\"XAyatanaSecondaryActivate\"><arg name=\"timestamp\" type=\"u\" direction=\"in\"/>"
            "</method>"
            "<method name=\"Scroll\"><arg name=\"delta\" type=\"i\" direction=\"in\"/>"
            "<arg name=\"orientation\" type=\"s\" direction=\"in\"/></method>"
            "<method name=\"ProvideXdgActivationToken\"><arg name=\"token\" type=\"s\" direction=\"in\"/>"
            "</method>"
            "<signal name=\"NewTitle\"/><signal name=\"NewIcon\"/><signal name=\"NewAttentionIcon\"/>"
            "<signal name=\"NewOverlayIcon\"/><signal name=\"NewToolTip\"/>"
            "<signal name=\"NewStatus\"><arg name=\"status\" type=\"s\"/></signal>"
            "</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (answerProperties(connection, message, itemInterface, properties()))
            return true;
        const QString member = message.member();
        const QVariantList arguments = message.arguments();
        if (member == QLatin1String("Activate") || member == QLatin1String("ContextMenu")) {
            reply(connection, message);
            const Activation activation{QPoint(arguments.value(0).toInt(), arguments.value(1).toInt()),
                                        std::exchange(tokenTime, std::nullopt)};
            // Answered first: the host may hold its pointer grab until it has the answer.
            QTimer::singleShot(0, this, [this, activation] {
                if (owner_.onActivate)
                    owner_.onActivate(activation);
            });
        } else if (member == QLatin1String("ProvideXdgActivationToken")) {
            tokenTime = tokenTimestamp(arguments.value(0).toString());
            reply(connection, message);
        } else if (member == QLatin1String("SecondaryActivate") || member == QLatin1String("Scroll") ||
                   member == QLatin1String("XAyatanaSecondaryActivate")) {
            reply(connection, message); // a middle click or the wheel: nothing of Zorvi's answers to them
        } else {
            replyUnknown(connection, message);
        }
        return true;
    }

private:
    QVariantMap properties() const {
        const QString none;
        return {
            {"Category", QStringLiteral("ApplicationStatus")},
            {"Id", QStringLiteral("zorvi")},
            {"Title", QStringLiteral("Zorvi")},
            {"Status", QStringLiteral("Active")},
            {"WindowId", 0},
            {"IconThemePath", none},
            {"Menu", QVariant::fromValue(QDBusObjectPath(menuPath))},
            {"ItemIsMenu", false},
            {"IconName", none},
            {"IconPixmap", QVariant::fromValue(pixmaps)},
            {"IconAccessibleDesc", accessibleDescription},
            {"OverlayIconName", none},
            {"OverlayIconPixmap", QVariant::fromValue(IconPixmaps())},
            {"AttentionIconName", none},
            {"AttentionIconPixmap", QVariant::fromValue(IconPixmaps())},
            {"AttentionAccessibleDesc", accessibleDescription},
            {"AttentionMovieName", none},
            {"ToolTip", QVariant::fromValue(ToolTip{none, {}, toolTip, none})},
        };
    }

    StatusNotifierItem& owner_;
};

// com.canonical.dbusmenu at /MenuBar: one level of entries under the root (id 0), numbered from 1.
class StatusNotifierItem::MenuObject final : public QDBusVirtualObject {
public:
    explicit MenuObject(std::vector<MenuEntry> entries)
        : entries_(std::move(entries)) {}

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"com.canonical.dbusmenu\">"
            "<property name=\"Version\" type=\"u\" access=\"read\"/>"
            "<property name=\"TextDirection\" type=\"s\" access=\"read\"/>"
            "<property name=\"Status\" type=\"s\" access=\"read\"/>"
            "<property name=\"IconThemePath\" type=\"as\" access=\"read\"/>"
            "<method name=\"GetLayout\"><arg type=\"i\" name=\"parentId\" direction=\"in\"/>"
            "<arg type=\"i\" name=\"recursionDepth\" direction=\"in\"/>"
            "<arg type=\"as\" name=\"propertyNames\" direction=\"in\"/>"
            "<arg type=\"u\" name=\"revision\" direction=\"out\"/>"
            "<arg type=\"(ia{sv}av)\" name=\"layout\" direction=\"out\"/></method>"
            "<method name=\"GetGroupProperties\"><arg type=\"ai\" name=\"ids\" direction=\"in\"/>"
            "<arg type=\"as\" name=\"propertyNames\" direction=\"in\"/>"
            "<arg type=\"a(ia{sv})\" name=\"properties\" direction=\"out\"/></method>"
            "<method name=\"GetProperty\"><arg type=\"i\" name=\"id\" direction=\"in\"/>"
            "<arg type=\"s\" name=\"name\" direction=\"in\"/><arg type=\"v\" name=\"value\" direction=\"out\"/>"
            "</method>"
            "<method name=\"Event\"><arg type=\"i\" name=\"id\" direction=\"in\"/>"
            "<arg type=\"s\" name=\"eventId\" direction=\"in\"/><arg type=\"v\" name=\"data\" direction=\"in\"/>"
            "<arg type=\"u\" name=\"timestamp\" direction=\"in\"/></method>"
            "<method name=\"EventGroup\"><arg type=\"a(isvu)\" name=\"events\" direction=\"in\"/>"
            "<arg type=\"ai\" name=\"idErrors\" direction=\"out\"/></method>"
            "<method name=\"AboutToShow\"><arg type=\"i\" name=\"id\" direction=\"in\"/>"
            "<arg type=\"b\" name=\"needUpdate\" direction=\"out\"/></method>"
            "<method name=\"AboutToShowGroup\"><arg type=\"ai\" name=\"ids\" direction=\"in\"/>"
            "<arg type=\"ai\" name=\"updatesNeeded\" direction=\"out\"/>"
            "<arg type=\"ai\" name=\"idErrors\" direction=\"out\"/></method>"
            "<signal name=\"ItemsPropertiesUpdated\"><arg type=\"a(ia{sv})\" name=\"updatedProps\"/>"
            "<arg type=\"a(ias)\" name=\"removedProps\"/></signal>"
            "<signal name=\"LayoutUpdated\"><arg type=\"u\" name=\"revision\"/>"
            "<arg type=\"i\" name=\"parent\"/></signal>"
            "</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (answerProperties(connection, message, menuInterface,
                             {{"Version", 3u},
                              {"TextDirection", QStringLiteral("ltr")},
                              {"Status", QStringLiteral("normal")},
                              {"IconThemePath", QStringList()}}))
            return true;
        const QString member = message.member();
        const QVariantList arguments = message.arguments();
        if (member == QLatin1String("GetLayout")) {
            const int parent = arguments.value(0).toInt();
            if (parent < 0 || parent > int(entries_.size()))
                return replyNoItem(connection, message);
            MenuLayout layout{parent, propertiesOf(parent), {}};
            if (parent == 0 && arguments.value(1).toInt() != 0)
                for (int id = 1; id <= int(entries_.size()); ++id)
                    layout.children.append({id, propertiesOf(id), {}});
            reply(connection, message, {1u, QVariant::fromValue(layout)});
        } else if (member == QLatin1String("GetGroupProperties")) {
            QList<MenuItemProperties> all;
            for (const int id : qdbus_cast<QList<int>>(arguments.value(0)))
                if (id >= 0 && id <= int(entries_.size()))
                    all.append({id, propertiesOf(id)});
            reply(connection, message, {QVariant::fromValue(all)});
        } else if (member == QLatin1String("GetProperty")) {
            const int id = arguments.value(0).toInt();
            const QVariantMap properties = id >= 0 && id <= int(entries_.size()) ? propertiesOf(id) : QVariantMap();
            if (!properties.contains(arguments.value(1).toString()))
                return replyNoItem(connection, message);
            reply(connection, message,
                  {QVariant::fromValue(QDBusVariant(properties.value(arguments.value(1).toString())))});
        } else if (member == QLatin1String("Event")) {
            reply(connection, message);
            choose(arguments.value(0).toInt(), arguments.value(1).toString(), arguments.value(3).toUInt());
        } else if (member == QLatin1String("EventGroup")) {
            reply(connection, message, {QVariant::fromValue(QList<int>())});
            const QDBusArgument events = arguments.value(0).value<QDBusArgument>();
            events.beginArray();
            while (!events.atEnd()) {
                int id = 0;
                QString kind;
                QDBusVariant data;
                uint timestamp = 0;
                events.beginStructure();
                events >> id >> kind >> data >> timestamp;
                events.endStructure();
                choose(id, kind, timestamp);
            }
            events.endArray();
        } else if (member == QLatin1String("AboutToShow")) {
            reply(connection, message, {false});
        } else if (member == QLatin1String("AboutToShowGroup")) {
            reply(connection, message, {QVariant::fromValue(QList<int>()), QVariant::fromValue(QList<int>())});
        } else {
            replyUnknown(connection, message);
        }
        return true;
    }

private:
    QVariantMap propertiesOf(int id) const {
        if (id == 0)
            return {{"children-display", QStringLiteral("submenu")}};
        const MenuEntry& entry = entries_[size_t(id - 1)];
        if (entry.label.isEmpty())
            return {{"type", QStringLiteral("separator")}};
        return {{"label", entry.label}, {"enabled", true}, {"visible", true}};
    }

    // After the answer: a window built meanwhile would keep the host waiting.
    void choose(int id, const QString& kind, uint32_t timestamp) {
        if (kind != QLatin1String("clicked") || id < 1 || id > int(entries_.size()))
            return;
        QTimer::singleShot(0, this, [this, id, timestamp] {
            if (const auto& chosen = entries_[size_t(id - 1)].chosen)
                chosen(timestamp);
        });
    }

    static bool replyNoItem(const QDBusConnection& bus, const QDBusMessage& message) {
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, "No such menu item or property"));
        return true;
    }

    std::vector<MenuEntry> entries_;
};

bool StatusNotifierItem::hostPresent(const QDBusConnection& bus) {
    const QString watcher = QString::fromLatin1(watcherService);
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return properties.property("IsStatusNotifierHostRegistered").toBool();
}

std::optional<uint32_t> StatusNotifierItem::tokenTimestamp(const QString& token) {
    static const QRegularExpression time(QStringLiteral("_TIME(\\d+)$"));
    const auto match = time.match(token);
    bool ok = false;
    const uint32_t value = match.hasMatch() ? match.captured(1).toUInt(&ok) : 0;
    return ok && value != 0 ? std::optional(value) : std::nullopt;
}

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, std::vector<MenuEntry> menu)
    : bus_(std::move(bus))
    , item_(std::make_unique<ItemObject>(*this))
    , menu_(std::make_unique<MenuObject>(std::move(menu))) {
    registerTypes();
    static int made = 0;
    service_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(++made);
    bus_.registerVirtualObject(QString::fromLatin1(itemPath), item_.get());
    bus_.registerVirtualObject(QString::fromLatin1(menuPath), menu_.get());
    bus_.registerService(service_);
    // A host that restarts (a desktop's panel, the shell) comes with a watcher of its own.
    watcher_ = std::make_unique<QDBusServiceWatcher>(QString::fromLatin1(watcherService), bus_,
                                                     QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, watcher_.get(),
                     [this] { registerWithWatcher(); });
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem() {
    bus_.unregisterService(service_);
    bus_.unregisterObject(QString::fromLatin1(itemPath));
    bus_.unregisterObject(QString::fromLatin1(menuPath));
}

void StatusNotifierItem::registerWithWatcher() {
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(watcherService),
                                                       QStringLiteral("/StatusNotifierWatcher"),
                                                       QString::fromLatin1(watcherService),
                                                       QStringLiteral("RegisterStatusNotifierItem"));
    // Registered by the connection's unique name, as most items are: GNOME's extension, given the item's
    // own name, follows both and logs an error when the item ends.
    call.setArguments({bus_.baseService()});
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), watcher_.get());
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, pending, [](QDBusPendingCallWatcher* done) {
        if (done->isError())
            systemLog("interface", "The tray did not take the status icon: " + done->error().message().toStdString());
        done->deleteLater();
    });
}

void StatusNotifierItem::emitSignal(const char* name) {
    bus_.send(QDBusMessage::createSignal(QString::fromLatin1(itemPath), itemInterface, QString::fromLatin1(name)));
}

void StatusNotifierItem::setIcon(const QIcon& icon, const QString& accessibleDescription) {
    IconPixmaps pixmaps = pixmapsOf(icon);
    if (pixmaps == item_->pixmaps && accessibleDescription == item_->accessibleDescription)
        return;
    item_->pixmaps = std::move(pixmaps);
    item_->accessibleDescription = accessibleDescription;
    emitSignal("NewIcon");
}

void StatusNotifierItem::setToolTip(const QString& toolTip) {
    if (toolTip == item_->toolTip)
        return;
    item_->toolTip = toolTip;
    emitSignal("NewToolTip");
}
