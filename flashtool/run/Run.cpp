#include "flashtool/run/Run.h"

#include "flashtool/config/FlashDescription.h"
#include "flashtool/config/FlashTypeLookup.h"
#include "flashtool/device/Chip.h"
#include "flashtool/device/StorageKind.h"
#include "flashtool/image/ImageBuilder.h"
#include "flashtool/image/PackageFile.h"
#include "flashtool/image/PrintTo.h"
#include "flashtool/image/ResourceBuilder.h"
#include "flashtool/run/ErrorReport.h"
#include "flashtool/run/RunOptions.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <ostream>

namespace vornload {

namespace {

constexpr const char* outputCopyName = "cv_isd.bin";
constexpr const char* noIsdFileName = "no_isd_file";
constexpr const char* loaderFileName = "qk500loader.bin";

std::string resolve(const RunEnvironment& env, const std::string& name) {
    if (name.empty() || name[0] == '/' || env.currentFolder.empty() || env.currentFolder == ".")
        return name;
    return env.currentFolder + "/" + name;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

ImageSettings imageSettings(const FlashDescription& d, uint32_t runAddress) {
    ImageSettings s;
    s.refreshInterval = d.refreshInterval;
    s.sdramControl = d.sdramControlWord;
    s.clockWord = d.clockWord;
    s.spiWord = d.spiWord;
    s.runAddress = runAddress;
    s.codeStartOffset = d.settings.codeStartOffset;
    s.configZoneSize = d.settings.cfgZoneSize;
    s.updateIoPin = d.settings.updateIoPin;
    s.updateLedPin = d.settings.updateLedPin;
    const std::string& name = d.settings.updateDeviceName;
    std::copy_n(name.begin(), std::min<size_t>(name.size(), s.updateDeviceName.size() - 1),
                s.updateDeviceName.begin());
    s.systemConfig = d.record.toBytes();
    return s;
}

class CommandLineRun {
public:
    CommandLineRun(const RunEnvironment& env) : m_env(env), m_out(*env.out) {}

    int run(const std::vector<std::string>& args) {
        const std::string cfg = resolve(m_env, descriptionFileName);
        const ConfigResult read =
            readFlashDescription(cfg, SdramClockSource::fromFile, m_out, m_description);
        if (!read.ok()) {
            m_out << read.message;
            // A refused file ends the run as a failure: nothing was built or written,
            // and a script must not take that for success.
            if (read.status == ConfigStatus::rejected) {
                m_out << "open isd_tools cfg file fail\n";
                return fail(place::descriptionFile, isdErrArg);
            }
            return fail(place::descriptionFile, read.code);
        }

        const ParseResult parsed = parseRunOptions(
            args, m_options, m_out,
            [this](const std::string& name) { return isRegularFile(resolve(m_env, name)); });
        if (parsed.error != 0) {
            m_out << parsed.message;
            return fail(place::arguments, parsed.error);
        }
        // Only the options that name a storage tell the loader which one.
        if (m_options.mode >= 1 && m_options.mode <= 4)
            m_description.loaderArgs.mode = static_cast<uint32_t>(m_options.mode);

        if (m_options.mode != 6) {
            if (m_env.disks)
                m_chip = findChip(*m_env.disks, m_options.device, m_out, *m_env.notice);
            if (!m_chip) {
                m_out << "device offline\n";
                // A read has nothing to fall back on: reporting success would be a lie.
                if (m_options.mode == 5) return fail(place::deviceNeeded, 4);
                m_options.mode = 6;
                m_options.storageKind = storageSpiNor;
                m_options.outputFile = outputCopyName;
                m_out << "output file name " << outputCopyName << " \r\n";
            }
        }
        if (m_chip) {
            if (const int rc = switchToBootLoader(); rc != 0) return rc;
            if (const int rc = startLoader(); rc != 0) return rc;
            if (m_options.mode != 0) {
                MediaAnswer media;
                if (const int rc = m_chip->mediaQuery(0, 0, media); rc != 0) {
                    m_out << "no device online\n";
                    return fail(place::mediaQuery, rc);
                }
                m_chip->setStorageKind(storageKindOfMediaCode(media.mediaCode));
                m_flashId = media.identifier;
            }
            if (m_options.mode == 5) return readStorageToFile();
        }

        if (!m_options.imageFiles.empty()) {
            if (const int rc = buildImageFiles(); rc >= 0) return rc;
        }
        if (!m_chip) {
            // What is left needs the chip, which a file run does not have.
            m_out << m_options.flashFile << "\n";
            if (!m_options.ramDownloads.empty() || !m_options.flashFile.empty() ||
                m_options.goAddress >= 0) {
                m_out << "device offline\n";
                return fail(place::deviceNeeded, 4);
            }
            return 0;
        }
        return writeToChip();
    }

private:
    int fail(int where, int code) {
        return reportError(where, code, m_options.alertMode, m_env.tempFolder, m_out,
                           *m_env.notice);
    }

    // Step by step from the flash type to the output copy; the exit status, or -1
    // to go on with the rest of the run.
    int buildImageFiles() {
        const std::string cfg = resolve(m_env, descriptionFileName);
        // Without a chip the description's own identifier is the one to match.
        const uint32_t id = m_chip ? m_flashId : m_description.settings.flashId;
        const std::optional<FlashType> type = lookupFlashType(cfg, id, m_out);
        const ConfigResult applied = applyFlashType(m_description, id, type);
        if (!applied.ok()) {
            m_out << applied.message;
            return fail(place::flashType, applied.code);
        }

        const int storage = m_chip ? m_chip->storageKind() : m_options.storageKind;
        const StorageKindInfo* kind = storageKindInfo(storage);
        if (!kind || !kind->allows(m_options.mode)) {
            m_out << "device not online\n";
            return fail(place::storageKind, 5);
        }
        m_out << kind->message;
        const uint32_t capacity = m_description.record.flashSize;
        printTo(m_out, "device name :%s\n", type->name.c_str());
        printTo(m_out, "device id: %X\n", m_description.record.flashId);
        printTo(m_out, "device block num: %d\n", static_cast<int>(capacity / kind->blockSize));
        printTo(m_out, "device block size: 0x%x Byte\n", kind->blockSize);
        printTo(m_out, "device capacity: 0x%08x Byte\n", capacity);

        const ImageSettings settings = imageSettings(m_description, m_options.runAddress);
        if (!m_options.resourceFolder.empty()) {
            const int rc = buildResourcePackages(resolve(m_env, m_options.resourceFolder),
                                                 m_options.resourceAlignment, settings, m_out);
            if (rc != imagecode::ok) return fail(place::resources, rc);
        }
        std::vector<std::string> inputs;
        for (const std::string& f : m_options.imageFiles)
            inputs.push_back(resolve(m_env, f));
        ApplicationPackage package;
        if (const int rc = buildApplicationPackage(inputs, m_options.alignment, settings,
                                                   m_env.tempFolder, m_out, package);
            rc != imagecode::ok)
            return fail(place::application, rc);
        const BuildFolders folders{m_env.tempFolder, m_env.currentFolder};
        if (const int rc =
                buildImage(inputs, package, m_options.alignment, settings, folders, m_out, m_image);
            rc != imagecode::ok)
            return fail(place::image, rc);
        if (const int rc = checkImageSize(m_image.flashFileSize, capacity, m_out); rc != 0)
            return fail(place::imageSize, rc);

        m_zoneEnd = m_image.configZoneAddress + settings.configZoneSize;
        const char* what = storage == storageSd ? "SD" : "flash";
        const std::string copy = resolve(m_env, outputCopyName);
        ::unlink(copy.c_str());
        if (m_options.mode == 6) {
            ::unlink(resolve(m_env, noIsdFileName).c_str());
            if (!copyPackageFile(m_image.path, resolve(m_env, m_options.outputFile))) {
                printTo(m_out, "make %s image fail\n", what);
                return fail(place::outputFile, 3);
            }
            printTo(m_out, "make %s image ok\n", what);
            m_out << "outfile name " << m_options.outputFile << "\n";
            return 0;
        }
        printTo(m_out,
                copyPackageFile(m_image.path, copy) ? "make %s image ok\n" : "make %s image fail\n",
                what);
        PackageFile marker;
        const uint8_t text[] = {'n', 'o', '_', 'i', 's', 'd', '_', 'f', 'i', 'l'};
        if (marker.create(resolve(m_env, noIsdFileName)) != imagecode::ok ||
            marker.append(text, sizeof text) != imagecode::ok || marker.close() != imagecode::ok) {
            m_out << "make no_isd_file error";
            return fail(place::noIsdFile, 7);
        }
        return -1;
    }

    void pause(uint32_t ms) const {
        if (m_env.pause) m_env.pause(ms);
    }

    // A chip that does not answer as the boot loader is asked to switch, and is
    // looked for again under its new name.
    int switchToBootLoader() {
        const std::string& id = m_chip->identification();
        if (id == "tz43uboot1.00" || id == "tz43uboot2.00" || id == "qk500uboot2.00") return 0;
        MediaAnswer ignored;
        m_chip->mediaQuery(3, 0x4016, ignored);
        m_chip.reset();
        pause(m_options.waitMs);
        for (int look = 0; look < 20; ++look) {
            m_chip = findChip(*m_env.disks, "qk500", m_out, *m_env.notice);
            if (m_chip) {
                pause(2 * m_options.waitMs);
                return 0;
            }
            pause(m_options.waitMs);
        }
        m_out << "device offline\n";
        return fail(place::modeSwitch, 4);
    }

    // The first boot loader needs the RAM loader to reach the storage.
    int startLoader() {
        if (m_options.mode == 6) return 0;
        if (m_chip->identification() != "tz43uboot1.00") {
            m_out << "Do not need to run loader\n";
            return 0;
        }
        if (!m_options.loaderAddressGiven) {
            m_options.loaderAddress = 0x2000;
            if (!m_options.runAddressGiven) m_options.runAddress = 0x1000000;
        }
        const std::string loader = resolve(m_env, loaderFileName);
        if (!isRegularFile(loader)) {
            printTo(m_out, "WARNING: can't find %s", loaderFileName);
            return 0;
        }
        const uint32_t at = m_options.loaderAddress;
        if (const int rc = m_chip->downloadFile(loader, at, true); rc != 0) {
            printTo(m_out, "down load loader error 0x%.08x\n", static_cast<unsigned>(rc));
            return fail(place::loader, rc);
        }
        if (!m_options.ramDownloads.empty() && m_description.loaderArgs.valid()) {
            const auto block = m_description.loaderArgs.toBytes();
            if (const int rc = m_chip->writeRam(at - LoaderArgBlock::size, block.data(),
                                                static_cast<uint16_t>(block.size()));
                rc != 0) {
                m_out << "run loader error\n";
                return fail(place::loader, rc);
            }
        }
        const auto argument = static_cast<uint16_t>(m_options.divider * 16 + m_options.mode);
        if (const int rc = m_chip->run(at, argument); rc != 0) {
            printTo(m_out, "run loader error 0x%08x\n", at);
            return fail(place::loader, rc);
        }
        return 0;
    }

    int readStorageToFile() {
        const uint64_t length = (m_options.readLength + 511) / 512 * 512;
        const uint32_t address = m_options.readAddress;
        printTo(m_out, "read device @addr: 0x%0x len:0x%0x(Byte)\n", address,
                static_cast<unsigned>(length));
        PackageFile file;
        if (file.create(resolve(m_env, m_options.outputFile)) != imagecode::ok) {
            printTo(m_out, "creat file (%s) fial\n", m_options.outputFile.c_str());
            return fail(place::readBack, 7);
        }
        uint8_t piece[512];
        for (uint64_t at = 0; at < length; at += sizeof piece) {
            int rc = 0;
            for (int attempt = 0; attempt < 6; ++attempt)
                if ((rc = m_chip->readStorage(static_cast<uint32_t>(address + at), piece,
                                              sizeof piece)) == 0)
                    break;
            if (rc != 0) {
                printTo(m_out, "read device fial 0x%08x\n", static_cast<unsigned>(rc));
                return fail(place::readBack, rc);
            }
            if (file.append(piece, sizeof piece) != imagecode::ok) return fail(place::readBack, 8);
        }
        if (file.close() != imagecode::ok) return fail(place::readBack, 8);
        m_out << "read device ok\n";
        return 0;
    }

    int writeToChip() {
        for (const auto& [file, address] : m_options.ramDownloads) {
            printTo(m_out, "%s---->0x%.0X\n", file.c_str(), address);
            if (const int rc = m_chip->downloadFile(resolve(m_env, file), address, true); rc != 0) {
                printTo(m_out, "dwon file to ram error 0x%.08x\n", static_cast<unsigned>(rc));
                return fail(place::ramDownload, rc);
            }
        }
        const char* where = m_chip->storageKind() == storageSd ? "SD" : "Flash";
        if (!m_options.imageFiles.empty()) {
            m_out << "\n";
            if (const int rc =
                    m_chip->writeImage(m_image.path, m_options.erase, 0, m_zoneEnd, m_image.path);
                rc != 0) {
                printTo(m_out, "write file to %s error 0x%.08x\n", where,
                        static_cast<unsigned>(rc));
                return fail(place::writeImage, rc);
            }
            printTo(m_out, "write file to %s ok\n", where);
        }
        m_out << m_options.flashFile << "\n";
        if (!m_options.flashFile.empty()) {
            if (m_options.dataFlash) {
                MediaAnswer media;
                if (const int rc = m_chip->mediaQuery(0x83, 0, media); rc != 0) {
                    m_out << "no device online\n";
                    return fail(place::dataFlash, rc);
                }
                printTo(m_out, "DataflashID:%X\n", media.identifier);
            }
            if (const int rc =
                    m_chip->writeImage(resolve(m_env, m_options.flashFile), true,
                                       m_options.flashAddress, 0, m_env.tempFolder + "/wflash");
                rc != 0) {
                printTo(m_out, "write file to %s error 0x%.08x\n", where,
                        static_cast<unsigned>(rc));
                return fail(place::writeFlashFile, rc);
            }
            printTo(m_out, "write file to %s ok\n", where);
        }
        if (m_options.goAddress >= 0) {
            const auto go = static_cast<uint32_t>(m_options.goAddress);
            const int rc = m_chip->run(go, 1);
            printTo(m_out, "goto addr(0x%.8x) run....\n", go);
            // A start the chip refused is not a success.
            if (rc != 0) return fail(place::go, rc);
        }
        return 0;
    }

    const RunEnvironment& m_env;
    std::ostream& m_out;
    RunOptions m_options;
    FlashDescription m_description;
    FlashImage m_image;
    std::unique_ptr<Chip> m_chip;
    uint32_t m_flashId = 0;
    uint32_t m_zoneEnd = 0;
};

}  // namespace

int runCommandLine(const std::vector<std::string>& args, const RunEnvironment& env) {
    return CommandLineRun(env).run(args);
}

}  // namespace vornload
