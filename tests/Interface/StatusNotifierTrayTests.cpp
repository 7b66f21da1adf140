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
        environment.blinkDelay = [] { return 1e6; }; // the icon changes only when told to
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

// Each call a host makes for a click toggles the panel at the corner of the work area (the host does
// not say where its icon is), holding the keyboard, and a click elsewhere closes it. Hosts that make no
// call for a click show the menu the item exports, whose entries do what they say.
TEST_F(StatusNotifierTray, EveryClickOfTheHostOpensSomethingOfZorvis) {
    const std::pair<const char*, bool> calls[] = {
        {"Activate", true}, {"ContextMenu", true}, {"SecondaryActivate", false}};
    for (const auto& [method, opens] : calls) {
        call("/StatusNotifierItem", itemInterface, method, {1000, 10});
        if (!opens) {
            settle(500);
            EXPECT_FALSE(panelOpen()) << method;
            continue;
        }
        ASSERT_TRUE(waitFor([&] { return panelOnScreen(); })) << method;
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_EQ(controller->menuPanel()->geometry().topRight(), area.topRight() + QPoint(-8, 8)) << method;
        EXPECT_TRUE(waitFor([] { return !VirtualDesktop::inputCanBeGrabbed(); }))
            << method << ": no keyboard";
        ASSERT_TRUE(click({100, 650}));
        EXPECT_TRUE(waitFor([&] { return !panelOpen(); })) << method << ": a click elsewhere";
        settle(StatusItemController::closeEchoMilliseconds + 100); // the user's next click comes later
    }

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

// A host reloads the icon each time it is told of a new one (GNOME's extension logs an error for some).
TEST_F(StatusNotifierTray, TheIconIsSentOnlyWhenItChanges) {
    int told = 0;
    std::vector<std::unique_ptr<DBusSignalRelay>> relays;
    for (const char* signal : {"NewIcon", "NewToolTip", "NewTitle"})
        relays.push_back(DBusSignalRelay::subscribe(bus.connection(),
                                                    {item, "/StatusNotifierItem", itemInterface, signal},
                                                    [&](const QDBusMessage&) { ++told; }));
    for (int tick = 0; tick < 6; ++tick) {
        controller->updateIcon();
        settle(50);
    }
    EXPECT_EQ(told, 0) << "sent again unchanged";
    monitor->settings().updateConfig([](VigilorConfig& c) {
        c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        c.watchGateRequired = true;
    });
    h.runLoop.loop().runUntilIdle(); // the radio's first report
    ASSERT_TRUE(h.hearWatch(-60));
    controller->updateIcon();
    EXPECT_TRUE(waitFor([&] { return told == 1; }, 3000)) << told;
}

} // namespace
