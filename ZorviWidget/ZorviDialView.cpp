#include "ZorviDialView.h"

#include "Foundation/HostName.h"
#include "ZorviSymbols.h"
#include "ZorviWidgetStyle.h"
#include "ZorviWidgetText.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cctype>

namespace {

constexpr double stackSpacing = 5;
// The arc starts at 8 % of the circle and may cover 84 % of it; the whole figure is turned 126° so the
// gap sits low on the left.
constexpr double trimStart = 0.08;
constexpr double trimLength = 0.84;
constexpr double rotationDegrees = 126;

// Progress of a present, fresh snapshot by status: locked, unlocked, locking, unknown, absent.
constexpr std::array<double, 5> statusProgress{1.0, 0.54, 0.74, 0.28, 0.28};

constexpr std::array<const char*, 3> signalSymbols{"face.smiling", "applewatch", "cursorarrow.motionlines"};

QFont wordFont(const ZorviDialView::Metrics& m) {
    return ZorviWidgetText::systemFont(m.wordSize, QFont::Bold);
}

} // namespace

ZorviDialView::Metrics ZorviDialView::metrics(double s) {
    return Metrics{
        std::max(s * 0.074, 6.0),
        s * 0.7,
        s * 0.62,
        s * 0.18,
        s * 0.13,
        std::max(s * 0.032, 4.0),
        std::max(s * 0.052, 8.0),
        std::max(s * 0.112, 18.0),
    };
}

double ZorviDialView::progress() const {
    if (!status)
        return 0.28;
    if (status->isStale())
        return 0.34;
    return statusProgress[status->status ? size_t(*status->status) : 4];
}

std::string ZorviDialView::word() const {
    return status ? status->statusLine() : "No status";
}

std::string ZorviDialView::accessibilityLabel() const {
    if (!status)
        return "Computer status unknown";
    std::string line = status->statusLine();
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return status->deviceName.value_or(unnamedComputer) + " " + line;
}

std::array<bool, 3> ZorviDialView::activeSignals() const {
    if (!status)
        return {false, false, false};
    return {status->facePresent.value_or(false), status->companionPresent.value_or(false),
            status->inputIdleSeconds && *status->inputIdleSeconds < 12.0};
}

ZorviDialView::Layout ZorviDialView::layout(QPointF origin) const {
    const Metrics m = metrics(size);
    Layout result;
    result.square = QRectF(origin, QSizeF(size, size));
    const QPointF centre = result.square.center();
    const double wordHeight = QFontMetricsF(wordFont(m)).height();
    double height = m.symbolSize + stackSpacing + wordHeight;
    if (showsSignals)
        height += stackSpacing + m.dotSquare;
    double y = centre.y() - height / 2;
    result.symbolBox = QRectF(centre.x() - m.stackWidth / 2, y, m.stackWidth, m.symbolSize);
    y += m.symbolSize + stackSpacing;
    result.wordBox = QRectF(centre.x() - m.stackWidth / 2, y, m.stackWidth, wordHeight);
    y += wordHeight + stackSpacing;
    if (showsSignals) {
        double x = centre.x() - (3 * m.dotSquare + 2 * m.dotSpacing) / 2;
        for (QRectF& dot : result.dotSquares) {
            dot = QRectF(x, y, m.dotSquare, m.dotSquare);
            x += m.dotSquare + m.dotSpacing;
        }
    }
    return result;
}

void ZorviDialView::paint(QPainter& painter, QPointF origin) const {
    const Metrics m = metrics(size);
    const Layout parts = layout(origin);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintRing(painter, parts.square, m);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(Qt::white, 0.58));
    painter.drawEllipse(parts.square.center(), m.discDiameter / 2, m.discDiameter / 2);
    paintCentre(painter, parts, m);
    painter.restore();
}

// The ring and the arc share one circle whose stroke is centred on the square's inscribed circle.
void ZorviDialView::paintRing(QPainter& painter, const QRectF& square, const Metrics& m) const {
    QPen ring(withOpacity(ZorviWidgetStyle::line(), 0.72), m.ringWidth, Qt::SolidLine, Qt::FlatCap,
              Qt::MiterJoin);
    ring.setMiterLimit(10);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(square);

    QPen arc(ZorviWidgetStyle::statusColor(status), m.ringWidth, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    arc.setMiterLimit(10);
    painter.setPen(arc);
    // Qt counts angles counter-clockwise in sixteenths of a degree; the arc runs clockwise.
    const double startDegrees = trimStart * 360 + rotationDegrees;
    const double spanDegrees = trimLength * progress() * 360;
    painter.drawArc(square, int(std::lround(-startDegrees * 16)), int(std::lround(-spanDegrees * 16)));
}

void ZorviDialView::paintCentre(QPainter& painter, const Layout& parts, const Metrics& m) const {
    const QColor& colour = ZorviWidgetStyle::statusColor(status);
    ZorviSymbols::draw(painter, ZorviWidgetStyle::statusIcon(status), parts.symbolBox, colour);

    const auto fitted = ZorviWidgetText::fitLine(QString::fromStdString(word()), wordFont(m), m.stackWidth);
    painter.setFont(fitted.font);
    painter.setPen(ZorviWidgetStyle::ink());
    painter.drawText(parts.wordBox, Qt::AlignCenter, fitted.lines.value(0));

    if (!showsSignals)
        return;
    const auto active = activeSignals();
    for (size_t i = 0; i < parts.dotSquares.size(); ++i)
        paintSignalDot(painter, parts.dotSquares[i], active[i], signalSymbols[i], m);
}

void ZorviDialView::paintSignalDot(QPainter& painter, const QRectF& square, bool active,
                                   const char* systemImage, const Metrics& m) const {
    painter.setPen(Qt::NoPen);
    painter.setBrush(active ? withOpacity(ZorviWidgetStyle::teal(), 0.16)
                            : withOpacity(ZorviWidgetStyle::line(), 0.4));
    painter.drawEllipse(square);
    const QColor symbolColour =
        active ? ZorviWidgetStyle::tealDark() : withOpacity(ZorviWidgetStyle::muted(), 0.58);
    const QRectF symbolBox(square.center() - QPointF(m.dotSymbolSize / 2, m.dotSymbolSize / 2),
                           QSizeF(m.dotSymbolSize, m.dotSymbolSize));
    ZorviSymbols::draw(painter, systemImage, symbolBox, symbolColour);
}
