#include "ZorviShareService.h"

#include "Foundation/AtomicFile.h"
#include "ZorviShared/ZorviWebSite.h"

#include <QDesktopServices>
#include <QStandardPaths>
#include <QTextStream>

namespace {

constexpr const char* storeScheme = "macappstore";
constexpr const char* storeCatalogueNumber = "6740000000";

QUrl siteURL(const char* scheme, const char* host, const QString& path, const char* query = nullptr) {
    QUrl url;
    url.setScheme(QString::fromLatin1(scheme));
    url.setHost(QString::fromLatin1(host));
    url.setPath(path);
    if (query)
        url.setQuery(QString::fromLatin1(query));
    return url;
}

QUrl makerPage(const char* path) {
    return siteURL("https", ZorviWebSite::makerHost, QString::fromLatin1(path));
}

QUrl storeAppPage(const char* query) {
    return siteURL(storeScheme, ZorviWebSite::storeHost,
                   QStringLiteral("/app/id") + QString::fromLatin1(storeCatalogueNumber), query);
}

// Whether one XDG association file names a handler for `mimeType` in one of its association groups.
// Read as every stored file is: never waiting on a named pipe, never held whole beyond any such list.
bool fileNamesHandler(const QString& path, const QString& mimeType) {
    constexpr uintmax_t largestAssociationFile = 4 << 20;
    const auto bytes = AtomicFile::read(path.toStdString(), largestAssociationFile);
    if (!bytes)
        return false;
    QString text = QString::fromStdString(*bytes);
    QTextStream lines(&text);
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
    return open(ZorviShareService::storeURL());
}

} // namespace

namespace ZorviShareService {

const QUrl& storeURL() {
    static const QUrl url =
        siteURL("https", ZorviWebSite::storeHost,
                QStringLiteral("/app/zorvi/id") + QString::fromLatin1(storeCatalogueNumber), "mt=12");
    return url;
}
const QUrl& storeDeepLink() {
    static const QUrl url = storeAppPage(nullptr);
    return url;
}
const QUrl& storeReviewURL() {
    static const QUrl url = storeAppPage("action=write-review");
    return url;
}
const QUrl& sharePageURL() {
    static const QUrl url = makerPage("/share");
    return url;
}

const QUrl& trustPageURL() {
    static const QUrl url = makerPage("/trust");
    return url;
}

const QUrl& downloadPageURL() {
    static const QUrl url = makerPage("/get");
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

bool openStoreListing(const LinkOpener& open) {
    return openStorePage(storeDeepLink(), open);
}

bool openStoreReview(const LinkOpener& open) {
    return openStorePage(storeReviewURL(), open);
}

} // namespace ZorviShareService
