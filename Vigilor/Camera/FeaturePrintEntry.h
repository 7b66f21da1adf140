#pragma once

#include "Foundation/Json.h"

#include <string>

// One enrolled face print as the enrolment file holds it.
struct FeaturePrintEntry {
    double quality = 0;      // how well the face was framed when it was captured, 0...1
    std::string captured_at; // ISO 8601, whole seconds
    std::string data_base64; // base64 of the print's stored form (FeaturePrint::archived)

    // The keys in the order "quality", "captured_at", "data_base64".
    Json toJSON() const;
    // All three keys are required, with a number and two strings; other keys are ignored. Throws
    // JsonDecodingError naming the first key that is missing or of another type.
    static FeaturePrintEntry fromJSON(const Json& object);
};
