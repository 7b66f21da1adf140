#include "UpdateAnnouncementWindow.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Interface/WindowPlacement.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int windowWidth = 440;
constexpr int notesHeight = 180;
constexpr int buttonHeight = 32;

QColor tintColor(UpdateAnnouncement::Tint tint) {
    switch (tint) {
    case UpdateAnnouncement::Tint::success:
        return Theme::success();
    case UpdateAnnouncement::Tint::notice:
        return Theme::notice();
    case UpdateAnnouncement::Tint::warning:
        return Theme::warning();
    }
    return Theme::notice();
}

} // namespace

UpdateAnnouncement updateAnnouncement(const UpdateCheckOutcome& outcome, const std::string& runningVersion) {
    switch (outcome.kind) {
    case UpdateCheckOutcome::Kind::updateAvailable:
        return {"arrow.down.circle.fill",
                UpdateAnnouncement::Tint::notice,
                "Zorvi " + outcome.release.version + " is available",
                "You have Zorvi " + runningVersion + ". Open the download page to get the new version.",
                outcome.release.notes,
                true};
    case UpdateCheckOutcome::Kind::upToDate:
        return {"checkmark.circle.fill",
                UpdateAnnouncement::Tint::success,
                "Zorvi is up to date",
                "You have Zorvi " + runningVersion + ". The newest release is " + outcome.newestVersion + ".",
                {},
                false};
    case UpdateCheckOutcome::Kind::failed:
        break;
    }
    return {"exclamationmark.triangle.fill",
            UpdateAnnouncement::Tint::warning,
            "Zorvi couldn't check for updates",
            outcome.error ? outcome.error->description() : std::string(),
            {},
            false};
}

UpdateAnnouncementWindow::UpdateAnnouncementWindow(
    std::function<void(const std::string& link)> openPage,
    std::function<void(const std::string& version)> skipVersion, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , openPage_(std::move(openPage))
    , skipVersion_(std::move(skipVersion))
    , badge_(new SymbolTile({}, 48, 24, true))
    , title_(plainLabel({}, zorviTitle(), SystemColor::primaryLabel()))
    , message_(plainLabel({}, zorviCaption(), SystemColor::secondaryLabel()))
    , notesPanel_(zorviGlassPanel(12))
    , notes_(plainLabel({}, zorviBody(), SystemColor::primaryLabel()))
    , skip_(new ZorviGlassButton(QStringLiteral("Skip This Version")))
    , later_(new ZorviGlassButton(QStringLiteral("Later")))
    , primary_(new ZorviGlassButton({}, {}, true)) {
    setWindowTitle(QStringLiteral("Software Update"));
    setFixedWidth(windowWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new ZorviBackdrop(false);
    outer->addWidget(backdrop);
    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(badge_, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(title_);
    message_->setWordWrap(true);
    texts->addWidget(message_);
    header->addLayout(texts, 1);
    column->addLayout(header);

    notes_->setWordWrap(true);
    notes_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* notesColumn = new QVBoxLayout(notesPanel_);
    notesColumn->setContentsMargins(12, 12, 12, 12);
    notesColumn->addWidget(plainScrollArea(notes_, Qt::ScrollBarAsNeeded));
    notesPanel_->setFixedHeight(notesHeight);
    column->addWidget(notesPanel_);

    // Skipping stands apart on the left, as in the update dialogs people know.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip_);
    buttons->addStretch();
    buttons->addWidget(later_);
    buttons->addWidget(primary_);
    for (ZorviGlassButton* button : {skip_, later_, primary_})
        button->setMinimumHeight(buttonHeight);
    column->addLayout(buttons);

    connect(skip_, &QPushButton::clicked, this, [this] {
        skipVersion_(release_.version);
        close();
    });
    connect(later_, &QPushButton::clicked, this, &QWidget::close);
    connect(primary_, &QPushButton::clicked, this, [this] {
        if (announcement_.offersPage)
            openPage_(release_.link);
        close();
    });
}

void UpdateAnnouncementWindow::present(const UpdateCheckOutcome& outcome, const std::string& runningVersion,
                                       QWidget* over) {
    announcement_ = updateAnnouncement(outcome, runningVersion);
    release_ = announcement_.offersPage ? outcome.release : AppcastItem();
    badge_->setSymbol(announcement_.symbol, tintColor(announcement_.tint));
    title_->setText(qs(announcement_.title));
    message_->setText(qs(announcement_.message));
    notes_->setText(qs(announcement_.notes));
    notesPanel_->setVisible(!announcement_.notes.empty());
    skip_->setVisible(announcement_.offersPage);
    later_->setVisible(announcement_.offersPage);
    primary_->setText(announcement_.offersPage ? QStringLiteral("Open Download Page") : QStringLiteral("OK"));
    primary_->setAccessibleName(primary_->text());
    primary_->setToolTip(primary_->text());
    for (ZorviGlassButton* button : {skip_, later_, primary_})
        button->setMinimumWidth(button->sizeHint().width()); // labels are never cut
    adjustSize();
    placeOver(over);
    show();
    raise();
    activateWindow();
}

// Over a window, it is that window's dialog: the window manager keeps it above that window.
void UpdateAnnouncementWindow::placeOver(QWidget* over) {
    const Qt::WindowType type = over ? Qt::Dialog : Qt::Window;
    if (windowType() != type)
        setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | type);
    winId(); // the window exists, so that it can be made one of `over`'s
    windowHandle()->setTransientParent(over ? over->windowHandle() : nullptr);
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    WindowPlacing::place(*this,
                         WindowPlacing::request(*this, screen ? screen : QGuiApplication::primaryScreen(),
                                                std::nullopt, over));
}
