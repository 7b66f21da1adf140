#include "SettingsContent.h"

#include "Vigilor/Companion/CompanionPairingService.h"
#include "Vigilor/Design/PresenceMarkView.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MenuContentModel.h"
#include "Vigilor/Interface/MonitorRefresh.h"
#include "Vigilor/Interface/StatusWindowModel.h"
#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/LockScreen/LockScreenMessageService.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/MonitorSettings.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Settings/CompanionPairingSheetView.h"
#include "Vigilor/Settings/DeviceDiscoverySheetView.h"
#include "Vigilor/Settings/FaceEnrolmentSheetView.h"
#include "Vigilor/Settings/SettingsAdvancedSection.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

using Device = SettingsCommands::BluetoothDeviceType;

// The presence mark on a filled circle of the hero's tint.
class PresenceMarkCircle : public QWidget {
public:
    static constexpr double markSize = 62;
    static constexpr int padding = 9;

    PresenceMarkCircle()
        : mark(new PresenceMarkView(false, false, false, false, false, markSize, this)) {
        setFixedSize(int(markSize) + 2 * padding, int(markSize) + 2 * padding);
        mark->move(padding, padding);
    }
    PresenceMarkView* mark;
    QColor tint;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(tint, 0.14));
        painter.drawEllipse(QRectF(rect()));
    }
};

// The readiness summary with its symbol, on a capsule of the hero's tint.
class ReadinessBadge : public QWidget {
public:
    ReadinessBadge() {
        setAccessibleName(QStringLiteral("Readiness"));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    void show(const QString& text, const std::string& symbol, const QColor& tint) {
        if (text == text_ && symbol == symbol_ && tint == tint_)
            return;
        text_ = text;
        symbol_ = symbol;
        tint_ = tint;
        setAccessibleDescription(text);
        updateGeometry();
        update();
    }
    const QString& text() const { return text_; }
    const std::string& symbol() const { return symbol_; }
    const QColor& tint() const { return tint_; }

    QSize sizeHint() const override {
        const QFontMetrics metrics(zorviCaption());
        return {11 + symbolSide + 4 + metrics.horizontalAdvance(text_) + 11, metrics.height() + 14};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(tint_, 0.12));
        painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
        const QRectF symbolBox(11, (height() - symbolSide) / 2.0, symbolSide, symbolSide);
        ZorviSymbols::draw(painter, symbol_, symbolBox, tint_);
        painter.setFont(zorviCaption());
        painter.setPen(tint_);
        painter.drawText(QRectF(symbolBox.right() + 4, 0, width(), height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text_);
    }

private:
    static constexpr int symbolSide = 12;
    QString text_;
    std::string symbol_;
    QColor tint_;
};

} // namespace

SettingsContent::SettingsContent(std::shared_ptr<VigilorMonitor> monitor, SettingsEnvironment environment,
                                 QWidget* parent)
    : QWidget(parent)
    , monitor_(std::move(monitor))
    , environment_(std::move(environment)) {
    if (!environment_.lockScreenMessages)
        environment_.lockScreenMessages = std::make_shared<LockScreenMessageService>();
    if (!environment_.faceEnrolment)
        environment_.faceEnrolment = monitorFaceEnrolment(monitor_);
    if (!environment_.checkForUpdates)
        environment_.checkForUpdates = [this] { UpdaterService::shared().checkForUpdates(window()); };
    if (!environment_.openLink)
        environment_.openLink = ZorviShareService::openWithDesktop;
    const QPointer<SettingsContent> self(this);
    SettingsSectionContext::Actions actions{
        [self] {
            if (self)
                self->startPairing();
        },
        [self](Device type) {
            if (self)
                self->context_->setState([type](SettingsViewState& s) {
                    (type == Device::watch ? s.showWatchDiscoverySheet : s.showPhoneDiscoverySheet) = true;
                });
        },
        [self] {
            if (!self)
                return;
            self->context_->setState([](SettingsViewState& s) { s.showFaceEnrolmentSheet = true; });
            self->environment_.faceEnrolment->start();
        },
    };
    context_ = std::make_unique<SettingsSectionContext>(monitor_, environment_.lockScreenMessages,
                                                        std::move(actions));

    container_ = new ZorviGlassContainer(12);
    container_->column()->addWidget(settingsHero());
    sectionBuilders_ = fullSettingsSections();
    sections_.reserve(sectionBuilders_.size());
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->addWidget(container_);
    outer->addStretch(1);

    context_->onRefresh([this] { makeSheets(); });
    new MonitorRefresh(*this, monitor_, [this] { context_->refresh(); });
    context_->refresh();
}

