#include "flashtool/image/ImageBuilder.h"

#include "flashtool/image/InputFile.h"
#include "flashtool/image/PackageFile.h"
#include "flashtool/image/PackageFormat.h"
#include "flashtool/image/PrintTo.h"

#include <unistd.h>
#include <algorithm>
#include <ostream>

namespace vornload {

namespace {

constexpr const char* appPackageName = "user.app";
constexpr const char* imageName = "zImag.img";
constexpr const char* zoneFileName = "_____.____2";
constexpr const char* recordFileName = "_____.____1";
constexpr const char* bootName = "uboot.boot";
constexpr uint64_t imageEntryCount = 4;
constexpr uint64_t zoneSpare = 32;  // the zone pseudo-file's bytes beyond the zone: the find record
constexpr size_t findRecordSize = 25;
constexpr uint64_t sector = 4096;

struct Span {
    uint64_t begin = 0;
    uint64_t end = 0;
    bool overlaps(uint64_t b, uint64_t e) const { return b < end && begin < e; }
};

// The pseudo-file lives only between writing and reading it back; it goes on every path.
class PseudoFile {
public:
    explicit PseudoFile(std::string path) : m_path(std::move(path)) {}
    ~PseudoFile() {
        if (m_created) ::unlink(m_path.c_str());
    }
    PseudoFile(const PseudoFile&) = delete;
    PseudoFile& operator=(const PseudoFile&) = delete;

