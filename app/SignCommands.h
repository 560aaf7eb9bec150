#pragma once

#include "device/DeviceImage.h"
#include "platform/TextLookup.h"
#include "project/ScreenRecord.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// Send and the sign queries, shared by the main window and zentari-cli.
namespace SignCommands {

// Results beyond the link's 0 … 3.
inline constexpr int RESULT_IMAGE_TOO_LONG = 4;
inline constexpr int RESULT_ANIMATIONS_TOO_LONG = 5;

// The one sign a command talks to, with the size its last geometry reply gave.
class SignLink {
public:
    virtual ~SignLink() = default;
    virtual int transfer(std::span<const uint8_t> block, uint8_t kind,
                         std::vector<uint8_t>* reply) = 0;
    virtual int signWidth() const = 0;
    virtual int signHeight() const = 0;
};

// The message-box text of a result code.
std::u16string resultText(int code, const platform::TextLookup& language);

struct SendOutcome {
    enum class Step {
        Sent,           // the image went over; `code` says how that ended
        QueryFailed,    // the geometry query failed with `code`
        SizeMismatch,   // the screen is not the sign's size ("NoSend_msg")
        NothingToSend,  // no checked program made a record
        TooLong,  // `code` is 4, nothing was sent (the image, or a program in it, is too long)
    };
    Step step = Step::Sent;
    int code = 0;
    size_t imageBytes = 0;
};

// Send: ask the sign its size, compare it with the screen's, build the image
// (only then) and send it as a block of kind 0 when it fits.
SendOutcome sendScreen(SignLink& sign, const ScreenRecord* screen,
                       const std::function<DeviceImage::Built()>& buildImage);

// The geometry query for another window: the sign's size as two 16-bit numbers,
// when it is within 1 … 255 by 1 … 127.
std::optional<std::pair<int, int>> queryGeometry(SignLink& sign);

}  // namespace SignCommands
