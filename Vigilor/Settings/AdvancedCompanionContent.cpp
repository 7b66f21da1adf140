// The Advanced card's "Phone & Watch status": pairing, the remote companion switch, the relay's two
// endpoints and the relay details a relay or phone needs.
#include "AdvancedSectionParts.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"
#include "Vigilor/Settings/SettingsSection.h"

#include <QHBoxLayout>

namespace {

constexpr int endpointFieldWidth = 300;
constexpr int narrowestEndpointFieldWidth = 180;

// An endpoint is used as soon as it is stored (the relay client restarts with it and may send it a
// signed heartbeat), so its field stores only when editing ends, never a half-typed address.
SettingsControlRow* endpointRow(SettingsSectionContext& context, const char* title, const char* detail,
                                const char* systemImage, Binding<std::string> endpoint) {
    auto* field =
        context.track(new SettingsTextField(std::move(endpoint), QStringLiteral("https://..."),
                                            endpointFieldWidth, SettingsTextField::Commit::whenEditingEnds));
    auto* row = new SettingsControlRow(title, detail, systemImage, Theme::success(), field);
    fitFieldToRow(*row, *field, endpointFieldWidth, narrowestEndpointFieldWidth);
    return row;
}

// Copy, Publish and Regenerate.
QWidget* pairingButtons(SettingsSectionContext& context) {
    VigilorMonitor& monitor = context.monitor();
    auto* copy = new ZorviGlassButton(QStringLiteral("Copy"), "doc.on.doc");
    copy->setMinimumWidth(60);
    QObject::connect(copy, &QAbstractButton::clicked, copy, [&context] {
        // Nothing to copy leaves the clipboard alone and the button as it was.
        if (const auto details = remotePairingJSON(context.monitor().config()))
            context.copyWithConfirmation(*details, &SettingsViewState::isCopied);
    });

    auto* publish = new ZorviGlassButton(QStringLiteral("Publish"), "arrow.up.forward");
    QObject::connect(publish, &QAbstractButton::clicked, publish,
                     [&monitor] { monitor.publishStatusNow(); });

    auto* regenerate = new ZorviGlassButton(QString(), "arrow.clockwise");
    const QString regenerateHelp = QStringLiteral("Generate a new remote companion secret");
    regenerate->setToolTip(regenerateHelp);
    regenerate->setAccessibleName(regenerateHelp);
    zorviPointingHandCursor(*regenerate, true);
    QObject::connect(regenerate, &QAbstractButton::clicked, regenerate,
                     [&monitor] { monitor.settings().regenerateRemoteSharedSecret(); });

    const auto redraw = [&context, copy, publish] {
        const QString copyTitle =
            context.state().isCopied ? QStringLiteral("Copied") : QStringLiteral("Copy");
        if (copy->text() != copyTitle) {
            copy->setText(copyTitle);
            copy->updateGeometry();
        }
        const auto rows = remoteCompanionRows(context.monitor().config());
        publish->setEnabled(rows.publishEnabled);
        publish->setToolTip(qs(rows.publishHelp));
        zorviPointingHandCursor(*publish, rows.publishEnabled);
    };
    redraw();
    context.onRefresh(redraw);

    auto* buttons = new QWidget;
    auto* line = new QHBoxLayout(buttons);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    line->addWidget(copy);
    line->addWidget(publish);
    line->addWidget(regenerate);
    return buttons;
}

} // namespace

QWidget* phoneAndWatchStatusContent(SettingsSectionContext& context) {
    const auto& b = context.bindings();
    VigilorMonitor& monitor = context.monitor();
    const RemoteCompanionRows rows = remoteCompanionRows(monitor.config());

    auto* pair = new ZorviGlassButton(QStringLiteral("Pair iPhone\u2026"), "iphone.and.arrow.forward", true);
    pair->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    zorviPointingHandCursor(*pair, true);
    QObject::connect(pair, &QAbstractButton::clicked, pair, [&context] { context.startPairing(); });

    auto* remote = context.track(new SettingsToggleRow("Remote companion", "", "network", Theme::success(),
                                                       b.remoteCompanionEnabled()));
    context.onRefresh([remote, &monitor] { remote->setDetail(qs(monitor.remoteCompanionStatus())); });
    remote->setDetail(qs(monitor.remoteCompanionStatus()));

    std::vector<QWidget*> column = {
        pair,
        remote,
        endpointRow(context, "Status endpoint", "Receives heartbeat, lock, unlock, and display events.",
                    "arrow.up.forward.app", b.remoteStatusEndpointURL()),
        endpointRow(context, "Command endpoint", "Optional: Zorvi polls this for signed lock commands.",
                    "lock.rectangle", b.remoteCommandEndpointURL()),
    };
    column.push_back(new SettingsControlRow("Pairing", qs(rows.pairingDetail), "qrcode", Theme::success(),
                                            pairingButtons(context)));
    return settingsColumn(column);
}
