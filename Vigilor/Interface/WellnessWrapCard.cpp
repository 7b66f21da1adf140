#include "WellnessWrapCard.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/DeskHealthView.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"
#include "ZorviShared/ZorviWebSite.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMenu>
#include <QPainterPath>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double margin = 40;
constexpr double spacing = 26;
constexpr double barStripHeight = 90;
constexpr int fileManagerTimeout = 10'000; // milliseconds; a file manager may be started for the call

// The card is drawn on its own light background whatever the desktop's appearance.
QColor primaryInk() {
    return QColor::fromRgbF(0, 0, 0, 0.85f);
}
QColor secondaryInk() {
    return QColor::fromRgbF(0, 0, 0, 0.5f);
}

QFont cardFont(int pixelSize, QFont::Weight weight) {
    return zorviFont(pixelSize, weight);
}

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& colour) {
    QPainterPath path;
    const double radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, colour);
}

// Draws `text` with its top at `top`; returns the line's height.
double line(QPainter& painter, const QString& text, const QFont& font, const QColor& colour,
            QPointF topLeft) {
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent()), text);
    return metrics.height();
}

double paintHeader(QPainter& painter, double y) {
    const QFont name = cardFont(26, QFont::Bold);
    QFont caption = cardFont(13, QFont::Black);
    caption.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    const double height = QFontMetricsF(name).height();
    ZorviSymbols::draw(painter, "eye.fill", QRectF(margin, y + (height - 24) / 2, 24, 24), Theme::success());
    line(painter, QStringLiteral("Zorvi"), name, primaryInk(), {margin + 24 + 8, y});
    const QFontMetricsF captionMetrics(caption);
    const QString desk = QStringLiteral("DESK HEALTH");
    const double x = WellnessWrapCard::cardSize.width() - margin - captionMetrics.horizontalAdvance(desk);
    line(painter, desk, caption, secondaryInk(), {x, y + (height - captionMetrics.height()) / 2});
    return height;
}

double paintScore(QPainter& painter, const WrapCardModel& m, double y) {
    const double heading = line(painter, QStringLiteral("This week"), cardFont(16, QFont::DemiBold),
                                secondaryInk(), {margin, y});
    const QFont number = cardFont(96, QFont::Bold);
    const QFont word = cardFont(22, QFont::DemiBold);
    const QFontMetricsF numberMetrics(number);
    const QString figure = QString::number(m.average);
    const double baseline = y + heading + 4 + numberMetrics.ascent();
    painter.setPen(m.bandColour);
    painter.setFont(number);
    painter.drawText(QPointF(margin, baseline), figure);
    painter.setFont(word);
    painter.drawText(QPointF(margin + numberMetrics.horizontalAdvance(figure) + 10, baseline),
                     QString::fromStdString(m.bandWord));
    return heading + 4 + numberMetrics.height();
}

void paintBars(QPainter& painter, const WrapCardModel& m, double y) {
    if (m.bars.empty())
        return;
    const double inner = WellnessWrapCard::cardSize.width() - 2 * margin;
    const double n = double(m.bars.size());
    const double width = (inner - 8 * (n - 1)) / n;
    for (size_t i = 0; i < m.bars.size(); ++i) {
        const WrapCardBar& bar = m.bars[i];
        const QRectF box(margin + double(i) * (width + 8), y + barStripHeight - bar.height, width,
                         bar.height);
        fillCapsule(painter, box,
                    bar.hasData ? withOpacity(m.bandColour, 0.85) : withOpacity(secondaryInk(), 0.18));
    }
}

void paintStats(QPainter& painter, const WrapCardModel& m, double y) {
    struct Stat {
        int64_t value;
        const char* unit;
        const char* systemImage;
        QColor tint;
    };
    const Stat stats[] = {{m.streak, "day streak", "flame.fill", Theme::warning()},
                          {m.weekWalks, "walks", "figure.walk", Theme::notice()},
                          {m.weekEyeRests, "eye rests", "eye", Theme::success()}};
    const QFont value = cardFont(30, QFont::Bold), unit = cardFont(13, QFont::Medium);
    double x = margin;
    for (const Stat& s : stats) {
        ZorviSymbols::draw(painter, s.systemImage, QRectF(x, y, 20, 20), s.tint);
        const QString number = QString::number(s.value);
        const double valueHeight = line(painter, number, value, primaryInk(), {x, y + 20 + 4});
        line(painter, QString::fromLatin1(s.unit), unit, secondaryInk(), {x, y + 20 + 4 + valueHeight + 4});
        const double width = std::max({20.0, QFontMetricsF(value).horizontalAdvance(number),
                                       QFontMetricsF(unit).horizontalAdvance(QString::fromLatin1(s.unit))});
        x += width + 30;
    }
}

