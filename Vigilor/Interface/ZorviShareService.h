#pragma once

#include <QUrl>

#include <functional>

// The outside links the interface offers: the application's store listing on the web and the maker's
// share and trust pages. The hosts are written once, in ZorviShared/ZorviWebSite.h, the listing's
// identifier in ZorviShareService.cpp; until the product has pages of its own they are placeholders
// under the reserved .example domain.
namespace ZorviShareService {

const QUrl& storeURL();
const QUrl& sharePageURL();
// The trust documentation: what the product keeps on this computer and what it never uploads.
const QUrl& trustPageURL();

// How a link is handed to the desktop; tests pass their own.
using LinkOpener = std::function<bool(const QUrl&)>;
bool openWithDesktop(const QUrl& url);

} // namespace ZorviShareService
