#pragma once

#include "app/SignOptions.h"
#include "batch/CClustersSend.h"
#include "batch/MessageQueue.h"
#include "device/DeviceImage.h"
#include "platform/TextLookup.h"
#include "project/ProjectFile.h"
#include "project/ScreenRecord.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// zentari-cli batch: a project's screens to every attached sign at once, as
// the batch send dialog's Send does.
struct BatchArguments {
    std::string project;
    std::vector<std::string> screens;  // for the signs in order, the last repeating
    SignOptions signs;
};

class SignSession;

// Opens the signs the options name; false after saying why.
bool openSigns(SignSession& sign, const SignOptions& options);
// The batch dialog's services in a console: the session's signs and clock,
// its messages run by `queue` on the calling thread.
CClustersSend::Services consoleServices(SignSession& sign, batch::MessageQueue& queue,
                                        const platform::TextLookup& texts);

// Exit statuses of the command.
inline constexpr int kBatchAllSent = 0;
inline constexpr int kBatchNoSign = 1;
inline constexpr int kBatchSomeFailed = 3;
inline constexpr int kBatchBadProject = 8;

// A screen of a project file with its programs keyed as opening the project
// keys them: the file's order, at most ten.
ScreenRecord screenWithPrograms(const ProjectFile::LoadedScreen& loaded);

using ScreenImageMaker = std::function<DeviceImage::Built(const ScreenRecord&)>;

int runBatch(const BatchArguments& args, const ScreenImageMaker& makeImage,
             const platform::TextLookup& english);

// A screen made for a sign of this size; none after saying why.
using ScreenForSize = std::function<std::optional<ScreenRecord>(int width, int height)>;

// Every sign gets a screen made for the size it reports, or for `fixed` when
// that is given; signs of one size share one image.
int runBatchSized(const SignOptions& options, std::optional<std::pair<int, int>> fixed,
                  const ScreenForSize& makeScreen, const ScreenImageMaker& makeImage,
                  const platform::TextLookup& english);

// The same image to every sign, as the batch dialog sends a prepared image.
int runBatchPrepared(const SignOptions& options, std::vector<uint8_t> image,
                     const platform::TextLookup& english);
