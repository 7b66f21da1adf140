#include "Fakes/FakeBluetoothCentral.h"
#include "Fakes/FakeClock.h"
#include "Fakes/ManualRunLoop.h"
#include "Platform/LinuxQt/BluezCentral.h"
#include "Support/PrivateBus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using State = BluetoothCentralState;
using namespace std::chrono_literals;

const QString bluez = "org.bluez";
const QString adapterPath = "/org/bluez/hci0";
const QString watchPath = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF";
// The identifiers of AA:BB:CC:DD:EE:FF and 11:22:33:44:55:66: stored in users' settings, so never to change.
const std::string watchIdentifier = "026EC3D4-E356-5984-926C-86D3EAA8D83E";
const std::string tagIdentifier = "E1643558-B857-511B-9BEA-9ECAA78CA6E8";

struct Sighting {
    std::string identifier;
    std::optional<std::string> name;
    int rssi;
    bool operator==(const Sighting&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sighting& s) {
    return out << s.identifier << " " << s.name.value_or("(no name)") << " " << s.rssi;
}

// What a central reported, in order.
struct Reports {
    std::vector<State> states;
    std::vector<Sighting> sightings;
    double longestSilence = 0; // what the central is told when it asks, for any device

    BluetoothCentralHandlers handlers() {
        return {[this](BluetoothCentral& central) { states.push_back(central.state()); },
                [this](BluetoothCentral&, const BluetoothPeripheral& peripheral, int rssi) {
                    sightings.push_back({peripheral.identifier.uuidString(), peripheral.name, rssi});
                },
                [this](const BluetoothPeripheral&) { return longestSilence; }};
    }
};

void expectSucceeded(const QDBusMessage& reply) {
    EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
}

// The mock of BlueZ, driven as the system would change it.
void callBluezMock(PrivateBus& bus, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(bluez, "/", "org.bluez.Mock", method);
    call.setArguments(arguments);
    expectSucceeded(bus.connection().call(call));
}

void setPowered(PrivateBus& bus, bool powered) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(bluez, adapterPath, "org.freedesktop.DBus.Properties", "Set");
    call.setArguments({"org.bluez.Adapter1", "Powered", QVariant::fromValue(QDBusVariant(powered))});
    expectSucceeded(bus.connection().call(call));
}

// `properties`: a Python dictionary of the Device1 properties that changed.
void deviceChanges(PrivateBus& bus, const QString& path, const QString& properties) {
    expectSucceeded(bus.runInMock(bluez, path,
                                  "self.EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', "
                                  "'sa{sv}as', ['org.bluez.Device1', " +
                                      properties + ", []])"));
}

// Every signal and reply the mock sent so far, and every report they made, has been handled. A reply
// reaches its handler through more than one queued event, so the queue is run until it is empty.
void settle(PrivateBus& bus) {
    ASSERT_TRUE(bus.flushSignals(bluez, "/")) << bus.failure();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 500);
}

// A private bus with BlueZ's mock on it, playing the system bus.
class BluezCentralTest : public testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
    }

    void startBluez() { ASSERT_TRUE(bus.startMock({"--template", "bluez5"}, bluez)) << bus.failure(); }
    void callBluezMock(const QString& method, const QVariantList& arguments) {
        ::callBluezMock(bus, method, arguments);
    }
    void addAdapter() { callBluezMock("AddAdapter", {"hci0", "Ada's laptop"}); }
    void setPowered(bool powered) { ::setPowered(bus, powered); }
    // Python code run in the mock object at `path`, where `self` is that object.
    void inMock(const QString& path, const QString& code) {
        expectSucceeded(bus.runInMock(bluez, path, code));
    }
    void deviceChanges(const QString& path, const QString& properties) {
        ::deviceChanges(bus, path, properties);
    }

    BluezCentral& central() {
        if (!central_)
            central_ = std::make_unique<BluezCentral>(bus.connection(), reports.handlers());
        return *central_;
    }
    bool waitForStates(std::size_t count) {
        return processEventsUntil([&] { return reports.states.size() >= count; });
    }
    bool waitForSightings(std::size_t count) {
        return processEventsUntil([&] { return reports.sightings.size() >= count; });
    }
    void poweredOnAndScanning() {
        addAdapter();
        central();
        ASSERT_TRUE(waitForStates(1));
        ASSERT_EQ(reports.states.back(), State::poweredOn);
        central().scanForPeripherals(true);
        ASSERT_TRUE(
            processEventsUntil([&] { return methodsCalled(adapterPath).contains("StartDiscovery"); }));
    }
    void settle() { ::settle(bus); }
    // The methods called on a mock object, in order, with their arguments.
    std::vector<std::pair<QString, QVariantList>> calls(const QString& path) {
        return bus.mockCalls(bluez, path);
    }
    QStringList methodsCalled(const QString& path) {
        QStringList methods;
        for (const auto& [method, arguments] : calls(path))
            methods << method;
        return methods;
    }

    int argc = 1;
    std::string name = "BluezCentralTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    PrivateBus bus;
    Reports reports;
    std::unique_ptr<BluezCentral> central_;
};

} // namespace

