#include "ZorviShareService.h"

#include <QDesktopServices>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

namespace {

// The product's placeholders (RFC 2606 reserves .example): replace them when the pages exist.
constexpr const char* storeWebListing = "https://apps.zorvi.example/app/zorvi/id6740000000?mt=12";
constexpr const char* storeScheme = "macappstore";
constexpr const char* storeAppPage = "macappstore://apps.zorvi.example/app/id6740000000";
constexpr const char* sharePage = "https://zorvi.example/share";
constexpr const char* trustPage = "https://zorvi.example/trust";

QUrl urlWithQuery(const char* text, const char* query) {
    QUrl url(QString::fromLatin1(text));
    if (query)
        url.setQuery(QString::fromLatin1(query));
    return url;
}

// Whether one XDG association file names a handler for `mimeType` in one of its association groups.
bool fileNamesHandler(const QString& path, const QString& mimeType) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream lines(&file);
    bool inAssociations = false;
    while (!lines.atEnd()) {
        const QString line = lines.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inAssociations = line == QLatin1String("[Default Applications]") ||
                             line == QLatin1String("[Added Associations]") ||
                             line == QLatin1String("[MIME Cache]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inAssociations && equals > 0 && line.left(equals).trimmed() == mimeType &&
            !line.mid(equals + 1).trimmed().remove(QLatin1Char(';')).isEmpty())
            return true;
    }
    return false;
}

bool openStorePage(const QUrl& first, const ZorviShareService::LinkOpener& open) {
    if (ZorviShareService::hasSchemeHandler(storeScheme) && open(first))
        return true;
    return open(ZorviShareService::appStoreURL());
}

} // namespace

namespace ZorviShareService {

const QUrl& appStoreURL() {
    static const QUrl url = urlWithQuery(storeWebListing, nullptr);
    return url;
}
const QUrl& appStoreDeepLink() {
    static const QUrl url = urlWithQuery(storeAppPage, nullptr);
    return url;
}
const QUrl& appStoreReviewURL() {
    static const QUrl url = urlWithQuery(storeAppPage, "action=write-review");
    return url;
}
const QUrl& sharePageURL() {
    static const QUrl url = urlWithQuery(sharePage, nullptr);
    return url;
}

const QUrl& trustPageURL() {
    static const QUrl url = urlWithQuery(trustPage, nullptr);
    return url;
}

bool openWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool hasSchemeHandler(const std::string& scheme) {
    const QString mimeType = QStringLiteral("x-scheme-handler/") + QString::fromStdString(scheme);
    QStringList files;
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        files << folder + QStringLiteral("/mimeapps.list");
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        files << folder + QStringLiteral("/mimeapps.list") << folder + QStringLiteral("/mimeinfo.cache");
    for (const QString& file : files)
        if (fileNamesHandler(file, mimeType))
            return true;
    return false;
}

bool openAppStoreListing(const LinkOpener& open) {
    return openStorePage(appStoreDeepLink(), open);
}

bool openAppStoreReview(const LinkOpener& open) {
    return openStorePage(appStoreReviewURL(), open);
}

} // namespace ZorviShareService
