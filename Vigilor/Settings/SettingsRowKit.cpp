#include "SettingsRowKit.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace {

constexpr double rowCornerRadius = 12;
constexpr double rowTintOpacity = 0.08;
constexpr int unlimitedLines = 99;

QFont detailFont() {
    return zorviFont(11, QFont::Normal);
}

} // namespace

QVBoxLayout* settingsTextColumn(QLabel* title, QWidget* detail) {
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    column->addWidget(title);
    column->addWidget(detail);
    return column;
}

QLabel* settingsRowTitle(const QString& title) {
    return plainLabel(title.toStdString(), zorviControl(), SystemColor::primaryLabel());
}

SymbolTile* settingsIconChip(const std::string& systemImage, const QColor& tint) {
    auto* chip = new SymbolTile(systemImage, 26, 12, true);
    chip->setColour(tint);
    return chip;
}

SettingsControlShell::SettingsControlShell(const QString& title, const QString& detail,
                                           const std::string& systemImage, const QColor& tint,
                                           bool inlineControl, QWidget* control, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, rowCornerRadius, withOpacity(tint, rowTintOpacity), false,
                        parent)
    , title_(settingsRowTitle(title))
    , detail_(new ClampedLabel(detailFont(), SystemColor::secondaryLabel(), 2))
    , chip_(settingsIconChip(systemImage, tint))
    , inlineControl_(inlineControl)
    , control_(control) {
    setObjectName(QStringLiteral("row.") + title);
    detail_->setText(detail);
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(8, 8, 8, 8);
    line->setSpacing(8);
    line->addWidget(chip_, 0, Qt::AlignVCenter);
    line->addLayout(settingsTextColumn(title_, detail_), 1);
    line->addSpacing(8);
    if (control_)
        line->addWidget(control_, 0, Qt::AlignVCenter);
}

QString SettingsControlShell::title() const {
    return title_->text();
}

QString SettingsControlShell::detail() const {
    return detail_->text();
}

void SettingsControlShell::setDetail(const QString& detail) {
    detail_->setText(detail);
}

void SettingsControlShell::setIcon(const std::string& systemImage, const QColor& tint) {
    chip_->setSymbol(systemImage, tint);
}

SettingsSwitch::SettingsSwitch(Binding<bool> isOn, QWidget* parent)
    : QAbstractButton(parent)
    , isOn_(std::move(isOn))
    , visual_(new SwitchVisual(isOn_.get(), this)) {
    setFocusPolicy(Qt::StrongFocus);
    visual_->setAttribute(Qt::WA_TransparentForMouseEvents);
    visual_->resize(visual_->sizeHint());
    setFixedSize(sizeHint());
    connect(this, &QAbstractButton::clicked, this, [this] {
        isOn_.set(!isOn_.get());
        refresh();
    });
}

void SettingsSwitch::refresh() {
    visual_->setOn(isOn_.get());
    setAccessibleDescription(visual_->isOn() ? QStringLiteral("On") : QStringLiteral("Off"));
}

bool SettingsSwitch::shownOn() const {
    return visual_->isOn();
}

QSize SettingsSwitch::sizeHint() const {
    return {SwitchVisual::trackWidth, SwitchVisual::trackHeight};
}

void SettingsSwitch::paintEvent(QPaintEvent*) {
    // The switch draws itself; the button only takes the click.
}

SettingsToggleRow::SettingsToggleRow(const QString& title, const QString& detail,
                                     const std::string& systemImage, const QColor& tint, Binding<bool> isOn,
                                     QWidget* parent)
    : SettingsControlShell(title, detail, systemImage, tint, true, new SettingsSwitch(std::move(isOn)),
                           parent)
    , toggle_(static_cast<SettingsSwitch*>(control())) {
    toggle_->setAccessibleName(title);
    refresh();
}

void SettingsToggleRow::refresh() {
    toggle_->refresh();
}

SettingsControlRow::SettingsControlRow(const QString& title, const QString& detail,
                                       const std::string& systemImage, const QColor& tint, QWidget* control,
                                       QWidget* parent)
    : SettingsControlShell(title, detail, systemImage, tint, false, control, parent) {
    if (control && control->accessibleName().isEmpty())
        control->setAccessibleName(title);
}

