#include "SettingsRowKit.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace {

constexpr int chevronBox = 14;

// "chevron.right", turned about its centre.
class Chevron : public QWidget {
public:
    Chevron() { setFixedSize(chevronBox, chevronBox); }
    double angle = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(QRectF(rect()).center());
        painter.rotate(angle);
        ZorviSymbols::draw(painter, "chevron.right", QRectF(-5.5, -5.5, 11, 11),
                           SystemColor::secondaryLabel());
    }
};

} // namespace

SettingsDisclosure::SettingsDisclosure(const QString& title, const QString& detail,
                                       const std::string& systemImage, const QColor& tint, QWidget* content,
                                       bool expanded, QWidget* parent)
    : QWidget(parent)
    , title_(title)
    , expanded_(expanded)
    , detail_(new ClampedLabel(zorviFont(11, QFont::Normal), SystemColor::secondaryLabel(), 99))
    , chevron_(new Chevron)
    , body_(new QWidget)
    , content_(content)
    , animation_(new QVariantAnimation(this)) {
    setObjectName(QStringLiteral("disclosure.") + title);
    detail_->setText(detail);
    auto* card = zorviGlassPanel(12, withOpacity(tint, 0.08));
    auto* line = new QHBoxLayout(card);
    line->setContentsMargins(8, 8, 8, 8);
    line->setSpacing(8);
    line->addWidget(settingsIconChip(systemImage, tint), 0, Qt::AlignVCenter);
    line->addLayout(settingsTextColumn(settingsRowTitle(title), detail_), 1);
    line->addSpacing(8);
    line->addWidget(chevron_, 0, Qt::AlignVCenter);
    header_ = new FaceButton(card);

    auto* bodyColumn = new QVBoxLayout(body_);
    bodyColumn->setContentsMargins(0, 0, 0, 0);
    bodyColumn->setSpacing(4);
    if (content_)
        bodyColumn->addWidget(content_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(header_);
    column->addWidget(body_);

    animation_->setDuration(animationMilliseconds);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double progress = value.toDouble(); // 0 collapsed, 1 expanded
        static_cast<Chevron*>(chevron_)->angle = 90 * progress;
        chevron_->update();
        body_->setMaximumHeight(int(body_->sizeHint().height() * progress));
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] { settle(); });
    connect(header_, &QAbstractButton::clicked, this, [this] { flip(); });
    settle();
}

void SettingsDisclosure::flip() {
    expanded_ = !expanded_;
    updateAccessibility();
    animation_->stop();
    if (ZorviAccessibility::shared().reduceMotion()) {
        settle();
        return;
    }
    body_->setVisible(true);
    animation_->setStartValue(expanded_ ? 0.0 : 1.0);
    animation_->setEndValue(expanded_ ? 1.0 : 0.0);
    animation_->start();
}

void SettingsDisclosure::setExpanded(bool expanded) {
    animation_->stop();
    expanded_ = expanded;
    settle();
}

// The resting look of the current state.
void SettingsDisclosure::settle() {
    static_cast<Chevron*>(chevron_)->angle = expanded_ ? 90 : 0;
    chevron_->update();
    body_->setMaximumHeight(QWIDGETSIZE_MAX);
    body_->setVisible(expanded_);
    updateAccessibility();
}

void SettingsDisclosure::updateAccessibility() {
    header_->setAccessibleName(
        QString::fromStdString(disclosureAccessibilityLabel(title_.toStdString(), expanded_)));
    header_->setAccessibleDescription(QString::fromStdString(disclosureAccessibilityHint(expanded_)));
}

void SettingsDisclosure::setDetail(const QString& detail) {
    detail_->setText(detail);
}

QString SettingsDisclosure::detail() const {
    return detail_->text();
}

double SettingsDisclosure::chevronAngle() const {
    return static_cast<const Chevron*>(chevron_)->angle;
}
