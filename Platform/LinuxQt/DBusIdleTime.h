#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Date.h"
#include "Platform/Linux/InputIdleChain.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class DBusSignalRelay;
class QDBusMessage;
class QObject;

// The idle time from a desktop service that answers one method call, without arguments, with the
// milliseconds since the last input.
//
// Nothing is asked before the first read. A read never waits for the bus: it answers with the last
// reply, aged by the time since it came (sampledValue + (now - sampledAt)), and sends the next question
// if none is on its way. After a failure it asks no more until retry(). At the
// monitor's 0.5 s tick the answer is thus at most one tick and one round trip old. The ageing is capped
// at `maximumAgeSeconds`: the clock is the wall clock, which may jump (a time sync, a resumed
// machine), and a jump must not pass for minutes without input before the next reply corrects it.
//
// A service that is not running, has no such object or method, refuses (KDE on Wayland answers
// NotSupported) or does not reply within two seconds makes the backend unavailable until a retry
// is answered. Questions never start a service through D-Bus activation. Main thread only: replies arrive
// on the event loop.
//
// A service that also offers watches (GNOME's idle monitor) is asked once, then set to tell when the
// user has rested for `restingStepSeconds` and when they come back; reads answer from the last of these
// (idleSinceLastEvent) and send nothing. It is asked again once a minute, so that a service that quit
// or restarted (and forgot the watches) is noticed and watched anew.
class DBusIdleTime final : public InputIdleBackend {
public:
    struct Method {
        QString service;
        QString path;
        QString interface;
        QString name;
    };
    // The methods that set the watches and the signal that says one fired.
    struct Watches {
        QString addIdleWatch;   // (t milliseconds) → u id: fires each time the user has rested that long
        QString addActiveWatch; // () → u id: fires once, at the next input
        QString fired;          // (u id)
    };

    static constexpr int callTimeoutMilliseconds = 2000;
    static constexpr double watchedRecheckSeconds = 60;
    // Two seconds for a slow reply plus a tick.
    static constexpr double maximumAgeSeconds = 3;

    // GNOME's compositor (X11 and Wayland sessions alike): GetIdletime answers a uint64 of
    // milliseconds; AddIdleWatch and AddUserActiveWatch set the watches.
    static std::unique_ptr<DBusIdleTime> gnomeIdleMonitor(QDBusConnection sessionBus, Clock& clock);
    // KDE's screen locker (kscreenlocker, and ksmserver before it) on its own object /ScreenSaver, the
    // only one that KDE before 4.11.8 had. Its GetSessionIdleTime answers a uint32 of milliseconds:
    // it hands on KIdleTime's idle time, which counts milliseconds, unconverted.
    static std::unique_ptr<DBusIdleTime> kdeScreenSaver(QDBusConnection sessionBus, Clock& clock);
    // Whoever owns org.freedesktop.ScreenSaver, on /org/freedesktop/ScreenSaver. The idle inhibition
    // standard behind that name defines no GetSessionIdleTime; the method is KDE's, and a service
    // that carries it answers as KDE does, in milliseconds. GNOME's and Xfce's owners of the name
    // answer NotSupported or have no such method, and so count as unavailable.
    static std::unique_ptr<DBusIdleTime> freedesktopScreenSaver(QDBusConnection sessionBus, Clock& clock);

    DBusIdleTime(std::string name, QDBusConnection bus, Method method, Clock& clock,
                 std::optional<Watches> watches = std::nullopt);
    ~DBusIdleTime() override;
    DBusIdleTime(const DBusIdleTime&) = delete;
    DBusIdleTime& operator=(const DBusIdleTime&) = delete;

    InputIdleReading read() override;
    void retry() override;
    std::string name() const override { return name_; }
    bool asksOnEveryRead() const override { return !watches_.has_value(); }

private:
    struct Sample {
        double seconds;
        Date at;
    };

    void ask();
    void replied(const QDBusMessage& reply);
    std::string failureIn(const QDBusMessage& reply) const;
    bool isWatching() const { return idleWatch_.has_value(); }
    void watch();
    void watchForReturn();
    void call(const QString& method, const QVariantList& arguments, std::function<void(uint)> onId);
    void fired(uint id);

    std::string name_;
    QDBusConnection bus_;
    Method method_;
    Clock& clock_;
    std::optional<Sample> sample_;
    std::optional<std::string> failure_; // why the last question got no answer
    bool asking_ = false;
    std::optional<Watches> watches_;
    std::unique_ptr<DBusSignalRelay> firedSignal_;
    std::optional<uint> idleWatch_;   // set: the service tells, and reads ask nothing
    std::optional<uint> activeWatch_; // the one-shot watch for the user's return, while set
    bool settingActiveWatch_ = false;
    bool resting_ = false; // what the last event (or answer) said
    // The parent of the reply awaited and the context of its connection: both end with the backend,
    // so that no reply reaches a destroyed one.
    std::unique_ptr<QObject> pendingReplies_;
};
