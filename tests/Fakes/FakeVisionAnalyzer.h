#pragma once

#include "Platform/Vision.h"

#include <optional>
#include <string>
#include <vector>

// A vision backend that answers what the test scripts: the faces of every frame, the brightness, a
// print, a body pose, or a failure. It counts what it was asked.
class FakeVisionAnalyzer final : public VisionAnalyzer {
public:
    std::vector<FaceObservation> detectFaces(const ImageView&) override {
        ++detections;
        if (failure)
            throw VisionError(*failure);
        return faces;
    }
    double averageBrightness(const ImageView&) override {
        ++brightnessSamples;
        return brightness;
    }
    std::optional<FeaturePrint> featurePrint(const ImageView&, const FaceObservation&) override {
        ++prints;
        if (!printValues)
            return std::nullopt;
        // Each print differs from the last unless the test fixes its values.
        std::vector<float> values = *printValues;
        if (distinctPrints)
            values.push_back(float(prints));
        return FeaturePrint(FeaturePrint::currentVersion, values);
    }
    // `printsPerTake` prints, each counted as one print.
    std::vector<FeaturePrint> enrolmentPrints(const ImageView& frame, const FaceObservation& face) override {
        std::vector<FeaturePrint> taken;
        for (int i = 0; i < printsPerTake; ++i)
            if (auto print = featurePrint(frame, face))
                taken.push_back(std::move(*print));
        return taken;
    }
    bool canDetectBodyPose() const override { return bodyPose.has_value(); }
    std::optional<BodyPoseObservation> detectBodyPose(const ImageView&) override {
        ++bodyPoseRequests;
        return bodyPose;
    }

    // One face of the given geometry, confident and with no landmarks.
    static FaceObservation face(double x, double y, double width, double height, double confidence = 0.9) {
        FaceObservation f;
        f.boundingBox = {x, y, width, height};
        f.confidence = confidence;
        f.yawDegrees = 0;
        f.pitchDegrees = 0;
        return f;
    }

    std::vector<FaceObservation> faces;
    double brightness = 0.5;
    std::optional<std::string> failure;
    std::optional<std::vector<float>> printValues; // nothing: no print can be made
    bool distinctPrints = true;
    int printsPerTake = 1;
    std::optional<BodyPoseObservation> bodyPose;
    int detections = 0;
    int brightnessSamples = 0;
    int prints = 0;
    int bodyPoseRequests = 0;
};
