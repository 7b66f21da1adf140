// The tray item in a Status Notifier host (KDE's and Xfce's panels, GNOME's AppIndicator extension),
// played by a watcher on a bus of the test's own that calls the item as those hosts do.
#include "Platform/LinuxQt/DBusSignalRelay.h"
#include "Support/PrivateBus.h"
#include "Support/TrayDesktop.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>

namespace {

const QString watcher = "org.kde.StatusNotifierWatcher";
const QString itemInterface = "org.kde.StatusNotifierItem";

// The ids of a dbusmenu layout's items, (ia{sv}av), by label.
void collectItems(const QDBusArgument& argument, std::map<QString, int>& items) {
    int id = 0;
    QVariantMap properties;
    QVariantList children;
    argument.beginStructure();
    argument >> id >> properties >> children;
    argument.endStructure();
    if (properties.contains("label"))
        items[properties.value("label").toString()] = id;
    for (const QVariant& child : children) // each one a variant, given unwrapped or not
        collectItems((child.canConvert<QDBusVariant>() ? child.value<QDBusVariant>().variant() : child)
                         .value<QDBusArgument>(),
                     items);
}

struct StatusNotifierTray : TrayDesktop {
    StatusNotifierTray()
        : TrayDesktop(QStringLiteral("status-notifier")) {}