TEST_F(BluezCentralTest, FollowsThePowerOfTheFirstAdapter) {
    startBluez();
    addAdapter();
    callBluezMock("AddAdapter", {"hci1", "Dongle"});
    EXPECT_EQ(central().state(), State::unknown); // nothing is reported from within the constructor
    ASSERT_TRUE(waitForStates(1));
    EXPECT_EQ(central().adapterPath(), adapterPath);

    setPowered(false);
    ASSERT_TRUE(waitForStates(2));
    setPowered(true);
    ASSERT_TRUE(waitForStates(3));
    settle();
    EXPECT_EQ(reports.states, (std::vector{State::poweredOn, State::poweredOff, State::poweredOn}));
    EXPECT_EQ(central().state(), State::poweredOn);
}

TEST_F(BluezCentralTest, ScansForLowEnergyWithDuplicateData) {
    startBluez();
    ASSERT_NO_FATAL_FAILURE(poweredOnAndScanning());
    EXPECT_TRUE(central().isScanning());
    central().scanForPeripherals(true); // already scanning: nothing more to ask
    central().stopScan();
    ASSERT_TRUE(processEventsUntil([&] { return methodsCalled(adapterPath).contains("StopDiscovery"); }));

    const auto made = calls(adapterPath);
    QStringList methods;
    for (const auto& [method, arguments] : made)
        methods << method;
    EXPECT_EQ(methods, (QStringList{"SetDiscoveryFilter", "StartDiscovery", "StopDiscovery"}));
    const QVariantMap filter = qdbus_cast<QVariantMap>(made.front().second.value(0));
    EXPECT_EQ(filter.value("Transport").toString(), "le");
    EXPECT_EQ(filter.value("DuplicateData").toBool(), true);
    // An RSSI key makes BlueZ report every advertisement, not only moves of 8 dBm or more.
    EXPECT_EQ(filter.value("RSSI").metaType(), QMetaType::fromType<short>());
    EXPECT_EQ(filter.value("RSSI").toInt(), -127);
    EXPECT_FALSE(central().isScanning());
}

TEST_F(BluezCentralTest, ReportsEachAdvertisementWhileScanning) {
    startBluez();
    ASSERT_NO_FATAL_FAILURE(poweredOnAndScanning());
    callBluezMock("AddDevice", {"hci0", "AA:BB:CC:DD:EE:FF", "Ada's Watch"});
    // A device BlueZ did not announce, named only by its object.
    inMock("/", "self.AddObject('/org/bluez/hci0/dev_11_22_33_44_55_66', 'org.bluez.Device1', {}, [])");

    const struct {
        QString path;
        QString properties; // a Python dictionary of Device1 properties that changed
        std::optional<Sighting> sighting;
    } changes[] = {
        {watchPath, "{'RSSI': dbus.Int16(-50)}", Sighting{watchIdentifier, "Ada's Watch", -50}},
        {watchPath, "{'RSSI': dbus.Int16(-50)}", Sighting{watchIdentifier, "Ada's Watch", -50}},
        {watchPath, "{'Name': 'Ada\u2019s Apple Watch'}",
         Sighting{watchIdentifier, "Ada\u2019s Apple Watch", 127}},
        {watchPath, "{'Connected': True}", std::nullopt},
        {watchPath, "{'Name': 'Watch', 'RSSI': dbus.Int16(-61)}", Sighting{watchIdentifier, "Watch", -61}},
        {"/org/bluez/hci0/dev_11_22_33_44_55_66", "{'RSSI': dbus.Int16(-70)}",
         Sighting{tagIdentifier, {}, -70}},
    };
    std::vector<Sighting> expected{{watchIdentifier, "Ada's Watch", -79}}; // the mock's RSSI on arrival
    ASSERT_TRUE(waitForSightings(1));
    for (const auto& change : changes) {
        deviceChanges(change.path, change.properties);
        if (change.sighting)
            expected.push_back(*change.sighting);
    }
    ASSERT_TRUE(waitForSightings(expected.size()));
    settle();
    EXPECT_EQ(reports.sightings, expected);
}

