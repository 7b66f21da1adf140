#include "FeaturePrint.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr std::string_view magic = "VGFP";
constexpr std::size_t headerSize = 4 + 2 + 4;

// Version 1 prints are unit vectors, whose distances run from 0 to √2; this factor puts the threshold
// of 0.6 between the distances measured for one person under changes of light, pose and scale and
// those between two people (the measurements are in the vision backend's tests).
constexpr double kPrintScale = 0.9;

void appendLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

uint32_t readLittleEndian(std::string_view bytes, std::size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

float FeaturePrint::distance(const FeaturePrint& other) const {
    if (version_ != other.version_)
        throw FeaturePrintError("feature prints of versions " + std::to_string(version_) + " and " +
                                std::to_string(other.version_) + " cannot be compared");
    if (values_.size() != other.values_.size())
        throw FeaturePrintError("feature prints of " + std::to_string(values_.size()) + " and " +
                                std::to_string(other.values_.size()) + " values cannot be compared");
    double sum = 0;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const double difference = double(values_[i]) - double(other.values_[i]);
        sum += difference * difference;
    }
    return static_cast<float>(kPrintScale * std::sqrt(sum));
}

std::string FeaturePrint::archived() const {
    std::string bytes(magic);
    appendLittleEndian(bytes, version_, 2);
    appendLittleEndian(bytes, static_cast<uint32_t>(values_.size()), 4);
    for (float value : values_)
        appendLittleEndian(bytes, std::bit_cast<uint32_t>(value), 4);
    return bytes;
}

std::optional<FeaturePrint> FeaturePrint::unarchived(std::string_view bytes) {
    if (bytes.size() < headerSize || bytes.substr(0, magic.size()) != magic)
        return std::nullopt;
    const auto version = static_cast<uint16_t>(readLittleEndian(bytes, 4, 2));
    if (version != currentVersion)
        throw FeaturePrintError("feature print version " + std::to_string(version) + " is not supported");
    const uint32_t count = readLittleEndian(bytes, 6, 4);
    if ((bytes.size() - headerSize) % 4 != 0 || (bytes.size() - headerSize) / 4 != count)
        throw FeaturePrintError("feature print of " + std::to_string(count) + " values holds " +
                                std::to_string(bytes.size() - headerSize) + " bytes of values");
    std::vector<float> values(count);
    for (uint32_t i = 0; i < count; ++i)
        values[i] = std::bit_cast<float>(readLittleEndian(bytes, headerSize + 4 * i, 4));
    return FeaturePrint(version, std::move(values));
}