SettingsContent::~SettingsContent() {
    // The sheets belong to the window; they go with the form that presents them.
    for (const QPointer<SettingsSheet>& sheet :
         {pairingSheet_, watchDiscoverySheet_, phoneDiscoverySheet_, faceEnrolmentSheet_})
        delete sheet.data();
}

// The login screen's message may have changed while the window was hidden.
void SettingsContent::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        context_->setState([this](SettingsViewState& s) {
            s.lockScreenMessageState = context_->lockScreenMessages().currentMessage();
        });
}

QWidget* SettingsContent::settingsHero() {
    auto* hero = zorviGlassPanel(16);
    hero->setObjectName(QStringLiteral("hero"));
    auto* circle = new PresenceMarkCircle;
    // Wrapped whole: some reasons (a locker that took requests but never locked) run past two lines.
    auto* reason = new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 99);
    reason->setObjectName(QStringLiteral("lockReason"));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(5);
    texts->addWidget(plainLabel("Zorvi Settings", zorviDisplay(), SystemColor::primaryLabel()));
    texts->addWidget(reason);
    auto* unsaved = new ClampedLabel(zorviCaption(), Theme::critical(), 3);
    unsaved->setObjectName(QStringLiteral("settingsUnsaved"));
    texts->addWidget(unsaved);

    auto* badge = new ReadinessBadge;
    badge->setObjectName(QStringLiteral("readiness"));
    auto* permissions = new ZorviGlassButton(QStringLiteral("Continue"), "camera.fill", true);
    permissions->setObjectName(QStringLiteral("enablePermissions"));
    permissions->setFont(zorviCaption());
    connect(permissions, &QPushButton::clicked, this, [this] {
        monitor_->requestCameraThenBluetooth();
    });
    auto* trailing = new QVBoxLayout;
    trailing->setSpacing(8);
    trailing->addWidget(badge, 0, Qt::AlignRight);
    trailing->addWidget(permissions, 0, Qt::AlignRight);

    auto* row = new QHBoxLayout(hero);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(16);
    row->addWidget(circle, 0, Qt::AlignVCenter);
    row->addLayout(texts, 1);
    row->addLayout(trailing);

    context_->onRefresh([this, circle, reason, unsaved, badge, permissions] {
        const VigilorMonitor& m = *monitor_;
        const StatusSummaries& status = m.statusSummaries();
        const QColor tint = Theme::colorForLevel(m.coachingSummaries().nudgeLevel());
        if (circle->tint != tint) {
            circle->tint = tint;
            circle->update();
        }
        circle->mark->setState(presenceMarkState(m));
        reason->setText(qs(status.lockReason()));
        const auto& why = m.settingsUnsaved();
        unsaved->setText(why ? qs(MonitorSettings::settingsUnsavedText(*why)) : QString());
        unsaved->setVisible(why.has_value());
        badge->show(qs(status.readinessSummary()), status.menuSystemImage(), tint);
        permissions->setVisible(status.needsPermissionAction());
        permissions->setSystemImage(permissionSymbol(m));
    });
    return hero;
}

std::vector<SettingsContent::SectionBuilder> SettingsContent::fullSettingsSections() const {
    return {&SettingsContent::essentialsSection,   &SettingsContent::shareSection,
            &SettingsContent::whenToLockSection,   &SettingsContent::dontLockWhenSection,
            &SettingsContent::eyesMovementSection, &SettingsContent::syncSection,
            &SettingsContent::presenceSection,     &SettingsContent::knownVigilorSection,
            &SettingsContent::advancedSection,     &SettingsContent::updatesSection};
}

SettingsSectionCard* SettingsContent::buildNextSection() {
    if (isComplete())
        return nullptr;
    const size_t firstRedraw = context_->refreshCount();
    SettingsSectionCard* card = (this->*sectionBuilders_[sections_.size()])();
    sections_.push_back(card);
    container_->column()->addWidget(card);
    context_->refreshFrom(firstRedraw);
    return card;
}

bool SettingsContent::isPresentingSheet() const {
    const SettingsViewState& s = context_->state();
    return s.showPairingSheet || s.showWatchDiscoverySheet || s.showPhoneDiscoverySheet ||
           s.showFaceEnrolmentSheet;
}

SettingsSectionCard* SettingsContent::advancedSection() {
    return settingsSection(QStringLiteral("Advanced"), QStringLiteral("Fine-tuning most people never need."),
                           "slider.horizontal.3", SystemColor::secondaryLabel(),
                           {makeAdvancedSectionContent(*context_)});
}

