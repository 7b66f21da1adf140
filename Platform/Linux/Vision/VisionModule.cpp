#include "VisionModule.h"

#include "DlibVisionAnalyzer.h"

extern "C" __attribute__((visibility("default"))) void
vigilorMakeVisionAnalyzer(std::unique_ptr<VisionAnalyzer>& analyzer, std::string& error) {
    try {
        analyzer = std::make_unique<DlibVisionAnalyzer>();
    } catch (const std::exception& failure) {
        error = failure.what();
    }
}
