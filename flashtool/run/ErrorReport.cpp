#include "flashtool/run/ErrorReport.h"

#include <system_error>

namespace vornload {

const char* errorName(int code) {
    static const char* const names[] = {"ISD_ERR_NONE",
                                        "ISD_ERR_ARG",
                                        "ISD_ERR_FILE_NOEXIST",
                                        "ISD_ERR_COPY_FILE",
                                        "ISD_ERR_DEV_OFFLINE",
                                        "ISD_ERR_DISK_MISMACH",
                                        "ISD_ERR_OPEN_FILE_FAIL",
                                        "ISD_ERR_CREAT_FILE_FAIL",
                                        "ISD_ERR_WRITE_FILE_FAIL",
                                        "ISD_ERR_READ_FILE_FAIL",
                                        "ISD_ERR_VERIFY",
                                        "ISD_ERR_FILE_NAME_TOO_LONG",
                                        "ISD_ERR_ZERO_FILE"};
    return code >= 0 && code <= 12 ? names[code] : "";
}

int reportError(int place, int code, int alertMode, const std::filesystem::path& tempFolder,
                std::ostream& out, std::ostream& notice) {
    if (code == 0) return 0;
    const std::string text =
        "down err @ line " + std::to_string(place) + " : " + std::to_string(code);
    std::error_code ec;
    for (const char* name : {"zImag.img", "zImag.img.bak", "zImag.img.dump", "user.app"})
        std::filesystem::remove(tempFolder / name, ec);
    if (code > 0 && code <= 12)
        out << text << "-" << errorName(code) << "\n";
    else
        out << "ERR:" << text << "-" << code << "\n";
    out.flush();
    // A visible notice where there is no message box: a line of its own on standard error.
    if (alertMode == 18) notice << "vornload: " << text << "\n";
    if (alertMode == 16 && code != 4) out << '\a';
    return code;
}

}  // namespace vornload
