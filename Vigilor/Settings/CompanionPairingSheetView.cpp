#include "CompanionPairingSheetView.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace {

void setTextColour(QLabel* label, const QColor& colour) {
    if (label->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QWidget* headerSection(QLabel* hint) {
    auto* header = new QWidget;
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(plainLabel("Pair your iPhone", zorviDisplay(), SystemColor::primaryLabel()));
    hint->setWordWrap(true);
    column->addWidget(hint);
    return header;
}

} // namespace

CompanionPairingSheetView::CompanionPairingSheetView(Binding<bool> isPresented, QWidget* parent)
    : QWidget(parent)
    , isPresented_(std::move(isPresented))
    , hint_(plainLabel("", zorviCaption(), SystemColor::secondaryLabel()))
    , code_(new QLabel)
    , stateMark_(new SymbolTile("wifi", 18, 14, false))
    , stateText_(plainLabel("", zorviCaption(), SystemColor::secondaryLabel()))
    , error_(new ClampedLabel(zorviCaption(), Theme::warning(), 4))
    , cancelButton_(new ZorviGlassButton(QStringLiteral("Cancel")))
    , pulse_(new QVariantAnimation(this)) {
    setObjectName(QStringLiteral("pairingSheet"));
    auto* backdrop = new ZorviBackdrop(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backdrop);

    // The code: six plain monospaced digits, or an em dash while there is none.
    auto* codeCard = zorviGlassPanel(16);
    auto* codeColumn = new QVBoxLayout(codeCard);
    codeColumn->setContentsMargins(12, 12, 12, 12);
    codeColumn->setSpacing(12);
    codeColumn->addWidget(
        plainLabel("Enter this code on your iPhone", zorviCaption(), SystemColor::secondaryLabel()), 0,
        Qt::AlignHCenter);
    QFont codeFont = zorviDisplay();
    codeFont.setStyleHint(QFont::Monospace);
    codeFont.setFamily(QStringLiteral("monospace"));
    codeFont.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    code_->setFont(codeFont);
    code_->setTextFormat(Qt::PlainText);
    code_->setObjectName(QStringLiteral("code"));
    codeColumn->addWidget(code_, 0, Qt::AlignHCenter);

    auto* stateCard = zorviGlassPanel(12);
    auto* stateTexts = new QVBoxLayout;
    stateTexts->setSpacing(2);
    stateTexts->addWidget(stateText_);
    stateTexts->addWidget(error_);
    auto* stateRow = new QHBoxLayout(stateCard);
    stateRow->setContentsMargins(12, 12, 12, 12);
    stateRow->setSpacing(8);
    stateRow->addWidget(stateMark_, 0, Qt::AlignVCenter);
    stateRow->addLayout(stateTexts, 1);

    cancelButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { isPresented_.set(false); });

    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addWidget(headerSection(hint_));
    column->addWidget(codeCard);
    column->addWidget(stateCard);
    column->addWidget(cancelButton_);
    column->addStretch(1);

    pulse_->setDuration(1000);
    pulse_->setKeyValueAt(0, 1.0);
    pulse_->setKeyValueAt(0.5, 0.35);
    pulse_->setKeyValueAt(1, 1.0);
    pulse_->setLoopCount(-1);
    connect(pulse_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        stateMark_->setColour(withOpacity(Theme::success(), value.toDouble()));
    });
    update({}, PairingSheetState::advertising, {});
}

void CompanionPairingSheetView::update(const std::string& code, PairingSheetState state,
                                       const std::string& error) {
    // Unannounced, the phone cannot find the computer by itself.
    hint_->setText(state == PairingSheetState::notAnnounced
                       ? QStringLiteral("Your iPhone cannot find this computer until Zorvi is announced")
                       : QStringLiteral("Open Zorvi on your iPhone \u2014 it will find this computer"));
    code_->setText(code.empty() ? QStringLiteral("\u2014") : qs(code));
    setTextColour(code_, code.empty() ? SystemColor::secondaryLabel() : SystemColor::primaryLabel());

    switch (state) {
    case PairingSheetState::advertising:
        stateMark_->setSymbol("wifi", Theme::success());
        stateText_->setText(QStringLiteral("Advertising\u2026"));
        break;
    case PairingSheetState::notAnnounced:
        stateMark_->setSymbol("wifi.exclamationmark", Theme::warning());
        stateText_->setText(QStringLiteral("Not announced on the local network"));
        break;
    case PairingSheetState::paired:
        stateMark_->setSymbol("checkmark.circle.fill", Theme::success());
        stateText_->setText(QStringLiteral("Paired \u2713"));
        break;
    case PairingSheetState::timedOut:
        stateMark_->setSymbol("clock.badge.xmark.fill", Theme::warning());
        stateText_->setText(QStringLiteral("Timed out"));
        break;
    }
    const bool showsError =
        (state == PairingSheetState::timedOut || state == PairingSheetState::notAnnounced) && !error.empty();
    error_->setText(showsError ? qs(error) : QString());
    error_->setVisible(showsError);
    cancelButton_->setText(state == PairingSheetState::paired ? QStringLiteral("Done")
                                                              : QStringLiteral("Cancel"));

    advertising_ = state == PairingSheetState::advertising;
    updatePulse();
}

void CompanionPairingSheetView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updatePulse();
}

void CompanionPairingSheetView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updatePulse();
}

void CompanionPairingSheetView::updatePulse() {
    const bool pulses = advertising_ && isVisible() && !ZorviAccessibility::shared().reduceMotion();
    if (pulses && pulse_->state() != QAbstractAnimation::Running) {
        pulse_->start();
    } else if (!pulses && pulse_->state() == QAbstractAnimation::Running) {
        pulse_->stop();
        if (advertising_)
            stateMark_->setColour(Theme::success());
    }
}

QString CompanionPairingSheetView::codeText() const {
    return code_->text();
}

QString CompanionPairingSheetView::stateText() const {
    return stateText_->text();
}

QString CompanionPairingSheetView::errorText() const {
    return error_->isVisibleTo(this) ? error_->text() : QString();
}
