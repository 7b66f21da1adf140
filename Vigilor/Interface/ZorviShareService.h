#pragma once

#include <QUrl>

#include <functional>
#include <string>

// The outside links the interface offers: the application's store listing on the web, the same page
// in a store application (reached through its own URL scheme), the store's review form, and the maker's
// share page. The hosts are written once, in ZorviShared/ZorviWebSite.h, the identifiers in
// ZorviShareService.cpp; until the product has pages of its own they are placeholders under the
// reserved .example domain.
namespace ZorviShareService {

const QUrl& storeURL();
const QUrl& storeDeepLink();
const QUrl& storeReviewURL();
const QUrl& sharePageURL();
// The trust documentation: what the product keeps on this computer and what it never uploads.
const QUrl& trustPageURL();
// The download page of the build that locks the session.
const QUrl& downloadPageURL();

// How a link is handed to the desktop; tests pass their own.
using LinkOpener = std::function<bool(const QUrl&)>;
bool openWithDesktop(const QUrl& url);

// Whether some installed application declares itself the handler of `scheme` (x-scheme-handler/...)
// in the XDG mimeapps.list files or the applications' mimeinfo.cache. The desktop reports success
// for a link it cannot open, so the store links ask this first.
bool hasSchemeHandler(const std::string& scheme);

// Open the store application's page, or its review form, when a handler of its scheme exists and
// opens it; otherwise the web listing. The result is the last opener's.
bool openStoreListing(const LinkOpener& open = openWithDesktop);
bool openStoreReview(const LinkOpener& open = openWithDesktop);

} // namespace ZorviShareService
