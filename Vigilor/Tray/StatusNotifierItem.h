#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDBusServiceWatcher;
class QIcon;

// The tray item as a desktop's Status Notifier host (Xfce's, MATE's, LXQt's and KDE's panels, GNOME's
// AppIndicator extension, Cinnamon's xapp-sn-watcher) reads it: an org.kde.StatusNotifierItem object on
// the session bus, with the menu the host shows for it (com.canonical.dbusmenu), registered with the
// session's watcher and again whenever a watcher comes. Hosts read the item's state in its properties:
// the picture, the tooltip and the text a screen reader says (IconAccessibleDesc); each change is told
// with a signal, upon which a host reads the properties again.
class StatusNotifierItem {
public:
    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* itemPath = "/StatusNotifierItem";
    static constexpr const char* menuPath = "/MenuBar";

    // Whether a host shows Status Notifier items on this session bus (a watcher with a host registered).
    static bool hostPresent(const QDBusConnection& bus);

    struct MenuEntry {
        QString label; // empty: a separator
        // Called with the host's timestamp of the choice (0 when it gave none).
        std::function<void(uint32_t timestamp)> chosen;
    };

    // How the user asked for the item's main window (Activate, or ContextMenu where the host calls it
    // instead of showing the menu): where (0, 0 when the host does not say), and the timestamp of the
    // click where the host handed an activation token for it.
    struct Activation {
        QPoint point;
        std::optional<uint32_t> timestamp;
    };

    StatusNotifierItem(QDBusConnection bus, std::vector<MenuEntry> menu);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // The picture (drawn at the sizes hosts ask for) and the text read out for it; hosts are told only
    // when either differs from what they were last told.
    void setIcon(const QIcon& icon, const QString& accessibleDescription);
    void setToolTip(const QString& toolTip);

    std::function<void(const Activation&)> onActivate;

    // The timestamp an activation token carries ("…_TIME<ms>", as the X11 startup notification and
    // Mutter's tokens have it); nothing for a token without one.
    static std::optional<uint32_t> tokenTimestamp(const QString& token);

private:
    class ItemObject;
    class MenuObject;

    void registerWithWatcher();
    void emitSignal(const char* name);

    QDBusConnection bus_;
    QString service_;
    std::unique_ptr<ItemObject> item_;
    std::unique_ptr<MenuObject> menu_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};
