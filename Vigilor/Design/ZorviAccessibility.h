#pragma once

#include <QDBusVariant>
#include <QObject>

#include <optional>
#include <string>

// The two desktop accessibility settings the views follow. Reduce motion: GNOME's
// org.gnome.desktop.interface enable-animations turned off. Reduce transparency: GNOME's high-contrast
// setting (org.gnome.desktop.a11y.interface), or no compositing manager, which cannot show a
// translucent window. Both are read through the desktop portal's Settings interface, once and then
// on its change signal; ZORVI_REDUCE_MOTION and ZORVI_REDUCE_TRANSPARENCY ("1" or "0") override them.
class ZorviAccessibility : public QObject {
    Q_OBJECT

public:
    static constexpr const char* reduceMotionVariable = "ZORVI_REDUCE_MOTION";
    static constexpr const char* reduceTransparencyVariable = "ZORVI_REDUCE_TRANSPARENCY";

    // "1" or "true" is on, "0" or "false" off; anything else, or no value, overrides nothing.
    static std::optional<bool> parseOverride(const char* value);
    static bool reduceMotionFrom(std::optional<bool> override, std::optional<bool> enableAnimations);
    static bool reduceTransparencyFrom(std::optional<bool> override, std::optional<bool> highContrast,
                                       bool compositorRunning);

    // The one instance, made on first use on the main thread once the application exists.
    static ZorviAccessibility& shared();

    bool reduceMotion() const;
    bool reduceTransparency() const;
    bool compositorRunning() const { return compositorRunning_; }
    // Asks the display again whether a compositing manager runs; windows call it before they show.
    void refreshCompositor();

signals:
    void changed();

private slots:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    ZorviAccessibility();
    void readPortalSetting(const QString& group, const QString& key);
    void applySetting(const QString& group, const QString& key, const QVariant& value);

    std::optional<bool> enableAnimations_;
    std::optional<bool> highContrast_;
    bool compositorRunning_ = false;
};