    void SetUp() override {
        if (const auto missing = VirtualDesktop::missingTools() + PrivateBus::missingTools();
            !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(desktop.start(false)) << desktop.failure();
        app = std::make_unique<QApplication>(argc, argv);
        ASSERT_TRUE(bus.start()) << bus.failure();
        sessionBus =
            std::make_unique<ScopedVariable>("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8().constData());
        ASSERT_TRUE(
            bus.startMock({watcher.toStdString(), "/StatusNotifierWatcher", watcher.toStdString()}, watcher));
        bus.callMock(watcher, "/StatusNotifierWatcher", "AddMethod",
                     {watcher, "RegisterStatusNotifierItem", "s", "", ""});
        bus.callMock(watcher, "/StatusNotifierWatcher", "AddProperty",
                     {watcher, "IsStatusNotifierHostRegistered", QVariant::fromValue(QDBusVariant(true))});
        monitor = h.makeMonitor();
        StatusItemController::Environment environment;
        environment.clock = &h.clock;
        environment.blinkDelay = [] { return 4.0; }; // the icon would blink every 4 s
        controller = std::make_unique<StatusItemController>(monitor, std::move(environment));
        ASSERT_TRUE(waitFor([&] {
            for (const auto& [method, arguments] : bus.mockCalls(watcher, "/StatusNotifierWatcher"))
                if (method == "RegisterStatusNotifierItem")
                    item = arguments.value(0).toString();
            return !item.isEmpty();
        })) << "the item never registered with the watcher";
    }

    // Calls the item without blocking: it answers from this thread.
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(item, path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = bus.connection().asyncCall(message);
        waitFor([&] { return pending.isFinished(); });
        return pending.reply();
    }

    PrivateBus bus;
    std::unique_ptr<ScopedVariable> sessionBus;
    QString item;
};

// Each call a host makes for a click toggles the panel, holding the keyboard, and a click elsewhere closes it. Hosts that make no
// call for a click show the menu the item exports, whose entries do what they say.
TEST_F(StatusNotifierTray, EveryClickOfTheHostOpensSomethingOfZorvis) {
    const std::pair<const char*, bool> calls[] = {
        {"Activate", true}, {"ContextMenu", true}, {"SecondaryActivate", false}};
    for (const auto& [method, opens] : calls) {
        ASSERT_TRUE(VirtualDesktop::xdotool({"mousemove", "1000", "2"})); // the user's click on the host
        call("/StatusNotifierItem", itemInterface, method, {1000, 10});
        if (!opens) {
            settle(500);
            EXPECT_FALSE(panelOpen()) << method;
            continue;
        }
        ASSERT_TRUE(waitFor([&] { return panelOnScreen(); })) << method;
        // The point given lies in the work area, which says nothing of the icon: the panel opens at
        // the corner of the work area.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_EQ(controller->menuPanel()->geometry().topRight(), area.topRight() + QPoint(-8, 8)) << method;
        EXPECT_TRUE(waitFor([] { return !VirtualDesktop::inputCanBeGrabbed(); }))
            << method << ": no keyboard";
        ASSERT_TRUE(click({100, 650}));
        EXPECT_TRUE(waitFor([&] { return !panelOpen(); })) << method << ": a click elsewhere";
        settle(StatusItemController::closeEchoMilliseconds + 100); // the user's next click comes later
    }

    // A double click leaves the panel open, whether the host calls the item for its second click or
    // that click lands on the open panel's grab (the host's point being the icon's, not the pointer's).
    QApplication::setDoubleClickInterval(3000); // a test's clicks come slower than a hand's
    call("/StatusNotifierItem", itemInterface, "Activate", {1000, 10});
    ASSERT_TRUE(waitFor([&] { return panelOnScreen(); }));
    call("/StatusNotifierItem", itemInterface, "Activate", {1000, 10});
    EXPECT_TRUE(panelOpen()) << "called twice";
    controller->closeMenuPanel();
    settle(StatusItemController::closeEchoMilliseconds + 100);
    ASSERT_TRUE(VirtualDesktop::xdotool({"mousemove", "500", "690"}));
    call("/StatusNotifierItem", itemInterface, "Activate", {990, 2});
    ASSERT_TRUE(waitFor([&] { return panelOnScreen(); }));
    EXPECT_TRUE(waitFor([] { return !VirtualDesktop::inputCanBeGrabbed(); }));
    ASSERT_TRUE(click({500, 690}));
    settle(300);
    EXPECT_TRUE(panelOpen()) << "the second click on the grab";
    controller->closeMenuPanel();
    QApplication::setDoubleClickInterval(400);

    const QDBusMessage menu =
        call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {itemInterface, "Menu"});
    const QString path =
        menu.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    const QDBusMessage layout = call(path, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
    ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << path.toStdString();
    std::map<QString, int> items;
    collectItems(layout.arguments().value(1).value<QDBusArgument>(), items);
    QStringList labels;
    for (const auto& [label, id] : items)
        labels << label;
    EXPECT_EQ(labels, QStringList({"Open Zorvi", "Open the dashboard", "Quit Zorvi", "Settings"}));
    const auto choose = [&](const QString& label) {
        call(path, "com.canonical.dbusmenu", "Event",
             {items[label], "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
    };
    choose("Open Zorvi");
    EXPECT_TRUE(waitFor([&] { return panelOpen(); }));
    choose("Open the dashboard");
    EXPECT_TRUE(waitFor([&] { return controller->mainWindow() && controller->mainWindow()->isVisible(); }));
}

// The (sa(iiay)ss) tooltip's title.
QString toolTipTitle(const QDBusArgument& toolTip) {
    QString iconName, title, text;
    toolTip.beginStructure();
    toolTip >> iconName;
    toolTip.beginArray();
    while (!toolTip.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        toolTip.beginStructure();
        toolTip >> width >> height >> pixels;
        toolTip.endStructure();
    }
    toolTip.endArray();
    toolTip >> title >> text;
    toolTip.endStructure();
    return title;
}

// A host reads the state where it looks for it: the text a screen reader says for the icon (GNOME's
// extension reads IconAccessibleDesc, and AttentionAccessibleDesc, and logged an error at each read
// while the item had neither) and the tooltip.
TEST_F(StatusNotifierTray, TheHostReadsTheStateInTheItemsProperties) {
    showFace(*monitor);
    const Date start = h.clock.now();
    const struct {
        const char* name;
        double after;
        const char* label;
        const char* toolTip;
    } rows[] = {
        {"calm", 0, "Zorvi You are here", "Zorvi"},
        {"walk due", 3000, "Zorvi walk due. You are here", "Zorvi \u2014 walk due"},
    };
    for (const auto& r : rows) {
        // The host is told at most once a second.
        h.clock.set(start.addingTimeInterval(r.after + StatusItemController::statusNotifierIconInterval));
        controller->updateIcon();
        const QDBusMessage all =
            call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "GetAll", {itemInterface});
        ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
        const auto properties = qdbus_cast<QVariantMap>(all.arguments().value(0));
        EXPECT_EQ(properties.value("IconAccessibleDesc").toString(), r.label) << r.name;
        EXPECT_EQ(properties.value("AttentionAccessibleDesc").toString(), r.label) << r.name;
        EXPECT_EQ(toolTipTitle(properties.value("ToolTip").value<QDBusArgument>()), QString::fromUtf8(r.toolTip))
            << r.name;
        for (const char* name : {"IconAccessibleDesc", "AttentionAccessibleDesc", "ToolTip", "IconPixmap"})
            EXPECT_EQ(call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {itemInterface, name})
                          .type(),
                      QDBusMessage::ReplyMessage)
                << name;
    }
}

// A host reads the whole picture again at each new icon: it is told only of a picture that differs,
// at most once a second. Over a quarter of an hour at rest that is never (the icon's blink is not sent
// over the bus), and while a break prompt waits the pulse is told at most once a second.
TEST_F(StatusNotifierTray, TheHostIsToldOfANewIconAtMostOnceASecond) {
    showFace(*monitor);
    h.clock.advance(StatusItemController::statusNotifierIconInterval);
    controller->updateIcon();
    std::map<std::string, int> told;
    std::vector<std::unique_ptr<DBusSignalRelay>> relays;
    for (const char* signal : {"NewIcon", "NewToolTip", "NewTitle"})
        relays.push_back(DBusSignalRelay::subscribe(bus.connection(),
                                                    {item, "/StatusNotifierItem", itemInterface, signal},
                                                    [&told, signal](const QDBusMessage&) { ++told[signal]; }));
    const auto quarterHour = [&] {
        told.clear();
        for (int redraw = 0; redraw < 1800; ++redraw) {
            h.clock.advance(0.5);
            controller->updateIcon();
        }
        // Signals sent before the answer come before it.
        call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {itemInterface, "Id"});
    };
    call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {itemInterface, "Id"});
    quarterHour();
    EXPECT_EQ(told["NewIcon"], 0) << "at rest";
    EXPECT_EQ(told["NewToolTip"], 0) << "at rest";

    ASSERT_TRUE(h.showBreakPrompt(*monitor));
    quarterHour();
    EXPECT_GT(told["NewIcon"], 0) << "the pulse of a waiting break";
    EXPECT_LE(told["NewIcon"], 900) << "a waiting break";
    EXPECT_LE(told["NewToolTip"], 1) << "a waiting break";
    EXPECT_EQ(told["NewTitle"], 0);
}

} // namespace
