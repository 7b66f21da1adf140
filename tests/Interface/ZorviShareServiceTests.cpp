#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/GdmBanner/GdmBanner.h"

#include <gtest/gtest.h>

namespace {

// Every address is a placeholder under the reserved .example domain, of the kind the links need.
TEST(ZorviShareService, AddressesOfTheRightKinds) {
    EXPECT_EQ(ZorviShareService::storeURL().scheme(), "https");
    EXPECT_EQ(ZorviShareService::storeURL().query(), "mt=12");
    EXPECT_EQ(ZorviShareService::sharePageURL().path(), "/share");
    for (const QUrl* url : {&ZorviShareService::storeURL(), &ZorviShareService::sharePageURL()})
        EXPECT_TRUE(url->host().endsWith(".example")) << url->toString().toStdString();
    EXPECT_EQ(GdmBanner::signatureText,
              "This computer locks itself \u00B7 " + ZorviShareService::sharePageURL().host().toStdString())
        << "the lock screen names the links' site";
}

} // namespace