TEST_F(BluezCentralTest, ADeviceAnnouncedWithoutStrengthOrAddressStillCounts) {
    startBluez();
    ASSERT_NO_FATAL_FAILURE(poweredOnAndScanning());
    inMock("/", "self.EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}', "
                "[dbus.ObjectPath('/org/bluez/hci0/dev_11_22_33_44_55_66'), "
                "{'org.bluez.Device1': {'Name': dbus.String('Tag', variant_level=1)}}])");
    ASSERT_TRUE(waitForSightings(1));
    EXPECT_EQ(reports.sightings.front(), (Sighting{tagIdentifier, "Tag", unavailableBluetoothRSSI}));
}

TEST_F(BluezCentralTest, EndsItsDiscoveryWhenReleased) {
    startBluez();
    ASSERT_NO_FATAL_FAILURE(poweredOnAndScanning());
    central_.reset();
    ASSERT_TRUE(processEventsUntil([&] { return methodsCalled(adapterPath).contains("StopDiscovery"); }));
}

TEST_F(BluezCentralTest, FollowsAdaptersComingAndGoing) {
    startBluez();
    central();
    ASSERT_TRUE(waitForStates(1));
    EXPECT_EQ(reports.states.back(), State::unsupported);
    addAdapter();
    ASSERT_TRUE(waitForStates(2));
    EXPECT_EQ(reports.states.back(), State::poweredOn);
    callBluezMock("RemoveAdapter", {"hci0"});
    ASSERT_TRUE(waitForStates(3));
    settle();
    EXPECT_EQ(reports.states, (std::vector{State::unsupported, State::poweredOn, State::unsupported}));
    EXPECT_TRUE(central().adapterPath().isEmpty());
}

// bluetoothd (starting, or restarted) announcing its adapter while our listing of its objects is
// still unanswered: the scan started on the announcement outlives the listing.
TEST_F(BluezCentralTest, KeepsItsScanAcrossALateListingOfTheSameAdapter) {
    startBluez();
    addAdapter();
    callBluezMock("AddDevice", {"hci0", "AA:BB:CC:DD:EE:FF", "Ada's Watch"});
    expectSucceeded(bus.callMock(
        bluez, "/", "AddMethod",
        {"org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "", "a{oa{sa{sv}}}",
         "self.EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}', "
         "[dbus.ObjectPath('/org/bluez/hci0'), objects['/org/bluez/hci0'].props])\n"
         "self.connection.flush()\n"
         "time.sleep(0.5)\n"
         "ret = {dbus.ObjectPath(k): objects[k].props for k in objects.keys() if k != '/'}"}));
    central();
    ASSERT_TRUE(waitForStates(1));
    central().scanForPeripherals(true);
    ASSERT_TRUE(processEventsUntil([&] { return methodsCalled(adapterPath).contains("StartDiscovery"); }));
    settle();
    deviceChanges(watchPath, "{'RSSI': dbus.Int16(-50)}");
    ASSERT_TRUE(waitForSightings(1));
    EXPECT_EQ(reports.sightings.front(), (Sighting{watchIdentifier, "Ada's Watch", -50}));
    EXPECT_EQ(reports.states, std::vector{State::poweredOn});
    EXPECT_TRUE(central().isScanning());
}

TEST_F(BluezCentralTest, AsksAgainForADiscoveryThatBluezRefused) {
    startBluez();
    addAdapter();
    callBluezMock("AddDevice", {"hci0", "AA:BB:CC:DD:EE:FF", "Ada's Watch"});
    inMock(adapterPath, "self.refusals = 2");
    expectSucceeded(
        bus.callMock(bluez, adapterPath, "AddMethod",
                     {"org.bluez.Adapter1", "StartDiscovery", "", "",
                      "if self.refusals > 0:\n"
                      "    self.refusals -= 1\n"
                      "    raise dbus.exceptions.DBusException('Busy', name='org.bluez.Error.NotReady')"}));
    central_ = std::make_unique<BluezCentral>(bus.connection(), reports.handlers(), 0.05);
    ASSERT_TRUE(waitForStates(1));
    central().scanForPeripherals(true);
    ASSERT_TRUE(processEventsUntil([&] { return methodsCalled(adapterPath).count("StartDiscovery") == 3; }));
    EXPECT_TRUE(central().isScanning());
    deviceChanges(watchPath, "{'RSSI': dbus.Int16(-50)}");
    EXPECT_TRUE(waitForSightings(1));
}

