#include "FaceIdentityError.h"

namespace {

struct CaseText {
    const char* name;
    const char* description; // the prefix, for a case with a payload
};

CaseText textOf(FaceIdentityError::Case kind) {
    using Case = FaceIdentityError::Case;
    switch (kind) {
    case Case::enrollmentInvalid:
        return {"enrollmentInvalid", "Invalid enrollment: "};
    case Case::featurePrintEncodingFailed:
        return {"featurePrintEncodingFailed", "Failed to encode face feature: "};
    case Case::featurePrintDecodingFailed:
        return {"featurePrintDecodingFailed", "Failed to decode enrollment: "};
    case Case::captureProcessFailed:
        return {"captureProcessFailed", "Camera capture failed with exit code "};
    case Case::matchProcessFailed:
        return {"matchProcessFailed", "Face matching failed with exit code "};
    case Case::matchParsingFailed:
        return {"matchParsingFailed", "Failed to parse match results: "};
    case Case::filePermissionFailed:
        return {"filePermissionFailed", "File permission error: "};
    case Case::invalidJSON:
        return {"invalidJSON", "Invalid JSON: "};
    case Case::enrollmentMissing:
        return {"enrollmentMissing", "Face enrollment file not found. Enrol your face first."};
    case Case::captureNoFrames:
        return {"captureNoFrames",
                "No valid face frames captured. Ensure good lighting and centre your face."};
    case Case::visionUnavailable:
        return {"visionUnavailable", "Face detection is unavailable on this computer"};
    case Case::cameraAccessDenied:
        return {"cameraAccessDenied",
                "Camera access denied. Give your user access to the camera's video device and try again."};
    case Case::subprocessTimeout:
        return {"subprocessTimeout", "Face capture timed out. Try again."};
    case Case::cameraUnavailable:
        return {"cameraUnavailable", "Face capture needs a working camera: "};
    }
    return {"", ""};
}

std::string payloadText(const FaceIdentityError::Payload& payload) {
    if (const auto* text = std::get_if<std::string>(&payload))
        return *text;
    if (const auto* code = std::get_if<int32_t>(&payload))
        return std::to_string(*code);
    return {};
}

// A text as a quoted literal, its quotes, backslashes and line ends escaped.
std::string quoted(const std::string& text) {
    std::string literal = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            literal += "\\\"";
            break;
        case '\\':
            literal += "\\\\";
            break;
        case '\n':
            literal += "\\n";
            break;
        case '\r':
            literal += "\\r";
            break;
        case '\t':
            literal += "\\t";
            break;
        default:
            literal += c;
        }
    }
    return literal + "\"";
}

} // namespace

FaceIdentityError::FaceIdentityError(Case kind, Payload payload)
    : kind_(kind)
    , payload_(std::move(payload))
    , description_(std::string(textOf(kind).description) + payloadText(payload_)) {
}

std::string FaceIdentityError::textualForm() const {
    const std::string name = textOf(kind_).name;
    if (const auto* text = std::get_if<std::string>(&payload_))
        return name + "(" + quoted(*text) + ")";
    if (const auto* code = std::get_if<int32_t>(&payload_))
        return name + "(" + std::to_string(*code) + ")";
    return name;
}
