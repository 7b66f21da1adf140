#include "ZorviShareService.h"

#include "ZorviShared/ZorviWebSite.h"

#include <QDesktopServices>

namespace {

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

} // namespace

namespace ZorviShareService {

const QUrl& storeURL() {
    static const QUrl url =
        siteURL("https", ZorviWebSite::storeHost,
                QStringLiteral("/app/zorvi/id") + QString::fromLatin1(storeCatalogueNumber), "mt=12");
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

bool openWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

} // namespace ZorviShareService
