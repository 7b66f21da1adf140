#include "SettingsRowKit.h"

#include "Vigilor/Companion/SettingsSync.h"
#include "Vigilor/Companion/SyncFolderFileSyncBackend.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace {

std::optional<std::string> shortTime(const std::optional<Date>& date) {
    if (!date)
        return std::nullopt;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(date->unixTime()));
    return QLocale::system().toString(local.time(), QLocale::ShortFormat).toStdString();
}

} // namespace

SettingsSyncRow::SettingsSyncRow(SettingsSync* sync, QWidget* parent)
    : QWidget(parent)
    , sync_(sync)
    , word_(new QLabel)
    , notice_(new LaunchAtLoginNotice({})) {
    setObjectName(QStringLiteral("row.Settings sync"));
    word_->setFont(zorviCaption());
    word_->setTextFormat(Qt::PlainText);
    shell_ = new SettingsControlShell(QStringLiteral("Settings sync"), {}, "arrow.triangle.2.circlepath",
                                      SystemColor::secondaryLabel(), true, word_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(shell_);
    column->addWidget(notice_);
    if (sync_) {
        // The service announces a change before making it: read it on the next turn.
        subscription_ = sync_->subscribe([self = QPointer<SettingsSyncRow>(this)] {
            QTimer::singleShot(0, self, [self] {
                if (self)
                    self->refresh();
            });
        });
    }
    refresh();
}

SettingsSyncRow::~SettingsSyncRow() {
    if (sync_)
        sync_->unsubscribe(subscription_);
}

void SettingsSyncRow::refresh() {
    const std::string folder = SyncFolderFileSyncBackend::defaultFolder().string();
    const SettingsSyncRowModel model =
        sync_ ? settingsSyncRowModel(sync_->status(), shortTime(sync_->lastSyncedAt()),
                                     sync_->lastSyncedFromDevice(), sync_->backendDisplayName(), folder)
              : settingsSyncRowModel(SettingsSync::Status::off, std::nullopt, std::nullopt, {}, folder);
    shell_->setDetail(QString::fromStdString(model.detail));
    shell_->setIcon("arrow.triangle.2.circlepath", model.tint);
    word_->setText(QString::fromStdString(model.word));
    if (word_->palette().color(QPalette::WindowText) != model.tint) {
        QPalette palette = word_->palette();
        palette.setColor(QPalette::WindowText, model.tint);
        word_->setPalette(palette);
    }
    notice_->setVisible(model.notice.has_value());
    notice_->setMessage(QString::fromStdString(model.notice.value_or("")));
}

QString SettingsSyncRow::statusWord() const {
    return word_->text();
}