void paintFooter(QPainter& painter) {
    const QFont made = cardFont(15, QFont::DemiBold), address = cardFont(15, QFont::Bold);
    const double height = std::max(QFontMetricsF(made).height(), QFontMetricsF(address).height());
    const double y = WellnessWrapCard::cardSize.height() - margin - height;
    line(painter, QStringLiteral("Made with Zorvi"), made, secondaryInk(), {margin, y});
    const QString domain = QString::fromLatin1(ZorviWebSite::makerHost);
    const double x =
        WellnessWrapCard::cardSize.width() - margin - QFontMetricsF(address).horizontalAdvance(domain);
    line(painter, domain, address, Theme::success(), {x, y});
}

// The user's own folder: made with 0700, or an existing folder of the user's narrowed to 0700.
bool preparePrivateFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder.parent_path(), ignored);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        errno = EPERM;
        return false;
    }
    return (info.st_mode & 07777) == 0700 || ::chmod(folder.c_str(), 0700) == 0;
}

bool isUsersOwnFolder(const char* path) {
    struct stat info {};
    return path && *path && std::filesystem::path(path).is_absolute() && ::stat(path, &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

} // namespace

WrapCardModel wrapCardModel(const DeskHealthSummary& summary) {
    WrapCardModel model;
    model.average = summary.last7Average;
    const DeskHealthBand band = deskHealthBand(model.average);
    model.bandWord = std::string(title(band));
    model.bandColour = bandColour(band);
    const size_t count = std::min<size_t>(summary.history.size(), 7);
    for (auto day = summary.history.end() - std::ptrdiff_t(count); day != summary.history.end(); ++day) {
        model.bars.push_back(
            {day->day, day->hasData ? std::max(double(day->score) * 90 / 100, 10.0) : 6.0, day->hasData});
        model.weekWalks += day->walks;
        model.weekEyeRests += day->eyeRests;
    }
    model.streak = summary.streak.current;
    return model;
}

namespace WellnessWrapCard {

void paint(QPainter& painter, const WrapCardModel& model) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF card(QPointF(0, 0), QSizeF(cardSize));
    painter.fillRect(card, QColor::fromRgbF(0.98f, 0.98f, 0.98f));
    QLinearGradient wash(card.topLeft(), card.bottomRight());
    wash.setColorAt(0, Theme::zorviBackdropTeal());
    wash.setColorAt(1, Theme::zorviBackdropPeriwinkle());
    painter.fillRect(card, wash);

    double y = margin;
    y += paintHeader(painter, y) + spacing;
    y += paintScore(painter, model, y) + spacing;
    paintBars(painter, model, y);
    y += barStripHeight + spacing;
    paintStats(painter, model, y);
    paintFooter(painter);
    painter.restore();
}

QImage render(const DeskHealthSummary& summary) {
    QImage image(cardSize * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter, wrapCardModel(summary));
    return image;
}

std::filesystem::path folder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (isUsersOwnFolder(runtime))
        return std::filesystem::path(runtime) / "zorvi";
    return Paths::cacheHome() / "zorvi";
}

std::optional<std::filesystem::path> write(const QImage& image, const std::filesystem::path& into) {
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    const std::filesystem::path file = into / fileName;
    if (!preparePrivateFolder(into) ||
        !AtomicFile::write(file, std::string_view(png.constData(), size_t(png.size())), 0600)) {
        ActivityLog::diagLog("[WellnessWrapCard] Could not write " + file.string() + ": " +
                                std::strerror(errno));
        return std::nullopt;
    }
    return file;
}

void showInFolder(const std::filesystem::path& file, QDBusConnection bus,
                  ZorviShareService::LinkOpener open) {
    const QUrl folderUrl = QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string()));
    if (!bus.isConnected()) {
        open(folderUrl);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, fileManagerTimeout));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, folderUrl, open = std::move(open)] {
                         if (watcher->isError())
                             open(folderUrl);
                         watcher->deleteLater();
                     });
}

QMenu* offer(const std::filesystem::path& file, const QImage& image, QWidget& window) {
    auto* menu = new QMenu(&window);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Copy Image"), menu,
                    [image] { QGuiApplication::clipboard()->setImage(image); });
    menu->addAction(QStringLiteral("Open"), menu, [file] {
        ZorviShareService::openWithDesktop(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    });
    menu->addAction(QStringLiteral("Show in Folder"), menu, [file] { showInFolder(file); });
    // Where the pointer pressed the button, else at the bottom of the window.
    const QPoint pointer = QCursor::pos();
    const QRect frame = window.frameGeometry();
    menu->popup(frame.contains(pointer) ? pointer
                                        : window.mapToGlobal(QPoint(window.width() / 2, window.height())));
    return menu;
}

void share(const DeskHealthSummary& summary) {
    const QImage image = render(summary);
    const auto file = write(image);
    if (!file)
        return;
    if (QWidget* window = QApplication::activeWindow())
        offer(*file, image, *window);
    else
        showInFolder(*file);
}

} // namespace WellnessWrapCard
