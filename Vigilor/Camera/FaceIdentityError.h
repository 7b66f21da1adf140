#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <variant>

// The failures of face identity and enrolment, each with the text the enrolment sheet shows. Several
// cases belong to a capture-and-match helper that no operation starts; they keep their texts.
class FaceIdentityError : public std::exception {
public:
    enum class Case {
        enrollmentInvalid,          // text
        featurePrintEncodingFailed, // text
        featurePrintDecodingFailed, // text
        captureProcessFailed,       // exit code
        matchProcessFailed,         // exit code
        matchParsingFailed,         // text
        filePermissionFailed,       // text
        invalidJSON,                // text
        enrollmentMissing,
        captureNoFrames,
        visionUnavailable,
        cameraAccessDenied,
        subprocessTimeout,
        cameraUnavailable, // text: what is missing

    };
    // What a case carries: a text, an exit code, or nothing, as listed above.
    using Payload = std::variant<std::monostate, std::string, int32_t>;

    explicit FaceIdentityError(Case kind, Payload payload = {});

    Case kind() const { return kind_; }
    const Payload& payload() const { return payload_; }

    // The user-facing description.
    const std::string& errorDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // The form the error takes inside other messages: the case name with its payload in parentheses,
    // a text payload quoted: enrollmentInvalid("Enrollment file is empty"), captureProcessFailed(2),
    // enrollmentMissing.
    std::string textualForm() const;

private:
    Case kind_;
    Payload payload_;
    std::string description_;
};
