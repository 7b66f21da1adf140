#include "ClampedLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double minimumScaleFactor = 0.85;

QFont scaled(QFont font, double factor) {
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * factor))));
    else
        font.setPointSizeF(font.pointSizeF() * factor);
    return font;
}

} // namespace

QStringList clampedLines(const QString& text, const QFont& font, double width, int maxLines) {
    const QFontMetricsF metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        // The last line allowed takes the rest of the text, cut with an ellipsis when it does not fit.
        const bool last = int(lines.size()) == maxLines - 1;
        const QString part =
            last ? text.mid(line.textStart()) : text.mid(line.textStart(), line.textLength());
        lines << metrics.elidedText(part.trimmed(), Qt::ElideRight, width);
        if (last)
            break;
    }
    layout.endLayout();
    return lines;
}

QVBoxLayout* textStack(int spacing, std::initializer_list<QWidget*> texts) {
    auto* stack = new QVBoxLayout;
    stack->setSpacing(spacing);
    stack->addStretch(1);
    for (QWidget* text : texts)
        stack->addWidget(text);
    stack->addStretch(1);
    return stack;
}

ClampedLabel::ClampedLabel(QFont font, QColor colour, int maxLines, bool shrinks, QWidget* parent)
    : QWidget(parent)
    , font_(std::move(font))
    , colour_(std::move(colour))
    , maxLines_(maxLines)
    , shrinks_(shrinks) {
    // Not a fixed height: layouts cap a fixed item at its size hint, which knows only one width.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ClampedLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    measures_.fill(std::nullopt);
    setAccessibleName(text);
    updateGeometry();
    update();
}

void ClampedLabel::setColour(const QColor& colour) {
    if (colour == colour_)
        return;
    colour_ = colour;
    update();
}

void ClampedLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

// A one-line text that does not fit first shrinks, then loses its end.
QFont ClampedLabel::shownFont() const {
    if (!shrinks_ || maxLines_ != 1 ||
        QFontMetricsF(font_).horizontalAdvance(text_) <= contentsRect().width())
        return font_;
    return scaled(font_, minimumScaleFactor);
}

QStringList ClampedLabel::shownLines() const {
    return clampedLines(text_, shownFont(), contentsRect().width(), maxLines_);
}

QSize ClampedLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    const int natural = int(std::ceil(QFontMetricsF(font_).horizontalAdvance(text_))) + m.left() + m.right();
    return {natural, heightForWidth(natural)};
}

QSize ClampedLabel::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    return {m.left() + m.right(), int(std::ceil(QFontMetricsF(font_).height())) + m.top() + m.bottom()};
}

int ClampedLabel::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    const int lines = std::max(1, lineCount(width - m.left() - m.right()));
    return int(std::ceil(QFontMetricsF(font_).height() * double(lines))) + m.top() + m.bottom();
}

int ClampedLabel::lineCount(int innerWidth) const {
    for (const auto& measure : measures_)
        if (measure && measure->innerWidth == innerWidth)
            return measure->lines;
    const int lines = int(clampedLines(text_, font_, innerWidth, maxLines_).size());
    measures_[nextMeasure_] = Measure{innerWidth, lines};
    nextMeasure_ = (nextMeasure_ + 1) % measures_.size();
    return lines;
}

void ClampedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFont font = shownFont();
    painter.setFont(font);
    painter.setPen(colour_);
    const double lineHeight = QFontMetricsF(font_).height();
    const double shownHeight = QFontMetricsF(font).height();
    const QRectF inner = contentsRect();
    double y = inner.top();
    for (const QString& line : shownLines()) {
        // A shrunk line keeps the full line's height, centred in it.
        painter.drawText(QRectF(inner.left(), y + (lineHeight - shownHeight) / 2, inner.width(), shownHeight),
                         int(alignment_ | Qt::AlignVCenter), line);
        y += lineHeight;
    }
}
