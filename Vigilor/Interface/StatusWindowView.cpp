#include "StatusWindowView.h"

#include "Vigilor/Design/PresenceMarkView.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/DashboardTiles.h"
#include "Vigilor/Interface/MenuPanelComponents.h"
#include "Vigilor/Interface/MonitorRefresh.h"
#include "Vigilor/Interface/MovementCard.h"
#include "Vigilor/Interface/SystemTextStyles.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <array>

namespace {

template <class Layout> Layout* laidOut(QWidget* owner, int spacing, QMargins margins) {
    auto* layout = new Layout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

ClampedLabel* text(const QFont& font, const QColor& colour, int lines = 1, bool shrinks = false,
                   const QString& content = {}) {
    auto* label = new ClampedLabel(font, colour, lines, shrinks);
    label->setText(content);
    return label;
}

SymbolLabel* heading(std::string systemImage, const QString& title) {
    auto* label = new SymbolLabel(std::move(systemImage), title, systemTextStyle(TextStyle::headline),
                                  SystemColor::primaryLabel());
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

// A health-rhythm or walks panel: its heading with the monitor's status line, and one tile per period.
class RhythmPanel : public ZorviGlassSurface {
public:
    RhythmPanel(bool walks)
        : ZorviGlassSurface(ZorviGlassDepth::panel, 18, walks ? Theme::notice() : Theme::success())
        , walks_(walks)
        , status_(text(systemTextStyle(TextStyle::caption, QFont::DemiBold), SystemColor::secondaryLabel(), 1,
                       true))
        , tiles_(new QHBoxLayout) {
        auto* column = laidOut<QVBoxLayout>(this, 12, {14, 14, 14, 14});
        auto* header = new QHBoxLayout;
        header->setSpacing(8);
        header->addWidget(walks ? heading("figure.walk", QStringLiteral("Walks"))
                                : heading("heart.text.square.fill", QStringLiteral("Health rhythm")));
        header->addStretch(1);
        header->addWidget(status_);
        column->addLayout(header);
        tiles_->setSpacing(10);
        column->addLayout(tiles_);
    }
    void set(const std::string& status, const std::vector<WellnessPeriodSummary>& periods,
             const std::vector<QColor>& tints) {
        status_->setText(qs(status));
        while (tiles.size() < periods.size()) {
            SummaryTile* tile = walks_ ? static_cast<SummaryTile*>(new WalkSummaryTile)
                                       : static_cast<SummaryTile*>(new RhythmSummaryTile);
            tiles_->addWidget(tile, 1);
            tiles.push_back(tile);
        }
        for (size_t i = 0; i < tiles.size(); ++i) {
            tiles[i]->setVisible(i < periods.size());
            if (i < periods.size())
                tiles[i]->setSummary(periods[i], tints[i]);
        }
    }
    std::vector<SummaryTile*> tiles;

private:
    bool walks_;
    ClampedLabel* status_;
    QHBoxLayout* tiles_;
};

// The phone's recovery figures, tinted by their band; absent while neither figure is known.
class RecoveryCard : public ZorviGlassSurface {
public:
    RecoveryCard()
        : ZorviGlassSurface(ZorviGlassDepth::panel, 18)
        , figures_(new QHBoxLayout)
        , band_(text(systemTextStyle(TextStyle::body, QFont::DemiBold), {})) {
        auto* column = laidOut<QVBoxLayout>(this, 10, {14, 14, 14, 14});
        column->addWidget(heading("heart.fill", QStringLiteral("Recovery")));
        figures_->setSpacing(16);
        column->addLayout(figures_);
        for (auto& figure : columns_) {
            figure = {text(zorviCaption(), SystemColor::secondaryLabel()),
                      text(systemTextStyle(TextStyle::body, QFont::DemiBold), SystemColor::primaryLabel()),
                      text(zorviCaption(), SystemColor::secondaryLabel()), new QWidget};
            auto* stack = laidOut<QVBoxLayout>(figure.box, 4, {});
            for (ClampedLabel* part : {figure.title, figure.value, figure.unit})
                stack->addWidget(part);
            figures_->addWidget(figure.box);
        }
        figures_->addStretch(1);
        auto* bandColumn = new QVBoxLayout;
        bandColumn->setSpacing(4);
        auto* bandTitle =
            text(zorviCaption(), SystemColor::secondaryLabel(), 1, false, QStringLiteral("Band"));
        for (ClampedLabel* part : {bandTitle, band_}) {
            part->setAlignment(Qt::AlignRight);
            bandColumn->addWidget(part, 0, Qt::AlignRight);
        }
        bandColumn->addStretch(1);
        figures_->addLayout(bandColumn);
    }
    void set(const RecoveryCardModel& m) {
        setVisible(m.visible);
        for (size_t i = 0; i < columns_.size(); ++i) {
            columns_[i].box->setVisible(i < m.figures.size());
            if (i < m.figures.size()) {
                columns_[i].title->setText(qs(m.figures[i].title));
                columns_[i].value->setText(qs(m.figures[i].value));
                columns_[i].unit->setText(qs(m.figures[i].unit));
            }
        }
        band_->setText(qs(m.band));
        band_->setColour(m.tint);
    }

private:
    struct Figure {
        ClampedLabel* title;
        ClampedLabel* value;
        ClampedLabel* unit;
        QWidget* box;
    };
    QHBoxLayout* figures_;
    std::array<Figure, 2> columns_{};
    ClampedLabel* band_;
};

// One line of the lock log: its time over the rest.
struct LockRowWidgets {
    QWidget* box;
    ClampedLabel* time;
    ClampedLabel* text;
};

} // namespace

// The column's sections, built once; a refresh only sets their values and visibility.
class DashboardParts {
public:
    DashboardParts(StatusWindowView& view, std::shared_ptr<VigilorMonitor> monitor, const Clock& clock,
                   ShareWeek share);

    ZorviGlassContainer* column = new ZorviGlassContainer(18);
    QScrollArea* scroll = plainScrollArea(column, Qt::ScrollBarAlwaysOn);
    PresenceMarkView* mark = new PresenceMarkView(false, false, false, false, false, 92);
    ClampedLabel* reason = text(systemTextStyle(TextStyle::title3), SystemColor::secondaryLabel(), 2);
    DeskHealthPanel* deskHealth;
    RecoveryCard* recovery = new RecoveryCard;
    MovementCard* movement = new MovementCard;
    std::array<StatusMeter*, 3> meters;
    RhythmPanel* healthRhythm = new RhythmPanel(false);
    RhythmPanel* walkRhythm = new RhythmPanel(true);
    std::array<ClampedLabel*, 6> signalValues{};
    ZorviGlassSurface* lockActivity = zorviGlassPanel(18);
    ClampedLabel* noLockEvents =
        text(zorviCaption(), SystemColor::secondaryLabel(), 1, false, QStringLiteral("No lock events yet"));
    std::array<LockRowWidgets, 6> lockRows{};
    ZorviGlassSurface* explainer = zorviGlassPanel(14);
    ClampedLabel* explanation = text(zorviCaption(), SystemColor::secondaryLabel(), 2);
    SwitchRow* autoLock = new SwitchRow(QStringLiteral("Auto Lock"));
    ZorviGlassButton* pause = new ZorviGlassButton(QStringLiteral("Pause"));
    ZorviGlassButton* lockNow = new ZorviGlassButton(QStringLiteral("Lock Now"), {}, true);

private:
    QWidget* hero();
    QWidget* privacyPromise();
    QWidget* statusMeters(const Clock& clock);
    QWidget* signalGrid();
    QWidget* lockActivityCard();
    QWidget* actionBar();
};

DashboardParts::DashboardParts(StatusWindowView& view, std::shared_ptr<VigilorMonitor> monitor,
                               const Clock& clock, ShareWeek share)
    : deskHealth(new DeskHealthPanel(std::move(monitor), std::move(share))) {
    auto* backdrop = new ZorviBackdrop(true);
    laidOut<QVBoxLayout>(&view, 0, {})->addWidget(backdrop);
    laidOut<QVBoxLayout>(backdrop, 0, {})->addWidget(scroll);
    column->column()->setContentsMargins(24, 24 + 14, 24, 24);

    QVBoxLayout* sections = column->column();
    for (QWidget* section : {hero(), static_cast<QWidget*>(deskHealth), static_cast<QWidget*>(recovery),
                             static_cast<QWidget*>(movement), privacyPromise(), statusMeters(clock),
                             static_cast<QWidget*>(healthRhythm), static_cast<QWidget*>(walkRhythm),
                             signalGrid(), lockActivityCard(), static_cast<QWidget*>(explainer)})
        sections->addWidget(section);
    sections->addWidget(actionBar(), 0, Qt::AlignLeft);
    sections->addStretch(1);

    laidOut<QVBoxLayout>(explainer, 0, {14, 10, 14, 10})->addWidget(explanation);
}

QWidget* DashboardParts::hero() {
    auto* panel = zorviGlassPanel(24, std::nullopt, true);
    auto* row = laidOut<QHBoxLayout>(panel, 16, {18, 18, 18, 18});
    row->addWidget(mark, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addStretch(1);
    texts->addWidget(text(systemTextStyle(TextStyle::largeTitle, QFont::DemiBold),
                          SystemColor::primaryLabel(), 1, false, QStringLiteral("Zorvi")));
    texts->addWidget(reason);
    texts->addStretch(1);
    row->addLayout(texts, 1);
    return panel;
}

QWidget* DashboardParts::privacyPromise() {
    auto* panel = zorviGlassPanel(18, Theme::success());
    auto* stack = laidOut<QVBoxLayout>(panel, 8, {14, 14, 14, 14});
    stack->addWidget(heading("hand.raised.fill", QStringLiteral("Privacy promise")));
    stack->addWidget(
        text(systemTextStyle(TextStyle::callout), SystemColor::secondaryLabel(), 8, false,
             QStringLiteral("Zorvi processes camera presence locally on this computer. It does not upload "
                            "face images, require an account, or keep a cloud presence history.")));
    return panel;
}

QWidget* DashboardParts::statusMeters(const Clock& clock) {
    auto* box = new QWidget;
    auto* stack = laidOut<QVBoxLayout>(box, 12, {});
    for (StatusMeter*& meter : meters) {
        meter = new StatusMeter(clock);
        stack->addWidget(meter);
    }
    return box;
}

QWidget* DashboardParts::signalGrid() {
    static const char* const titles[] = {"Mode", "Confidence", "Face", "Watch", "Input", "Compatibility"};
    auto* panel = zorviGlassPanel(18);
    auto* grid = laidOut<QGridLayout>(panel, 0, {14, 14, 14, 14});
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(10);
    for (int i = 0; i < int(signalValues.size()); ++i) {
        grid->addWidget(text(systemTextStyle(TextStyle::body), SystemColor::secondaryLabel(), 1, false,
                             QString::fromLatin1(titles[i])),
                        i, 0);
        signalValues[size_t(i)] = text(systemTextStyle(TextStyle::body), SystemColor::primaryLabel());
        grid->addWidget(signalValues[size_t(i)], i, 1);
    }
    grid->setColumnStretch(1, 1);
    return panel;
}

QWidget* DashboardParts::lockActivityCard() {
    auto* stack = laidOut<QVBoxLayout>(lockActivity, 10, {14, 14, 14, 14});
    stack->addWidget(heading("lock.fill", QStringLiteral("Lock activity")));
    noLockEvents->setContentsMargins(0, 8, 0, 8);
    stack->addWidget(noLockEvents);
    auto* rows = new QVBoxLayout;
    rows->setSpacing(6);
    for (LockRowWidgets& row : lockRows) {
        row = {new QWidget, text(zorviMicro(), SystemColor::secondaryLabel()),
               text(zorviCaption(), SystemColor::primaryLabel(), 2)};
        auto* lines = laidOut<QVBoxLayout>(row.box, 2, {});
        lines->addWidget(row.time);
        lines->addWidget(row.text);
        rows->addWidget(row.box);
    }
    stack->addLayout(rows);
    return lockActivity;
}

QWidget* DashboardParts::actionBar() {
    auto* panel = zorviGlassPanel(18, SystemColor::orange(), true);
    panel->setObjectName(QStringLiteral("actionBar"));
    auto* row = laidOut<QHBoxLayout>(panel, 12, {12, 12, 12, 12});
    for (QWidget* part : {static_cast<QWidget*>(autoLock), static_cast<QWidget*>(pause),
                          static_cast<QWidget*>(lockNow)})
        row->addWidget(part, 0, Qt::AlignVCenter);
    zorviPointingHandCursor(*pause, true);
    zorviPointingHandCursor(*lockNow, true);
    return panel;
}

StatusWindowView::StatusWindowView(std::shared_ptr<VigilorMonitor> monitor, const Clock& clock,
                                   ShareWeek share, QWidget* parent)
    : QWidget(parent)
    , monitor_(std::move(monitor))
    , clock_(clock)
    , parts_(std::make_unique<DashboardParts>(*this, monitor_, clock, std::move(share))) {
    setObjectName(QStringLiteral("dashboard"));
    new MonitorRefresh(*this, monitor_, [this] { refresh(); });
    DashboardParts& p = *parts_;
    connect(p.autoLock, &QAbstractButton::clicked, this,
            [this](bool on) { monitor_->settings().setAutoLockEnabled(on); });
    connect(p.pause, &QAbstractButton::clicked, this, [this] { monitor_->togglePaused(); });
    connect(p.lockNow, &QAbstractButton::clicked, this, [this] { monitor_->lockNow(); });
    refresh();
}

StatusWindowView::~StatusWindowView() = default;

QScrollArea* StatusWindowView::scrollArea() const {
    return parts_->scroll;
}
QWidget* StatusWindowView::column() const {
    return parts_->column;
}
DeskHealthPanel* StatusWindowView::deskHealth() const {
    return parts_->deskHealth;
}
MovementCard* StatusWindowView::movementCard() const {
    return parts_->movement;
}

void StatusWindowView::refresh() {
    model_ = statusWindowModel(*monitor_);
    const StatusWindowModel& m = model_;
    DashboardParts& p = *parts_;
    p.mark->setState(m.mark);
    p.reason->setText(qs(m.lockReason));
    p.deskHealth->refresh();
    p.recovery->set(m.recovery);
    p.movement->setModel(
        movementCardModel(*monitor_, clock_.now(), m.movementTint, m.postureTint, m.poseTint));
    for (size_t i = 0; i < p.meters.size(); ++i) {
        p.meters[i]->setVisible(i < m.meters.size());
        if (i < m.meters.size())
            p.meters[i]->setModel(m.meters[i]);
    }
    p.healthRhythm->set(m.wellnessRhythmStatus, m.periods, m.rhythmTints);
    p.walkRhythm->set(m.walkRhythmStatus, m.periods, m.walkTints);
    for (size_t i = 0; i < p.signalValues.size(); ++i)
        p.signalValues[i]->setText(qs(m.signalRows[i].value));

    p.noLockEvents->setVisible(m.lockRows.empty());
    for (size_t i = 0; i < p.lockRows.size(); ++i) {
        const LockRowWidgets& row = p.lockRows[i];
        const bool shown = i < m.lockRows.size();
        row.box->setVisible(shown);
        const LogLine line = shown ? m.lockRows[i] : LogLine{};
        row.time->setText(qs(line.time));
        row.text->setText(qs(line.text));
    }
    p.lockActivity->setAccessibleName(
        QStringLiteral("Lock activity, %1 events recorded").arg(qulonglong(m.lockEventCount)));
    p.explainer->setVisible(m.suppressionReason.has_value());
    p.explanation->setText(qs(m.suppressionReason.value_or("")));
    p.explainer->setAccessibleName(QStringLiteral("Lock suppression reason: ") +
                                   qs(m.suppressionReason.value_or("")));

    p.autoLock->setChecked(m.autoLockEnabled);
    p.pause->setText(qs(m.pauseTitle));
}
