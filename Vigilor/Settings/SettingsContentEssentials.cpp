// The first two cards of the settings form: Essentials and Share.
#include "SettingsContent.h"

#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MenuContentModel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Monitor/LaunchAtLogin.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Settings/SettingsRowKit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// A glass button for a share row: a title with its symbol, at least `minimumWidth` wide.
ZorviGlassButton* shareButton(const QString& title, const std::string& symbol, int minimumWidth) {
    auto* button = new ZorviGlassButton(title, symbol, false);
    button->setMinimumWidth(minimumWidth);
    zorviPointingHandCursor(*button, true);
    return button;
}

} // namespace

SettingsSectionCard* SettingsContent::essentialsSection() {
    const SettingsBindings& b = context_->bindings();
    QWidget* banner = launchAtLoginErrorBanner();
    auto* startAtLogin = context_->track(new SettingsToggleRow(
        QStringLiteral("Start at login"), {}, "poweron", Theme::notice(), b.launchAtLogin()));
    auto* nudges = context_->track(new SettingsToggleRow(
        QStringLiteral("Gentle visual nudges"),
        QStringLiteral("Use the tray icon, halo, and countdown surfaces before notifications."), "sparkles",
        Theme::notice(), b.visualNudgesEnabled()));
    context_->onRefresh([this, startAtLogin] {
        startAtLogin->setDetail(qs(monitor_->launchAtLogin().launchAtLoginStatus()));
    });
    std::vector<QWidget*> rows{banner, startAtLogin, nudges};

    auto* permission = zorviGlassPanel(12);
    auto* line = new QHBoxLayout(permission);
    line->setContentsMargins(8, 8, 8, 8);
    line->setSpacing(8);
    line->addWidget(lockPermissionRow());
    auto* armAutoLock = context_->track(new SettingsToggleRow(QStringLiteral("Arm Auto Lock"), {}, "lock",
                                                              Theme::warning(), b.autoLockEnabled()));
    // "Locks when you leave" only where something can lock and see the user leave.
    context_->onRefresh([this, armAutoLock] {
        const auto cannotLock = monitor_->statusSummaries().lockAbilityWords();
        armAutoLock->setDetail(!monitor_->autoLockEnabled() ? QStringLiteral("Coaching only; no automatic lock.")
                               : cannotLock                 ? qs(cannotLock->lockReason)
                                                            : QStringLiteral("Zorvi locks when you leave your desk."));
    });
    rows.push_back(permission);
    rows.push_back(armAutoLock);
    return settingsSection(QStringLiteral("Essentials"), QStringLiteral("The basics."),
                           "slider.horizontal.2.square", Theme::notice(), rows);
}

QWidget* SettingsContent::launchAtLoginErrorBanner() {
    auto* banner = zorviGlassPanel(12, Theme::warning());
    banner->setObjectName(QStringLiteral("launchAtLoginError"));
    auto* triangle = new SymbolTile("exclamationmark.triangle.fill", 22, 12, false);
    triangle->setColour(Theme::warning());
    auto* message = new ClampedLabel(zorviFont(11, QFont::Normal), SystemColor::secondaryLabel(), 99);
    auto* line = new QHBoxLayout(banner);
    line->setContentsMargins(8, 8, 8, 8);
    line->setSpacing(4);
    line->addWidget(triangle, 0, Qt::AlignTop);
    line->addWidget(message, 1);
    context_->onRefresh([this, banner, message] {
        const std::optional<std::string>& error = monitor_->launchAtLogin().launchAtLoginError();
        message->setText(error ? qs(*error) : QString());
        banner->setVisible(error.has_value());
    });
    return banner;
}

// Asks nothing of the system itself: "Allow" and "Revoke" only store the user's permission.
QWidget* SettingsContent::lockPermissionRow() {
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("lockPermission"));
    auto* icon = new SymbolTile("lock.shield", 26, 14, true);
    auto* detail = new ClampedLabel(zorviFont(11, QFont::Normal), SystemColor::secondaryLabel(), 1, true);
    auto* texts =
        settingsTextColumn(settingsRowTitle(QStringLiteral("Allow Zorvi to lock this computer")), detail);
    auto* button = new ZorviGlassButton(QStringLiteral("Allow"), {}, true);
    button->setObjectName(QStringLiteral("lockPermissionButton"));
    // The button turns the stored permission over; its caption, drawn from the same setting, says which way.
    connect(button, &QPushButton::clicked, this, [this] {
        const Binding<bool> permission = context_->bindings().screenLockingEnabled();
        permission.set(!permission.get());
    });
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    line->addWidget(icon, 0, Qt::AlignVCenter);
    line->addLayout(texts, 1);
    line->addWidget(button, 0, Qt::AlignVCenter);
    context_->onRefresh([this, icon, detail, button] {
        const bool allowed = context_->bindings().screenLockingEnabled().get();
        icon->setSymbol(allowed ? "lock.shield.fill" : "lock.shield",
                        allowed ? Theme::success() : SystemColor::secondaryLabel());
        detail->setText(allowed ? QStringLiteral("Allowed \u2014 Zorvi may lock the screen")
                                : QStringLiteral("Required before Zorvi can lock"));
        button->setText(allowed ? QStringLiteral("Revoke") : QStringLiteral("Allow"));
        button->setProminent(!allowed);
    });
    return row;
}

SettingsSectionCard* SettingsContent::shareSection() {
    auto* copy = shareButton(QStringLiteral("Copy"), "doc.on.doc", 78);
    copy->setObjectName(QStringLiteral("copyAsk"));
    connect(copy, &QPushButton::clicked, this, [this] { copyStoreAsk(); });
    auto* copyRow = new SettingsControlRow(
        QStringLiteral("Copy invitation"),
        QStringLiteral(
            "Copies the Zorvi install note. It makes no lock claim and asks for use before review."),
        "doc.on.doc", Theme::notice(), copy);
    context_->onRefresh([this, copy, copyRow] {
        const bool copied = context_->state().shareAskCopied;
        copyRow->setIcon(copied ? "checkmark" : "doc.on.doc", copied ? Theme::success() : Theme::notice());
        copy->setText(copied ? QStringLiteral("Copied") : QStringLiteral("Copy"));
        copy->setSystemImage(copied ? "checkmark" : "doc.on.doc");
        copy->setProminent(!copied);
    });

    auto* open = shareButton(QStringLiteral("Open"), "arrow.up.right", 78);
    connect(open, &QPushButton::clicked, this,
            [this] { environment_.openLink(ZorviShareService::storeURL()); });
    auto* kit = shareButton(QStringLiteral("Share kit"), "link", 86);
    connect(kit, &QPushButton::clicked, this,
            [this] { environment_.openLink(ZorviShareService::sharePageURL()); });
    return settingsSection(
        QStringLiteral("Share Zorvi"), QStringLiteral("One honest ask for one Linux user."),
        "square.and.arrow.up", Theme::success(),
        {copyRow,
         new SettingsControlRow(QStringLiteral("Open download page"),
                                QStringLiteral("Opens the web page where Zorvi can be downloaded."), "bag",
                                Theme::notice(), open),
         new SettingsControlRow(
             QStringLiteral("Open share kit"),
             QStringLiteral("Use the website share page for email, system share, or full-lock wording."),
             "link", Theme::success(), kit)});
}

// "Copied" shows only when the clipboard took the text.
void SettingsContent::copyStoreAsk() {
    context_->copyWithConfirmation(storeAsk(ZorviShareService::storeURL().toString().toStdString()),
                                   &SettingsViewState::shareAskCopied);
}