    // Writes `bytes` (or `length` bytes of 0xFF when `bytes` is null) and appends it to `image`.
    int appendTo(PackageFile& image, const uint8_t* bytes, uint64_t length, uint16_t& crc) {
        PackageFile file;
        if (const int rc = file.create(m_path); rc != imagecode::ok) return rc;
        m_created = true;
        int rc = bytes ? file.append(bytes, static_cast<size_t>(length)) : file.fillTo(length);
        if (rc == imagecode::ok) rc = file.close();
        if (rc != imagecode::ok) return rc;
        InputFile input;
        if (input.open(m_path) != imagecode::ok) return imagecode::openFailed;
        if (input.size() != length) return imagecode::readFailed;
        return image.appendFile(input, crc);
    }

private:
    std::string m_path;
    bool m_created = false;
};

PackageEntry makeEntry(uint8_t type, uint16_t crc, uint64_t position, uint64_t length,
                       uint32_t index, const std::array<uint8_t, packageNameSize>& name) {
    PackageEntry entry;
    entry.type = type;
    entry.crc = crc;
    entry.position = static_cast<uint32_t>(position);
    entry.length = static_cast<uint32_t>(length);
    entry.index = index;
    entry.name = name;
    return entry;
}

std::array<uint8_t, packageNameSize> fixedName(const char* name) {
    std::array<uint8_t, packageNameSize> encoded{};
    encodeEntryName(name, encoded);
    return encoded;
}

void printSummary(std::ostream& out, const std::array<uint8_t, systemConfigSize>& record) {
    struct Field {
        const char* format;
        size_t offset;
    };
    static constexpr Field fields[] = {
        {"flash_id:%x\n", 0},
        {"flash_size:%x\n", 4},
        {"flash_file_size:%x\n", 8},
        {"sdfile_head_addr:%x\n", 12},
        {"spi_run_mode:%x\n", 16},
        {"spi_div:%x\n", 20},
        {"flash_base:%x\n", 24},
        {"protected_arg:%x\n", 28},
        {"cfg_zone_addr:%x\n", 32},
        {"cfg_zone_size:%x\n", 36},
        {"sdram_refresh_cycle:%x\n", 40},
        {"sdram_refresh_time:%x\n", 44},
        {"sdram_cas_latency:%x\n", 48},
        {"sdram_trfc:%x\n", 52},
        {"sdram_trp:%x\n", 56},
        {"sdram_trcd:%x\n", 60},
        {"sdram_colum:%x\n", 64},
        {"sdram_clk_hd_en:%x\n", 68},
        {"sdram_trrd:%x\n", 72},
        {"sdram_clkoe:%x\n", 76},
        {"sdram_size:%x\n", 80},
        {"sdram_fast_clock_rate:%x\n", 84},
        {"osc_freq:%uMHz\n", 92},  // the value is in Hz, as the line has always shown it
    };
    for (const Field& f : fields)
        printTo(out, f.format, getLe32(record.data() + f.offset));
}

}  // namespace

int buildApplicationPackage(const std::vector<std::string>& imageInputFiles, uint32_t alignment,
                            const ImageSettings& settings, const std::string& tempFolder,
                            std::ostream& out, ApplicationPackage& package) {
    package = ApplicationPackage{};
    if (alignment == 0) {
        printTo(out, "ERROR: alignment must not be 0\n");
        return imagecode::badArgument;
    }
    if (imageInputFiles.empty() || imageInputFiles.size() - 1 > maxPackageEntries) {
        printTo(out, "ERROR: %zu image input files (1 to %zu allowed)\n", imageInputFiles.size(),
                maxPackageEntries + 1);
        return imagecode::badArgument;
    }
    const std::vector<std::string> files(imageInputFiles.begin() + 1, imageInputFiles.end());

    std::vector<std::array<uint8_t, packageNameSize>> names(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = baseName(files[i]);
        if (!encodeEntryName(name, names[i])) {
            out << name;
            return imagecode::nameTooLong;
        }
    }

    PackageFile file;
    const std::string path = joinPath(tempFolder, appPackageName);
    if (file.create(path) != imagecode::ok) return imagecode::openFailed;

    std::vector<PackageEntry> entries;
    for (size_t i = 0; i < files.size(); ++i) {
        InputFile input;
        if (input.open(files[i]) != imagecode::ok) return imagecode::openFailed;
        const uint64_t start = roundUp(file.length(), alignment);
        if (start + input.size() + settings.codeStartOffset > maxPackageOffset) {
            printTo(out, "ERROR: %s does not fit into a 4 GiB package\n", files[i].c_str());
            return imagecode::badArgument;
        }
        uint16_t crc = 0;
        if (const int rc = file.fillTo(start); rc != imagecode::ok) return rc;
        if (const int rc = file.appendFile(input, crc); rc != imagecode::ok) return rc;
        entries.push_back(makeEntry(entryOther, crc, settings.codeStartOffset + start, input.size(),
                                    static_cast<uint32_t>(i), names[i]));
    }

    const uint64_t packageSize = roundUp(file.length(), alignment);
    const uint64_t headerPosition = roundUp(roundUp(file.length(), alignment), 32);
    // The table always has one slot per image input file: one more than the entries.
    const size_t slots = imageInputFiles.size();
    const uint64_t areaSize = roundUp(packageEntrySize * (slots + 1), 512);
    if (headerPosition + areaSize > maxPackageOffset || packageSize > maxPackageOffset) {
        printTo(out, "ERROR: %s would exceed 4 GiB\n", appPackageName);
        return imagecode::badArgument;
    }
    if (const int rc = file.fillTo(headerPosition); rc != imagecode::ok) return rc;
    const std::vector<uint8_t> area =
        buildHeaderArea(areaSize, entries, slots, static_cast<uint32_t>(packageSize), settings);
    if (const int rc = file.append(area.data(), area.size()); rc != imagecode::ok) return rc;
    if (const int rc = file.close(); rc != imagecode::ok) return rc;

    package.path = path;
    package.headerPosition = static_cast<uint32_t>(headerPosition);
    package.size = static_cast<uint32_t>(headerPosition + areaSize);
    return imagecode::ok;
}

int buildImage(const std::vector<std::string>& imageInputFiles, const ApplicationPackage& package,
               uint32_t alignment, const ImageSettings& settings, const BuildFolders& folders,
               std::ostream& out, FlashImage& image) {
    image = FlashImage{};
    const uint64_t zoneSize = settings.configZoneSize;
    if (alignment == 0) {
        printTo(out, "ERROR: alignment must not be 0\n");
        return imagecode::badArgument;
    }
    if (imageInputFiles.empty()) {
        printTo(out, "ERROR: no image input file\n");
        return imagecode::badArgument;
    }
    // The find record goes into the zone pseudo-file's 32 spare bytes only when a large zone
    // ends on a 4096 boundary.
    if (zoneSize >= sector && zoneSize % sector != 0) {
        printTo(out,
                "ERROR: cfg_zone_size 0x%x: a configuration zone of 4096 bytes or more must be "
                "a multiple of 4096\n",
                settings.configZoneSize);
        return imagecode::badArgument;
    }

    const std::string& firstPath = imageInputFiles.front();
    const std::string firstName = baseName(firstPath);
    std::array<uint8_t, packageNameSize> firstEncoded{};
    if (!encodeEntryName(firstName, firstEncoded)) {
        out << firstName;
        return imagecode::nameTooLong;
    }
    const std::string firstLower = asciiLower(firstName);
    const bool isBoot = firstLower == bootName;

    InputFile first;
    if (first.open(firstPath) != imagecode::ok) return imagecode::openFailed;
    InputFile app;
    if (app.open(package.path) != imagecode::ok) return imagecode::openFailed;

    // The whole layout first, so that nothing is written for one the chip cannot use.
    const uint64_t headerArea =
        roundUp(packageEntrySize * (imageEntryCount + 1), std::max<uint64_t>(alignment, 512));
    const uint64_t bootStart = isBoot ? headerArea : roundUp(headerArea, alignment);
    const uint64_t bootEnd = bootStart + first.size();
    uint64_t next = 0;
    bool zoneSet = false;
    uint64_t zoneAddress = 0;
    if (!isBoot) {
        next = roundUp(bootEnd, alignment);
    } else if (zoneSize >= sector) {
        zoneAddress = roundUp(bootEnd, sector);
        next = roundUp(zoneAddress + zoneSize, sector);
        zoneSet = true;
    } else if (zoneSize == 0) {
        next = roundUp(bootEnd, sector);
    } else {
        zoneAddress = roundUp(bootEnd, zoneSize);
        next = roundUp(zoneAddress + zoneSize, alignment);
        zoneSet = true;
    }
    const uint64_t findAddress = next;
    const uint64_t zoneFileStart = roundUp(bootEnd, sector);
    const uint64_t zoneFileLength = zoneSize + zoneSpare;
    const uint64_t appStart = roundUp(zoneFileStart + zoneFileLength, alignment);
    const uint64_t appEnd = appStart + app.size();
    const uint64_t recordAddress = roundUp(appEnd, alignment);
    const uint64_t recordEnd = recordAddress + systemConfigSize;
    const uint64_t packageSize = roundUp(recordEnd, alignment);
    uint64_t fileSize = roundUp(recordEnd, 256);
    if (!zoneSet) {
        zoneAddress = roundUp(fileSize, sector);
        fileSize = zoneAddress + zoneSize;
    }
    const uint64_t flashFileSize = roundUp(fileSize, alignment);
    if (flashFileSize > maxPackageOffset || packageSize > maxPackageOffset) {
        printTo(out, "ERROR: %s would exceed 4 GiB\n", imageName);
        return imagecode::badArgument;
    }
    // A small zone can push the find record, or the zone itself, onto real contents.
    const Span contents[] = {
        {0, headerArea}, {bootStart, bootEnd}, {appStart, appEnd}, {recordAddress, recordEnd}};
    for (const Span& s : contents) {
        if (s.overlaps(findAddress, findAddress + findRecordSize) ||
            (zoneSize > 0 && s.overlaps(zoneAddress, zoneAddress + zoneSize))) {
            printTo(out,
                    "ERROR: cfg_zone_size 0x%x: the configuration zone (0x%llx) or its find "
                    "record (0x%llx) would overlap the image's files\n",
                    settings.configZoneSize, static_cast<unsigned long long>(zoneAddress),
                    static_cast<unsigned long long>(findAddress));
            return imagecode::badArgument;
        }
    }

    PackageFile file;
    const std::string path = joinPath(folders.tempFolder, imageName);
    if (file.create(path) != imagecode::ok) return imagecode::openFailed;
    std::vector<PackageEntry> entries;

    uint16_t crc = 0;
    if (const int rc = file.fillTo(bootStart); rc != imagecode::ok) return rc;
    if (const int rc = file.appendFile(first, crc); rc != imagecode::ok) return rc;
    // The boot program learns the alignment from the last byte of its own entry.
    if (isBoot) firstEncoded[packageNameSize - 1] = static_cast<uint8_t>(alignment);
    entries.push_back(
        makeEntry(imageEntryType(firstLower), crc, bootStart, first.size(), 0, firstEncoded));

    if (const int rc = file.fillTo(zoneFileStart); rc != imagecode::ok) return rc;
    {
        PseudoFile zoneFile(joinPath(folders.currentFolder, zoneFileName));
        if (const int rc = zoneFile.appendTo(file, nullptr, zoneFileLength, crc); rc != 0)
            return rc;
    }
    entries.push_back(makeEntry(entryConfiguration, crc, findAddress, zoneFileLength, 1,
                                fixedName(zoneFileName)));
    printTo(out, "uboot_find_cfg_addr:%x\n", static_cast<uint32_t>(findAddress));

    uint16_t appCrc = 0;
    if (const int rc = file.fillTo(appStart); rc != imagecode::ok) return rc;
    if (const int rc = file.appendFile(app, appCrc); rc != imagecode::ok) return rc;
    entries.push_back(makeEntry(imageEntryType(appPackageName), appCrc, appStart, app.size(), 2,
                                fixedName(appPackageName)));
    // Addresses the firmware adds up in 32 bits, so they wrap the same way here.
    const uint32_t flashBase = static_cast<uint32_t>(appStart) - settings.codeStartOffset;
    const uint32_t imageHeaderAddress = package.headerPosition + settings.codeStartOffset;
    printTo(out, "app_file_addr:%x\n", static_cast<uint32_t>(appStart));
    printTo(out, "flash_base:%x\n", flashBase);
    printTo(out, "sdfile_head_addr:%x\n", imageHeaderAddress);

    uint16_t recordCrc = 0;
    if (const int rc = file.fillTo(recordAddress); rc != imagecode::ok) return rc;
    {
        PseudoFile recordFile(joinPath(folders.currentFolder, recordFileName));
        if (const int rc = recordFile.appendTo(file, settings.systemConfig.data(), systemConfigSize,
                                               recordCrc);
            rc != imagecode::ok)
            return rc;
    }
    entries.push_back(makeEntry(entryConfiguration, recordCrc, recordAddress, systemConfigSize, 3,
                                fixedName(recordFileName)));
    printTo(out, "sys_cfg_file_addr:%x\n", static_cast<uint32_t>(recordAddress));

    printTo(out, "file size = %u\n", static_cast<uint32_t>(packageSize));
    const std::vector<uint8_t> area = buildHeaderArea(headerArea, entries, imageEntryCount,
                                                      static_cast<uint32_t>(packageSize), settings);
    if (const int rc = file.writeAt(0, area.data(), area.size()); rc != imagecode::ok) return rc;

    if (const int rc = file.fillTo(roundUp(file.length(), 256)); rc != imagecode::ok) return rc;
    if (!zoneSet) {
        if (const int rc = file.fillTo(roundUp(file.length(), sector)); rc != imagecode::ok)
            return rc;
        if (const int rc = file.fill(zoneSize); rc != imagecode::ok) return rc;
    }
    printTo(out, "cfg_zone_addr:%x\n", static_cast<uint32_t>(zoneAddress));
    if (const int rc = file.fillTo(roundUp(file.length(), alignment)); rc != imagecode::ok)
        return rc;
    if (file.length() != flashFileSize) return imagecode::writeFailed;  // layout and file agree
    printTo(out, "real file size %u\n", static_cast<uint32_t>(flashFileSize));

    std::array<uint8_t, systemConfigSize> record = settings.systemConfig;
    putLe32(record.data() + 8, static_cast<uint32_t>(flashFileSize));
    putLe32(record.data() + 12, imageHeaderAddress);
    putLe32(record.data() + 24, flashBase);
    putLe32(record.data() + 32, static_cast<uint32_t>(zoneAddress));
    if (const int rc = file.writeAt(recordAddress, record.data(), record.size());
        rc != imagecode::ok)
        return rc;

    std::array<uint8_t, findRecordSize> find{};
    putLe16(find.data(), appCrc);
    putLe16(find.data() + 2, recordCrc);
    putLe32(find.data() + 4, static_cast<uint32_t>(recordAddress));
    putLe16(find.data() + 8, settings.updateIoPin);
    putLe32(find.data() + 10, settings.codeStartOffset);
    putLe16(find.data() + 14, settings.updateLedPin);
    std::copy(settings.updateDeviceName.begin(), settings.updateDeviceName.end(),
              find.begin() + 16);
    if (const int rc = file.writeAt(findAddress, find.data(), find.size()); rc != imagecode::ok)
        return rc;
    if (const int rc = file.close(); rc != imagecode::ok) return rc;

    printSummary(out, record);

    image.path = path;
    image.flashFileSize = static_cast<uint32_t>(flashFileSize);
    image.packageSize = static_cast<uint32_t>(packageSize);
    image.imageHeaderAddress = imageHeaderAddress;
    image.flashBase = flashBase;
    image.configZoneAddress = static_cast<uint32_t>(zoneAddress);
    image.findRecordAddress = static_cast<uint32_t>(findAddress);
    image.applicationAddress = static_cast<uint32_t>(appStart);
    image.recordAddress = static_cast<uint32_t>(recordAddress);
    image.systemConfig = record;
    return imagecode::ok;
}

int checkImageSize(uint32_t flashFileSize, uint32_t flashSize, std::ostream& out) {
    if (flashFileSize <= flashSize) return imagecode::ok;
    printTo(out, "flash file size(0x%x) > flash size(0x%x)", flashFileSize, flashSize);
    return imagecode::diskMismatch;
}

}  // namespace vornload
