#pragma once

#include "Foundation/ChildProcess.h"
#include "Vigilor/Updates/UpdateFeedReading.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The update check in a short-lived child process of the program itself, so that the process that sits
// in the tray all day never maps the HTTP and TLS libraries that a once-a-day check needs.
//
// The parent starts its own program with updateCheckChildOption and the request as one argument. The
// child reads the feed as the parent would (readUpdateFeed), writes the outcome as one answer on its
// standard output and ends; its log lines go to its standard error, and the parent passes them on to
// its own log. The parent waits for it on a thread of its own, at most updateCheckChildTimeout, reads at
// most updateCheckChildOutputLimit bytes, and kills it past either.

// The program's internal option, handled by main() before anything else starts.
inline constexpr std::string_view updateCheckChildOption = "--internal-update-check";

// The request as the child's argument, and back; nothing for a text that is not one of this version.
std::string encodeUpdateFeedRequest(const UpdateFeedRequest& request);
std::optional<UpdateFeedRequest> decodeUpdateFeedRequest(std::string_view text);

// The child's answer, and back: nothing for a text that is not an answer of this version, or whose
// release has no version number or no HTTPS download page. The items passed over stay in the child (it
// logs them), so an answer is never larger than the feed's texts.
std::string encodeUpdateCheckAnswer(const UpdateCheckOutcome& outcome);
std::optional<UpdateCheckOutcome> decodeUpdateCheckAnswer(std::string_view text);

// Every request the child may make, one after another, and a little for its start.
double updateCheckChildTimeout(const UpdateFeedRequest& request);
// Twice the feed (JSON escapes quotes and line breaks), and room for the log lines.
std::size_t updateCheckChildOutputLimit(const UpdateFeedRequest& request);

// What a child's run comes to: its answer, or a failure (UpdateCheckError::Kind::noAnswer) that says why
// there is none.
UpdateCheckOutcome outcomeOfUpdateCheckChild(const ChildProcessResult& run);

// Runs the check in a child process of `executable` (the application gives its own, /proc/self/exe) and
// hands the outcome to `done`, once, on the thread that waits for the child.
void readUpdateFeedInChild(std::string executable, UpdateFeedRequest request,
                           std::function<void(UpdateCheckOutcome)> done);

// The child's whole work, given the request's text; the process's exit status.
int runUpdateCheckChild(std::string_view requestText);
