#pragma once

#include "Platform/Vision.h"

#include <memory>
#include <string>

// The one entry point of the vision module (vigilor-vision.so), found by name with dlsym. It makes
// the backend, loading its models, or says why it could not; no exception leaves the module.
extern "C" {
typedef void MakeVisionAnalyzerFunction(std::unique_ptr<VisionAnalyzer>& analyzer, std::string& error);
}
inline constexpr const char* makeVisionAnalyzerSymbol = "vigilorMakeVisionAnalyzer";
