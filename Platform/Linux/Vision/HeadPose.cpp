#include "HeadPose.h"

#include <opencv2/calib3d.hpp>

#include <cmath>
#include <numbers>

namespace {

// A generic head in millimetres, in the camera's axes (x to the image's right, y down, z away from
// the camera), facing the camera: nose tip, chin, the eyes' outer corners and the mouth's corners.
const std::vector<cv::Point3d> modelPoints = {
    {0, 0, 0}, {0, 330, 65}, {-225, -170, 135}, {225, -170, 135}, {-150, 150, 125}, {150, 150, 125},
};
// The same points among the 68 landmarks.
constexpr int landmarkIndices[] = {30, 8, 36, 45, 48, 54};

double degrees(double radians) {
    return radians * 180 / std::numbers::pi;
}

// A direction's turn to the image's right and tilt upwards, from straight ahead of the camera.
double yawOf(const cv::Vec3d& direction) {
    return std::atan2(direction[0], -direction[2]);
}
double pitchOf(const cv::Vec3d& direction) {
    return std::atan2(-direction[1], std::hypot(direction[0], direction[2]));
}

} // namespace

std::optional<HeadPose> estimateHeadPose(const std::vector<cv::Point2d>& landmarks, cv::Size frameSize) {
    if (landmarks.size() != 68 || frameSize.width <= 0 || frameSize.height <= 0)
        return std::nullopt;
    std::vector<cv::Point2d> imagePoints;
    for (int index : landmarkIndices)
        imagePoints.push_back(landmarks[index]);
    const double focal = frameSize.width;
    const cv::Matx33d camera(focal, 0, frameSize.width / 2.0, 0, focal, frameSize.height / 2.0, 0, 0, 1);
    // Fitting starts from a face looking into the camera at the distance its eye corners suggest, so
    // that the fit settles on the face's front rather than on the mirror solution behind it.
    const double eyeSpan = cv::norm(landmarks[45] - landmarks[36]);
    cv::Vec3d rotation(0, 0, 0);
    cv::Vec3d translation(0, 0, eyeSpan > 0 ? focal * 450 / eyeSpan : focal);
    if (!cv::solvePnP(modelPoints, imagePoints, camera, cv::noArray(), rotation, translation, true))
        return std::nullopt;
    cv::Matx33d matrix;
    cv::Rodrigues(rotation, matrix);
    // Where the face looks (the model's "towards the camera" axis after the rotation), measured from
    // the line of sight to the camera, so that a face looking into the camera reads 0 wherever it is
    // in the frame.
    const cv::Vec3d facing(-matrix(0, 2), -matrix(1, 2), -matrix(2, 2));
    const cv::Vec3d towardsCamera = -translation;
    const HeadPose pose{degrees(yawOf(facing) - yawOf(towardsCamera)),
                        degrees(pitchOf(facing) - pitchOf(towardsCamera))};
    if (!std::isfinite(pose.yawDegrees) || !std::isfinite(pose.pitchDegrees))
        return std::nullopt;
    return pose;
}