// A device lying still, where BlueZ reports its RSSI only when it moves by 8 dBm (a filter refused, or
// accepted and not applied) but reports every device in range afresh in a discovery that starts anew: it
// is heard again by starting the discovery afresh, unless another program keeps a discovery going.
TEST_F(BluezCentralTest, AStillDeviceFallingSilentHasDiscoveryStartedAfresh) {
    const struct {
        const char* name;
        bool filterRefused;
        bool otherProgramDiscovers; // which keeps the adapter discovering once ours stopped
    } cases[] = {{"filter refused", true, false},
                 {"filter accepted, not applied", false, false},
                 {"another program discovering", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startBluez();
        addAdapter();
        callBluezMock("AddDevice", {"hci0", "AA:BB:CC:DD:EE:FF", "Ada's Watch"});
        const auto replace = [&](const char* method, const char* in, const QString& code) {
            expectSucceeded(
                bus.callMock(bluez, adapterPath, "AddMethod", {"org.bluez.Adapter1", method, in, "", code}));
        };
        if (c.filterRefused)
            replace(
                "SetDiscoveryFilter", "a{sv}",
                "raise dbus.exceptions.DBusException('Not supported', name='org.bluez.Error.NotSupported')");
        const QString discovering = "self.props['org.bluez.Adapter1']['Discovering']";
        replace("StartDiscovery", "",
                "if not " + discovering + ":\n    objects['" + watchPath +
                    "'].EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', 'sa{sv}as', "
                    "['org.bluez.Device1', {'RSSI': dbus.Int16(-50)}, []])\n" +
                    discovering + " = True");
        replace("StopDiscovery", "", discovering + (c.otherProgramDiscovers ? " = True" : " = False"));
        reports = {};
        reports.longestSilence = 2; // afresh after a second's silence
        central();
        ASSERT_TRUE(waitForStates(1));
        central().scanForPeripherals(true);
        if (c.otherProgramDiscovers) {
            EXPECT_TRUE(processEventsUntil([&] { return !central().hearsStillPeripherals(); }, 10s));
            EXPECT_EQ(reports.sightings.size(), 1u);
        } else {
            ASSERT_TRUE(processEventsUntil([&] { return reports.sightings.size() >= 3; }, 10s));
            EXPECT_EQ(reports.sightings.at(2), (Sighting{watchIdentifier, "Ada's Watch", -50}));
            EXPECT_EQ(
                methodsCalled(adapterPath).mid(0, 8),
                (QStringList{"SetDiscoveryFilter", "StartDiscovery", "StopDiscovery", "SetDiscoveryFilter",
                             "StartDiscovery", "StopDiscovery", "SetDiscoveryFilter", "StartDiscovery"}));
            EXPECT_TRUE(central().hearsStillPeripherals());
        }
        central_.reset();
        ASSERT_TRUE(bus.stopMock(bluez)) << bus.failure();
    }
}

TEST(BluezCentral, WaitsLongerAfterEachRefusedDiscoveryUpToAMinute) {
    const std::pair<int, double> cases[] = {{1, 2}, {2, 4}, {3, 8}, {5, 32}, {6, 60}, {40, 60}};
    for (const auto& [failures, seconds] : cases)
        EXPECT_EQ(BluezCentral::discoveryRetryDelay(failures, 2), seconds) << failures;
}

// bluetoothd started after us, then restarted: the central follows BlueZ's name on the bus.
TEST_F(BluezCentralTest, FollowsBluezStartingLateAndRestarting) {
    BluezCentralProvider provider(bus.connection());
    EXPECT_EQ(provider.authorization(), BluetoothAuthorization::allowedAlways) << "nothing refuses us";
    central();
    ASSERT_TRUE(waitForStates(1));
    EXPECT_EQ(reports.states.back(), State::unknown);

    for (const State gap : {State::unknown, State::resetting}) {
        SCOPED_TRACE(gap == State::unknown ? "starting late" : "restarting");
        startBluez();
        addAdapter();
        ASSERT_TRUE(processEventsUntil([&] { return reports.states.back() == State::poweredOn; }));
        central().scanForPeripherals(true);
        EXPECT_TRUE(central().isScanning());

        ASSERT_TRUE(bus.stopMock(bluez)) << bus.failure();
        ASSERT_TRUE(processEventsUntil([&] { return reports.states.back() == State::resetting; }));
        EXPECT_FALSE(central().isScanning());
    }
    EXPECT_EQ(provider.authorization(), BluetoothAuthorization::allowedAlways);
}

TEST(BluezCentralProvider, TakesBluezsAnswerForTheAuthorization) {
    const QDBusMessage call =
        QDBusMessage::createMethodCall("org.bluez", "/", "org.freedesktop.DBus.Peer", "Ping");
    const struct {
        QDBusMessage reply;
        BluetoothAuthorization authorization;
    } cases[] = {
        {call.createReply(), BluetoothAuthorization::allowedAlways},
        {call.createErrorReply("org.freedesktop.DBus.Error.AccessDenied", "Rejected send message"),
         BluetoothAuthorization::denied},
        // Not running yet, or not answering: its central waits for it.
        {call.createErrorReply("org.freedesktop.DBus.Error.ServiceUnknown", "The name is not activatable"),
         BluetoothAuthorization::allowedAlways},
        {call.createErrorReply("org.freedesktop.DBus.Error.NoReply", "Did not receive a reply"),
         BluetoothAuthorization::allowedAlways},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BluezCentralProvider::authorizationFor(c.reply), c.authorization)
            << c.reply.errorName().toStdString();
    // Without a system bus nothing can be asked, and the cause says why.
    BluezCentralProvider noBus(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none")));
    EXPECT_EQ(noBus.authorization(), BluetoothAuthorization::unknown);
    EXPECT_EQ(noBus.unknownAuthorizationCause(),
              "no system bus (Failed to connect to socket /nonexistent/bus: No such file or directory)");
}

TEST(BluezCentral, NamesADeviceByItsAddressInEitherCase) {
    EXPECT_EQ(BluezCentral::peripheralIdentifier("AA:BB:CC:DD:EE:FF").uuidString(), watchIdentifier);
    EXPECT_EQ(BluezCentral::peripheralIdentifier("aa:bb:cc:dd:ee:ff").uuidString(), watchIdentifier);
    EXPECT_NE(BluezCentral::peripheralIdentifier("AA:BB:CC:DD:EE:FE").uuidString(), watchIdentifier);
}

// What every central does, whether BlueZ's or the tests' fake, so that the fake stays honest.
namespace {

// A radio with one device in range, behind whichever central a case is run on.
class Radio {
public:
    virtual ~Radio() = default;
    // Empty when this machine cannot run the radio.
    virtual std::string unavailable() { return {}; }
    virtual std::shared_ptr<BluetoothCentral> makeCentral(BluetoothCentralHandlers handlers) = 0;
    virtual void setPowered(bool powered) = 0;
    virtual void advertise(int rssi) = 0;
    // Every report so far has reached the handlers.
    virtual void settle() = 0;
};

class FakeRadio final : public Radio {
public:
    std::shared_ptr<BluetoothCentral> makeCentral(BluetoothCentralHandlers handlers) override {
        return bluetooth_.makeCentral(std::move(handlers));
    }
    void setPowered(bool powered) override {
        if (const auto central = bluetooth_.central())
            central->report(powered ? State::poweredOn : State::poweredOff);
    }
    void advertise(int rssi) override {
        bluetooth_.advertise({BluezCentral::peripheralIdentifier("AA:BB:CC:DD:EE:FF"), "Watch"}, rssi);
    }
    void settle() override { runLoop_.loop().runUntilIdle(); }

private:
    FakeClock clock_;
    MainRunLoopScope runLoop_{clock_};
    FakeBluetooth bluetooth_;
};

class BluezRadio final : public Radio {
public:
    std::string unavailable() override {
        if (auto missing = PrivateBus::missingTools(); !missing.empty())
            return missing;
        if (!bus_.start() || !bus_.startMock({"--template", "bluez5"}, bluez))
            return bus_.failure();
        callBluezMock(bus_, "AddAdapter", {"hci0", "Ada's laptop"});
        callBluezMock(bus_, "AddDevice", {"hci0", "AA:BB:CC:DD:EE:FF", "Watch"});
        return {};
    }
    std::shared_ptr<BluetoothCentral> makeCentral(BluetoothCentralHandlers handlers) override {
        return BluezCentralProvider(bus_.connection()).makeCentral(std::move(handlers));
    }
    void setPowered(bool powered) override { ::setPowered(bus_, powered); }
    void advertise(int rssi) override {
        deviceChanges(bus_, watchPath, QString("{'RSSI': dbus.Int16(%1)}").arg(rssi));
    }
    void settle() override { ::settle(bus_); }

private:
    PrivateBus bus_;
};

using RadioFactory = std::function<std::unique_ptr<Radio>()>;

class BluetoothCentralContract : public testing::TestWithParam<std::pair<const char*, RadioFactory>> {
protected:
    void SetUp() override {
        if (const std::string missing = radio->unavailable(); !missing.empty())
            GTEST_SKIP() << missing;
        central = radio->makeCentral(reports.handlers());
        EXPECT_TRUE(reports.states.empty()) << "a central reports on a later turn, never while it is made";
        radio->settle();
        ASSERT_EQ(reports.states, std::vector{State::poweredOn});
    }

    int argc = 1;
    std::string name = "BluetoothCentralContract";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    std::unique_ptr<Radio> radio = GetParam().second();
    Reports reports;
    std::shared_ptr<BluetoothCentral> central;
};

} // namespace

TEST_P(BluetoothCentralContract, FollowsThePower) {
    radio->setPowered(false);
    radio->settle();
    EXPECT_EQ(central->state(), State::poweredOff);
    radio->setPowered(true);
    radio->settle();
    EXPECT_EQ(reports.states, (std::vector{State::poweredOn, State::poweredOff, State::poweredOn}));
}

TEST_P(BluetoothCentralContract, HearsAdvertisementsOnlyWhileScanning) {
    radio->advertise(-40);
    radio->settle();
    EXPECT_TRUE(reports.sightings.empty());

    central->scanForPeripherals(true);
    EXPECT_TRUE(central->isScanning());
    radio->settle();
    radio->advertise(-50);
    radio->advertise(-50); // duplicates count
    radio->settle();
    ASSERT_EQ(reports.sightings.size(), 2u);
    EXPECT_EQ(reports.sightings.back().rssi, -50);

    central->stopScan();
    EXPECT_FALSE(central->isScanning());
    radio->advertise(-60);
    radio->settle();
    EXPECT_EQ(reports.sightings.size(), 2u);
}

// A phone lying still: the same strength, advertisement after advertisement.
TEST_P(BluetoothCentralContract, ASteadySignalIsHeardAtEveryAdvertisement) {
    central->scanForPeripherals(true);
    radio->settle();
    for (int advertisement = 0; advertisement < 5; ++advertisement)
        radio->advertise(-62);
    radio->settle();
    ASSERT_EQ(reports.sightings.size(), 5u);
    for (const auto& sighting : reports.sightings)
        EXPECT_EQ(sighting.rssi, -62);
}

TEST_P(BluetoothCentralContract, PoweringOffEndsTheScan) {
    central->scanForPeripherals(true);
    radio->settle();
    radio->setPowered(false);
    radio->settle();
    EXPECT_FALSE(central->isScanning());
    central->scanForPeripherals(true); // without power: ignored
    EXPECT_FALSE(central->isScanning());
    radio->advertise(-50);
    radio->settle();
    EXPECT_TRUE(reports.sightings.empty());
}

TEST_P(BluetoothCentralContract, ReportsNothingOnceReleased) {
    central->scanForPeripherals(true);
    radio->settle();
    central.reset();
    radio->advertise(-50);
    radio->setPowered(false);
    radio->settle();
    EXPECT_TRUE(reports.sightings.empty());
    EXPECT_EQ(reports.states, std::vector{State::poweredOn});
}

INSTANTIATE_TEST_SUITE_P(
    Centrals, BluetoothCentralContract,
    testing::Values(
        std::pair<const char*, RadioFactory>{"Fake", [] { return std::make_unique<FakeRadio>(); }},
        std::pair<const char*, RadioFactory>{"Bluez", [] { return std::make_unique<BluezRadio>(); }}),
    [](const auto& info) { return std::string(info.param.first); });
