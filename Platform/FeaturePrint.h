#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised when stored bytes hold a feature print that this build cannot read, or when two prints
// cannot be compared; its text says why.
class FeaturePrintError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A compact description of a face image: two prints of the same person lie close together, prints of
// different people far apart. The values are produced by the vision backend; the method that made
// them is named by `version`, and only prints of one version can be compared.
class FeaturePrint {
public:
    // The version the current backend makes (see the backend for what it stands for).
    static constexpr uint16_t currentVersion = 1;

    FeaturePrint(uint16_t version, std::vector<float> values)
        : version_(version)
        , values_(std::move(values)) {}

    uint16_t version() const { return version_; }
    const std::vector<float>& values() const { return values_; }

    // Smaller means more alike; 0 for identical prints. The scale is chosen so that 0.6 separates two
    // people. Throws FeaturePrintError for prints of different versions or lengths.
    float distance(const FeaturePrint& other) const;

    // The stored form: "VGFP", the version and the value count (little-endian 16 and 32 bits), then
    // the values as little-endian IEEE-754 single-precision numbers.
    std::string archived() const;
    // Nothing when the bytes are not a stored feature print at all; throws FeaturePrintError for a
    // print this build cannot read (another version, a count that does not match the length).
    static std::optional<FeaturePrint> unarchived(std::string_view bytes);

private:
    uint16_t version_;
    std::vector<float> values_;
};
