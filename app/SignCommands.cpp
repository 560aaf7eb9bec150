#include "app/SignCommands.h"

#include "device/DeviceImage.h"
#include "device/LinkProtocol.h"

namespace SignCommands {

std::u16string resultText(int code, const platform::TextLookup& language) {
    switch (code) {
        case 0:
            return u"OK";
        case signlink::TRANSFER_NO_SIGN:
            return language.text(u"CannotFindDevice");
        case signlink::TRANSFER_OPEN_FAILED:
            return language.text(u"CannotOpenDevice");
        case signlink::TRANSFER_PACKET_FAILED:
            return language.text(u"TimeOut");
        case RESULT_IMAGE_TOO_LONG:
            return language.text(u"DataTooLong_p");
        case RESULT_ANIMATIONS_TOO_LONG:
            return language.text(u"DataTooLong_gif");
        default:
            return u"Unknow Error.";
    }
}

SendOutcome sendScreen(SignLink& sign, const ScreenRecord* screen,
                       const std::function<DeviceImage::Built()>& buildImage) {
    SendOutcome out;
    const uint8_t query[] = {0x30};
    if (int code = sign.transfer(query, signlink::KIND_GEOMETRY_QUERY, nullptr)) {
        out.step = SendOutcome::Step::QueryFailed;
        out.code = code;
        return out;
    }
    if (!screen || screen->width != sign.signWidth() || screen->height != sign.signHeight()) {
        out.step = SendOutcome::Step::SizeMismatch;
        return out;
    }
    const DeviceImage::Built built = buildImage();
    const std::string& image = built.bytes;
    out.imageBytes = image.size();
    if (image.empty() && !built.tooLong) {
        out.step = SendOutcome::Step::NothingToSend;
        return out;
    }
    if (built.tooLong || image.size() > DeviceImage::kMaxSendLength) {
        out.step = SendOutcome::Step::TooLong;
        out.code = RESULT_IMAGE_TOO_LONG;
        return out;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
    out.code = sign.transfer({bytes, image.size()}, signlink::KIND_DEVICE_IMAGE, nullptr);
    return out;
}

std::optional<std::pair<int, int>> queryGeometry(SignLink& sign) {
    std::vector<uint8_t> reply;
    const uint8_t query[] = {0x00};
    sign.transfer(query, signlink::KIND_GEOMETRY_QUERY, &reply);
    if (reply.size() < 13) return std::nullopt;
    const int width = reply[9] << 8 | reply[10];
    const int height = reply[11] << 8 | reply[12];
    if (width < 1 || width > 255 || height < 1 || height > 127) return std::nullopt;
    return std::pair{width, height};
}

}  // namespace SignCommands
