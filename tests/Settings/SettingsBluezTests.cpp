// The device picker of the settings window over BlueZ: python-dbusmock's bluez5 template on a private
// bus plays the system's Bluetooth service, and the monitor's own BlueZ central scans it.
#include "Platform/LinuxQt/BluezCentral.h"
#include "Support/PrivateBus.h"
#include "Support/SettingsHarness.h"
#include "Vigilor/Settings/DeviceDiscoverySheetView.h"
#include "Vigilor/Settings/SettingsView.h"

#include <gtest/gtest.h>

namespace {

const QString bluez = "org.bluez";
// The identifier that the central gives AA:BB:CC:DD:EE:FF.
const char* const watchIdentifier = "026EC3D4-E356-5984-926C-86D3EAA8D83E";

struct PickerOnBluez : ::testing::Test {
    OffscreenApplication app;
    PrivateBus bus;
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;
    std::unique_ptr<SettingsView> view;

    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
        ASSERT_TRUE(bus.startMock({"--template", "bluez5"}, bluez)) << bus.failure();
        callMock("AddAdapter", {"hci0", "Ada's desktop"});

        VigilorConfig config; // locking by the watch alone
        config.cameraPresenceEnabled = false;
        config.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        config.watchGateRequired = true;
        config.bodyAssistDefaultMigrated = true;
        config.save();
        MonitorServices services = h.services();
        services.bluetooth = std::make_shared<BluezCentralProvider>(bus.connection());
        monitor = VigilorMonitor::create(std::move(services));
        h.runLoop.loop().runUntilIdle();

        SettingsEnvironment environment;
        environment.lockScreenMessages = SettingsHarness::emptyLoginScreen(h.home.path());
        view = std::make_unique<SettingsView>(monitor, std::move(environment));
        SettingsHarness::showWhole(*view);
    }
    void callMock(const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(bluez, "/", "org.bluez.Mock", method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus.connection().call(call);
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
    // Lets D-Bus replies and signals in, and the monitor's once-a-second list go out.
    bool waitFor(const std::function<bool()>& condition) {
        return processEventsUntil(
            [&] {
                h.runLoop.loop().advance(0.25);
                return condition();
            },
            std::chrono::seconds(10));
    }
};

} // namespace

TEST_F(PickerOnBluez, ListsTheDevicesBluezReportsAndSelectingOneMakesItTheWatch) {
    SettingsHarness::button(*view->content(), "Find my Watch")->click();
    auto* picker =
        view->content()->watchDiscoverySheet()->findChild<DeviceDiscoverySheetView*>("deviceDiscoverySheet");
    EXPECT_TRUE(monitor->nearbyDevices().active());
    ASSERT_TRUE(waitFor([&] {
        for (const auto& [method, arguments] : bus.mockCalls(bluez, "/org/bluez/hci0"))
            if (method == "StartDiscovery")
                return true;
        return false;
    })) << "BlueZ scans";

    callMock("AddDevice", {"hci0", "AA:BB:CC:DD:EE:FF", "Ada's Watch"});
    ASSERT_TRUE(waitFor([&] { return picker->deviceRows().size() == 1; }));
    EXPECT_EQ(picker->deviceRows().front()->accessibleName(), "Ada's Watch");
    EXPECT_EQ(picker->deviceRows().front()->objectName(), QStringLiteral("device.") + watchIdentifier);

    SettingsHarness::button(*picker, "Select Ada's Watch")->click();
    EXPECT_EQ(monitor->config().watchUUID->uuidString(), watchIdentifier);
    EXPECT_EQ(monitor->config().watchName, "Ada's Watch");
    ASSERT_TRUE(waitFor([&] { return SettingsHarness::button(*picker, "Select Ada's Watch") == nullptr; }))
        << "the row shows it selected";

    SettingsHarness::button(*picker, "Close")->click();
    EXPECT_FALSE(monitor->nearbyDevices().active());
}
