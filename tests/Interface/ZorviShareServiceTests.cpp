#include "Support/TemporaryHome.h"
#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/GdmBanner/GdmBanner.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Every address is a placeholder under the reserved .example domain, of the kind the links need.
TEST(ZorviShareService, AddressesOfTheRightKinds) {
    EXPECT_EQ(ZorviShareService::storeURL().scheme(), "https");
    EXPECT_EQ(ZorviShareService::storeURL().query(), "mt=12");
    EXPECT_EQ(ZorviShareService::storeDeepLink().scheme(), "macappstore");
    EXPECT_TRUE(ZorviShareService::storeDeepLink().path().startsWith("/app/id"));
    EXPECT_EQ(ZorviShareService::storeReviewURL().query(), "action=write-review");
    EXPECT_EQ(ZorviShareService::sharePageURL().path(), "/share");
    for (const QUrl* url : {&ZorviShareService::storeURL(), &ZorviShareService::storeDeepLink(),
                            &ZorviShareService::sharePageURL()})
        EXPECT_TRUE(url->host().endsWith(".example")) << url->toString().toStdString();
    EXPECT_EQ(GdmBanner::signatureText,
              "This computer locks itself \u00B7 " + ZorviShareService::sharePageURL().host().toStdString())
        << "the lock screen names the links' site";
}

TEST(ZorviShareService, TheStoreApplicationOnlyWhenAHandlerOfItsSchemeIsInstalled) {
    struct Row {
        const char* name;
        const char* mimeapps; // written to $XDG_CONFIG_HOME/mimeapps.list; nothing: no file
        bool storeOpens;
        std::vector<std::string> expectedOpens;
        bool result; // the last opener's
    };
    const std::string review = ZorviShareService::storeReviewURL().toString().toStdString();
    const std::string web = ZorviShareService::storeURL().toString().toStdString();
    const Row rows[] = {
        {"no association file", nullptr, true, {web}, true},
        {"a handler",
         "[Default Applications]\nx-scheme-handler/macappstore=store.desktop\n",
         true,
         {review},
         true},
        {"an added association",
         "[Added Associations]\nx-scheme-handler/macappstore=store.desktop;\n",
         true,
         {review},
         true},
        {"an empty association",
         "[Default Applications]\nx-scheme-handler/macappstore=\n",
         true,
         {web},
         true},
        {"another scheme's handler",
         "[Default Applications]\nx-scheme-handler/https=web.desktop\n",
         true,
         {web},
         true},
        {"a handler that fails",
         "[Default Applications]\nx-scheme-handler/macappstore=store.desktop\n",
         false,
         {review, web},
         true},
    };
    for (const auto& r : rows) {
        TemporaryHome home;
        if (r.mimeapps) {
            std::filesystem::create_directories(home.path() / ".config");
            std::ofstream(home.path() / ".config/mimeapps.list") << r.mimeapps;
        }
        std::vector<std::string> opened;
        const bool result = ZorviShareService::openStoreReview([&](const QUrl& url) {
            opened.push_back(url.toString().toStdString());
            return url.scheme() == "https" || r.storeOpens;
        });
        EXPECT_EQ(opened, r.expectedOpens) << r.name;
        EXPECT_EQ(result, r.result) << r.name;
    }
}

} // namespace
