#include "ZorviAccessibility.h"

#include "Platform/Linux/X11Compositor.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* portalService = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* settingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* interfaceGroup = "org.gnome.desktop.interface";
constexpr const char* animationsKey = "enable-animations";
constexpr const char* a11yGroup = "org.gnome.desktop.a11y.interface";
constexpr const char* highContrastKey = "high-contrast";

// The portal wraps the setting's value in one or two variants, depending on its version.
QVariant unwrap(QVariant value) {
    while (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

std::optional<bool> ZorviAccessibility::parseOverride(const char* value) {
    if (!value)
        return std::nullopt;
    if (!std::strcmp(value, "1") || !std::strcmp(value, "true"))
        return true;
    if (!std::strcmp(value, "0") || !std::strcmp(value, "false"))
        return false;
    return std::nullopt;
}

bool ZorviAccessibility::reduceMotionFrom(std::optional<bool> override,
                                          std::optional<bool> enableAnimations) {
    if (override)
        return *override;
    return enableAnimations == false;
}

bool ZorviAccessibility::reduceTransparencyFrom(std::optional<bool> override,
                                                std::optional<bool> highContrast, bool compositorRunning) {
    if (override)
        return *override;
    return highContrast == true || !compositorRunning;
}

ZorviAccessibility& ZorviAccessibility::shared() {
    static ZorviAccessibility* instance = new ZorviAccessibility(); // lives as long as the process
    return *instance;
}

ZorviAccessibility::ZorviAccessibility() {
    refreshCompositor();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
                QString::fromLatin1(settingsInterface), QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    readPortalSetting(QString::fromLatin1(interfaceGroup), QString::fromLatin1(animationsKey));
    readPortalSetting(QString::fromLatin1(a11yGroup), QString::fromLatin1(highContrastKey));
}

bool ZorviAccessibility::reduceMotion() const {
    return reduceMotionFrom(parseOverride(std::getenv(reduceMotionVariable)), enableAnimations_);
}

bool ZorviAccessibility::reduceTransparency() const {
    return reduceTransparencyFrom(parseOverride(std::getenv(reduceTransparencyVariable)), highContrast_,
                                  compositorRunning_);
}

void ZorviAccessibility::refreshCompositor() {
    const bool running = QGuiApplication::platformName() == QLatin1String("xcb") && x11CompositorRunning();
    if (running == compositorRunning_)
        return;
    compositorRunning_ = running;
    emit changed();
}

// Asked without starting the portal: a desktop that does not run one keeps the defaults.
void ZorviAccessibility::readPortalSetting(const QString& group, const QString& key) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
                                       QString::fromLatin1(settingsInterface), QStringLiteral("Read"));
    call << group << key;
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, group, key](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<QVariant> reply = *w;
                if (!reply.isError())
                    applySetting(group, key, unwrap(reply.value()));
                w->deleteLater();
            });
}

void ZorviAccessibility::onSettingChanged(const QString& group, const QString& key,
                                          const QDBusVariant& value) {
    applySetting(group, key, unwrap(value.variant()));
}

void ZorviAccessibility::applySetting(const QString& group, const QString& key, const QVariant& value) {
    if (value.typeId() != QMetaType::Bool)
        return;
    std::optional<bool>* field = nullptr;
    if (group == QLatin1String(interfaceGroup) && key == QLatin1String(animationsKey))
        field = &enableAnimations_;
    else if (group == QLatin1String(a11yGroup) && key == QLatin1String(highContrastKey))
        field = &highContrast_;
    if (!field || *field == value.toBool())
        return;
    *field = value.toBool();
    emit changed();
}
