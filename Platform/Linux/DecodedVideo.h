#pragma once

#include <filesystem>
#include <memory>
#include <string>

// A video file's frames as JPEG pictures in a private folder of their own, so that the clip camera
// plays a video as it plays a folder of pictures. Debian's ffmpeg program does the decoding: no video
// library enters this process. The folder (mode 0700, in the runtime folder) goes with the object or at
// the process's orderly exit; one left by a process that was killed goes at the next start or decoding.
class DecodedVideo {
public:
    // The frames, or why there are none.
    struct Outcome {
        std::shared_ptr<DecodedVideo> video;
        std::string failure;
    };
    // Long enough for an hour of video; a hung ffmpeg is killed after it.
    static constexpr double timeoutSeconds = 600;

    // Decodes `video` into `framesPerSecond` pictures for every second of it, no larger than the
    // camera's 640×480. Waits for ffmpeg to finish (seconds for a long clip): never on the main thread.
    static Outcome decode(const std::filesystem::path& video, double framesPerSecond);

    // Removes the frame folders of processes that have ended without removing them.
    static void removeFoldersOfEndedProcesses();

    explicit DecodedVideo(std::filesystem::path folder)
        : folder_(std::move(folder)) {}
    ~DecodedVideo();
    DecodedVideo(const DecodedVideo&) = delete;
    DecodedVideo& operator=(const DecodedVideo&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};