SettingsChoiceRow::SettingsChoiceRow(const QString& title, const QString& detail,
                                     const std::string& systemImage, const QColor& tint, QWidget* control,
                                     QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, rowCornerRadius, withOpacity(tint, rowTintOpacity), false,
                        parent)
    , control_(control) {
    setObjectName(QStringLiteral("row.") + title);
    auto* detailLabel = new ClampedLabel(detailFont(), SystemColor::secondaryLabel(), unlimitedLines);
    detailLabel->setText(detail);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(settingsIconChip(systemImage, tint), 0, Qt::AlignVCenter);
    header->addLayout(settingsTextColumn(settingsRowTitle(title), detailLabel), 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(4);
    column->addLayout(header);
    if (control_) {
        if (control_->accessibleName().isEmpty())
            control_->setAccessibleName(title);
        column->addWidget(control_);
    }
}

SliderRow::SliderRow(const QString& title, Binding<double> value, SliderGrid grid, std::string suffix,
                     QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, rowCornerRadius, std::nullopt, false, parent)
    , value_(std::move(value))
    , grid_(grid)
    , suffix_(std::move(suffix))
    , valueLabel_(new QLabel)
    , slider_(new QSlider(Qt::Horizontal)) {
    setObjectName(QStringLiteral("slider.") + title);
    QFont digits = zorviControl();
    digits.setStyleHint(QFont::Monospace);
    valueLabel_->setFont(digits);
    valueLabel_->setTextFormat(Qt::PlainText);
    QPalette palette = valueLabel_->palette();
    palette.setColor(QPalette::WindowText, SystemColor::secondaryLabel());
    valueLabel_->setPalette(palette);

    slider_->setRange(0, grid_.lastPosition());
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    slider_->setAccessibleName(title);
    zorviWheelOnlyWithFocus(*slider_);
    // Only the user's own actions (drag, keys, wheel, a click on the groove) reach the binding; the
    // slider's value changes that refresh() makes do not.
    connect(slider_, &QAbstractSlider::actionTriggered, this, [this](int) { userMoved(); });
    connect(slider_, &QAbstractSlider::sliderReleased, this, [this] { refresh(); });

    auto* header = new QHBoxLayout;
    header->addWidget(settingsRowTitle(title));
    header->addStretch(1);
    header->addWidget(valueLabel_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(4);
    column->addLayout(header);
    column->addWidget(slider_);
    refresh();
}

// During an action the slider's position has already moved and its value not yet: the position is
// the user's choice.
void SliderRow::userMoved() {
    const double chosen = grid_.value(slider_->sliderPosition());
    if (chosen != value_.get())
        value_.set(chosen);
    valueLabel_->setText(QString::fromStdString(sliderValueText(value_.get(), suffix_)));
}

void SliderRow::refresh() {
    const double value = value_.get();
    valueLabel_->setText(QString::fromStdString(sliderValueText(value, suffix_)));
    if (slider_->isSliderDown())
        return; // the user's drag owns the position
    const QSignalBlocker blocker(slider_);
    slider_->setValue(grid_.position(value));
}

QString SliderRow::valueText() const {
    return valueLabel_->text();
}

TrustNote::TrustNote(const std::string& systemImage, const QString& title, const QString& detail,
                     QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, rowCornerRadius, std::nullopt, false, parent) {
    setObjectName(QStringLiteral("trust.") + title);
    auto* icon = new SymbolTile(systemImage, 26, 13, true);
    icon->setColour(Theme::success());
    auto* detailLabel = new ClampedLabel(detailFont(), SystemColor::secondaryLabel(), unlimitedLines);
    detailLabel->setText(detail);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(8);
    column->addWidget(icon, 0, Qt::AlignLeft);
    column->addLayout(settingsTextColumn(settingsRowTitle(title), detailLabel));
    column->addStretch(1);
    setMinimumHeight(100);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

LaunchAtLoginNotice::LaunchAtLoginNotice(const QString& message, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, 8, Theme::warning(), false, parent)
    , message_(
          new ClampedLabel(zorviFont(10, QFont::Medium), SystemColor::secondaryLabel(), unlimitedLines)) {
    setObjectName(QStringLiteral("notice"));
    message_->setText(message);
    auto* triangle = new SymbolTile("exclamationmark.triangle.fill", 14, 11, false);
    triangle->setColour(Theme::warning());
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(8, 4, 8, 4);
    line->setSpacing(4);
    line->addWidget(triangle, 0, Qt::AlignTop);
    line->addWidget(message_, 1);
}

QString LaunchAtLoginNotice::message() const {
    return message_->text();
}

void LaunchAtLoginNotice::setMessage(const QString& message) {
    message_->setText(message);
}