// The sheets are made when first presented, over the window the form is in by then.
void SettingsContent::makeSheets() {
    const SettingsViewState& s = context_->state();
    if (!pairingSheet_ && (s.showPairingSheet || s.showWatchDiscoverySheet || s.showPhoneDiscoverySheet ||
                           s.showFaceEnrolmentSheet)) {
        const auto flag = [this](bool SettingsViewState::*member) {
            return Binding<bool>([this, member] { return context_->state().*member; },
                                 [this, member](const bool& value) {
                                     context_->setState(
                                         [&](SettingsViewState& state) { state.*member = value; });
                                 });
        };
        QWidget* over = window();
        pairingView_ = new CompanionPairingSheetView(flag(&SettingsViewState::showPairingSheet));
        pairingSheet_ = new SettingsSheet(QStringLiteral("Pair your iPhone"), pairingView_,
                                          flag(&SettingsViewState::showPairingSheet), {360, 0},
                                          SettingsSheet::Sizing::fitted, over);
        const auto picker = [&](bool SettingsViewState::*member, Device type) {
            return new SettingsSheet(QStringLiteral("Find my device"),
                                     new DeviceDiscoverySheetView(flag(member), monitor_, type), flag(member),
                                     {440, 500}, SettingsSheet::Sizing::fixed, over);
        };
        watchDiscoverySheet_ = picker(&SettingsViewState::showWatchDiscoverySheet, Device::watch);
        phoneDiscoverySheet_ = picker(&SettingsViewState::showPhoneDiscoverySheet, Device::phone);
        faceEnrolmentView_ = new FaceEnrolmentSheetView(flag(&SettingsViewState::showFaceEnrolmentSheet),
                                                        *environment_.faceEnrolment);
        faceEnrolmentSheet_ = new SettingsSheet(QStringLiteral("Capture Your Face"), faceEnrolmentView_,
                                                flag(&SettingsViewState::showFaceEnrolmentSheet), {400, 420},
                                                SettingsSheet::Sizing::resizable, over);
    }
    if (!pairingSheet_)
        return;
    pairingView_->update(s.pairingCode, s.pairingState, s.pairingError);
    if (s.showFaceEnrolmentSheet)
        faceEnrolmentView_->refresh(); // the progress announces nothing of its own
    for (const QPointer<SettingsSheet>& sheet :
         {pairingSheet_, watchDiscoverySheet_, phoneDiscoverySheet_, faceEnrolmentSheet_})
        if (sheet)
            sheet->refresh();
}

void SettingsContent::startPairing() {
    if (!environment_.makePairingService)
        return;
    std::shared_ptr<CompanionPairingService> service = environment_.makePairingService();
    const uint64_t attempt = ++pairingAttempt_;
    if (const auto& replaced = context_->state().pairingService)
        replaced->stop(); // an attempt nobody can see any more must not keep listening
    service->start(
        [self = QPointer<SettingsContent>(this), attempt](const CompanionPairingService::Result& result) {
            if (!self)
                return;
            if (const auto* error = std::get_if<CompanionPairingService::PairingError>(&result))
                self->pairingFinished(attempt, false, error->errorDescription());
            else
                self->pairingFinished(attempt, true, {});
        },
        [self = QPointer<SettingsContent>(this), attempt](const std::string& reason) {
            if (self)
                self->pairingNotAnnounced(attempt, reason);
        });
    const std::string code = service->code();
    context_->setState([&](SettingsViewState& s) {
        s.pairingService = std::move(service);
        s.showPairingSheet = true;
        s.pairingState = PairingSheetState::advertising;
        s.pairingError.clear();
        s.pairingCode = code;
    });
}

// A phone cannot find an attempt that is not announced; the sheet says so and why.
void SettingsContent::pairingNotAnnounced(uint64_t attempt, const std::string& reason) {
    if (attempt != pairingAttempt_)
        return;
    context_->setState([&](SettingsViewState& s) {
        if (s.pairingState != PairingSheetState::advertising)
            return;
        s.pairingError = reason;
        s.pairingState = PairingSheetState::notAnnounced;
    });
}

// Every failure ends the attempt as timed out, its text set first.
void SettingsContent::pairingFinished(uint64_t attempt, bool paired, const std::string& error) {
    if (attempt != pairingAttempt_)
        return; // the outcome of an attempt that a newer one replaced
    context_->setState([&](SettingsViewState& s) {
        if (paired) {
            s.pairingState = PairingSheetState::paired;
            return;
        }
        s.pairingError = error;
        s.pairingState = PairingSheetState::timedOut;
    });
}
