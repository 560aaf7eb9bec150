#include "flashtool/device/Chip.h"

#include "flashtool/device/CommandBlock.h"
#include "flashtool/device/StorageKind.h"
#include "flashtool/image/ImageSettings.h"
#include "flashtool/image/InputFile.h"
#include "flashtool/image/PackageFile.h"
#include "flashtool/image/PrintTo.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <vector>

namespace vornload {

namespace {

constexpr uint32_t sector = 512;
constexpr int pieceAttempts = 10;

std::string lowerWithoutSpaces(const std::string& text) {
    std::string s;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool allErased(const uint8_t* data, size_t length) {
    return std::all_of(data, data + length, [](uint8_t b) { return b == 0xFF; });
}

// Reads exactly `length` bytes at `position` of an open file, or fails.
bool readAt(InputFile& file, uint64_t position, uint8_t* data, size_t length) {
    return file.readAt(position, data, length) == static_cast<long>(length);
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Chip::Chip(std::unique_ptr<ScsiTarget> target, std::string identification, std::ostream& out)
    : m_target(std::move(target)), m_identification(std::move(identification)), m_out(out) {}

void Chip::setStorageKind(int kind) {
    m_storageKind = kind;
    if (const StorageKindInfo* info = storageKindInfo(kind)) m_blockSize = info->blockSize;
}

int Chip::request(const CommandBlock& command, DataDirection direction, uint8_t* data,
                  uint32_t length) {
    return m_target->execute(command, direction, data, length, scsiTimeoutMs);
}

int Chip::answered(const CommandBlock& command, uint8_t sub, bool resultInByte2) {
    uint8_t response[responseSize] = {};
    if (const int rc = request(command, DataDirection::in, response, responseSize); rc != 0)
        return rc;
    if (response[0] != command::write || response[1] != sub) return 1;
    return resultInByte2 ? response[2] : 0;
}

int Chip::mediaQuery(uint8_t selector, uint16_t parameter, MediaAnswer& answer) {
    uint8_t r[responseSize] = {};
    if (const int rc =
            request(command::mediaQuery(selector, parameter), DataDirection::in, r, responseSize);
        rc != 0)
        return rc;
    if (r[0] != command::query || r[1] != command::mediaQueryOp) return 1;
    answer.mediaCode = r[2];
    if (r[2] == 0) {
        answer.identifier = 0;
        return 5;
    }
    answer.identifier = static_cast<uint32_t>(r[4]) | static_cast<uint32_t>(r[5]) << 8 |
                        static_cast<uint32_t>(r[6]) << 16 | static_cast<uint32_t>(r[7]) << 24;
    return 0;
}

int Chip::eraseBlock(uint32_t address) {
    return answered(command::eraseBlock(address), command::eraseBlockOp, true);
}

int Chip::eraseSector(uint32_t address) {
    return answered(command::eraseSector(address), command::eraseSectorOp, false);
}

int Chip::eraseChip() {
    return answered(command::eraseChip(), command::eraseChipOp, false);
}

int Chip::run(uint32_t address, uint16_t argument) {
    return answered(command::run(address, argument), command::runOp, false);
}

int Chip::readStorage(uint32_t address, uint8_t* data, uint16_t length) {
    return request(command::readStorage(address, length), DataDirection::in, data, length);
}

int Chip::readRam(uint32_t address, uint8_t* data, uint16_t length) {
    return request(command::readRam(address, length), DataDirection::in, data, length);
}

int Chip::writeStorage(uint32_t address, const uint8_t* data, uint16_t length) {
    std::vector<uint8_t> out(std::max<uint32_t>(length, sector), 0xFF);
    std::copy_n(data, length, out.begin());
    const auto sent = static_cast<uint16_t>(out.size());
    return request(command::writeStorage(address, out.data(), sent), DataDirection::out, out.data(),
                   sent);
}

int Chip::writeRam(uint32_t address, const uint8_t* data, uint16_t length) {
    std::vector<uint8_t> out(data, data + length);
    return request(command::writeRam(address, out.data(), length), DataDirection::out, out.data(),
                   length);
}

int Chip::readShrinking(bool ram, uint32_t address, uint8_t* data, uint32_t length, int maxFailures,
                        bool report) {
    uint32_t size = sector;
    uint32_t done = 0;
    int failures = 0;
    while (done < length) {
        const auto n = static_cast<uint16_t>(std::min(size, length - done));
        const int rc = ram ? readRam(address + done, data + done, n)
                           : readStorage(address + done, data + done, n);
        if (rc == 0) {
            done += n;
            continue;
        }
        ++failures;
        const uint32_t next = size >= 64 ? 63 : size - 4;
        if (next <= 16 || failures >= maxFailures) {
            if (report) m_out << "C ";
            return rc;
        }
        if (report && size < 64) m_out << "B ";
        size = next;
    }
    return 0;
}

int Chip::downloadFile(const std::string& path, uint32_t address, bool verify) {
    InputFile file;
    if (file.open(path) != imagecode::ok || file.size() > maxDownload) {
        printTo(m_out, "open file %s error\n", path.c_str());
        return 6;
    }
    const auto length = static_cast<uint32_t>(file.size());
    // Always at least one sector of zeros after the file: the loader looks for them.
    std::vector<uint8_t> data((length / sector + 1) * sector, 0);
    if (length && !readAt(file, 0, data.data(), length)) {
        printTo(m_out, "open file %s error\n", path.c_str());
        return 6;
    }
    for (uint32_t at = 0; at < data.size(); at += sector) {
        int rc = 0;
        for (int attempt = 0; attempt < pieceAttempts; ++attempt)
            if ((rc = writeRam(address + at, data.data() + at, sector)) == 0) break;
        if (rc != 0) return rc;
    }
    if (!verify) return 0;
    std::vector<uint8_t> back(sector);
    for (uint32_t at = 0; at < length; at += sector) {
        const uint32_t n = std::min(sector, length - at);
        if (const int rc = readShrinking(true, address + at, back.data(), n, 1 << 30, false);
            rc != 0)
            return rc;
        if (!std::equal(back.begin(), back.begin() + n, data.begin() + at)) return 1;
    }
    return 0;
}

int Chip::eraseChecked(uint32_t blockAddress, uint32_t checkOffset, int attempts, int& failure) {
    uint8_t check[sector];
    int rc = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if ((rc = eraseBlock(blockAddress)) != 0) {
            failure = 0;
            continue;
        }
        if ((rc = readStorage(blockAddress + m_blockSize - checkOffset, check, sector)) != 0) {
            failure = 1;
            continue;
        }
        if (allErased(check, sector)) return 0;
        failure = 2;
        rc = 3;
    }
    return rc;
}

int Chip::writeBlockVerified(const uint8_t* data, uint32_t address, uint32_t length, bool erase) {
    if (erase && m_storageKind != storageSd) {
        int failure = 0;
        if (const int rc = eraseChecked(address, 2560, pieceAttempts, failure); rc != 0)
            return failure == 2 ? 1 : rc;
    }
    for (uint32_t at = 0; at < length; at += sector) {
        const auto n = static_cast<uint16_t>(std::min(sector, length - at));
        int rc = 0;
        for (int attempt = 0; attempt < pieceAttempts; ++attempt)
            if ((rc = writeStorage(address + at, data + at, n)) == 0) break;
        if (rc != 0) return rc;
    }
    uint8_t back[sector];
    for (uint32_t at = 0; at < length; at += sector) {
        const uint32_t n = std::min(sector, length - at);
        if (const int rc = readShrinking(false, address + at, back, n, pieceAttempts, true);
            rc != 0)
            return rc;
        if (!std::equal(back, back + n, data + at)) return 1;
    }
    return 0;
}

int Chip::writeImage(const std::string& file, bool erase, uint32_t address, uint32_t zoneEnd,
                     const std::string& work) {
    printTo(m_out, "Write File 2Disk physical address:0x%.08x\n", address);
    InputFile image;
    if (image.open(file) != imagecode::ok) {
        printTo(m_out, "open %s file fail\n", fileNameOf(file).c_str());
        return 1;
    }
    const uint64_t length = image.size();
    const uint32_t bs = m_blockSize;
    const uint64_t n = (length + bs - 1) / bs;
    if (length > 0xFFFFFFFFull) return 1;
    std::vector<bool> differs(n, true);
    const std::string dump = work + ".dump";
    const std::string bak = work + ".bak";
    std::vector<uint8_t> block(bs);
    std::vector<uint8_t> previous(bs);

    // The previous image is only trusted when the chip still holds it.
    const auto takeWhole = [&]() {
        if (!copyPackageFile(file, dump)) {
            m_out << "creat dump file fail\n";
            return 2;
        }
        // Without a true copy the next run must not compare against a stale one.
        if (!copyPackageFile(file, bak)) ::unlink(bak.c_str());
        return 0;
    };
    if (erase) {
        if (const int rc = takeWhole(); rc != 0) return rc;
    } else {
        PackageFile dumpFile;
        if (dumpFile.create(dump) != imagecode::ok) {
            m_out << "creat dump file fail\n";
            return 2;
        }
        uint8_t onChip[sector] = {};
        int rc = readStorage(address, onChip, sector);
        for (int again = 0; again < 5 && rc == 0 && onChip[0] == 0; ++again)
            rc = readStorage(address, onChip, sector);
        InputFile previousImage;
        uint8_t kept[sector];
        bool same = rc == 0 && previousImage.open(bak) == imagecode::ok &&
                    readAt(previousImage, 0, kept, sector) &&
                    std::equal(kept, kept + sector, onChip);
        if (same) {
            printTo(m_out, "---------------------------------------%d\n",
                    static_cast<int>(zoneEnd));
            rc = readStorage(address + zoneEnd, onChip, sector);
            for (int again = 0; again < 5 && rc == 0 && onChip[0] == 0 && onChip[1] == 0; ++again)
                rc = readStorage(address + zoneEnd, onChip, sector);
            // The find record, at the same place in both images.
            same = rc == 0 && readAt(previousImage, zoneEnd, kept, sector) &&
                   std::equal(kept, kept + sector, onChip);
        }
        if (!same) {
            dumpFile.close();
            if (const int copied = takeWhole(); copied != 0) return copied;
        } else {
            for (uint64_t i = 0; i < n; ++i) {
                const uint64_t at = i * bs;
                const auto len = static_cast<size_t>(std::min<uint64_t>(bs, length - at));
                if (!readAt(image, at, block.data(), len)) return 1;
                const uint64_t previousLength = previousImage.size();
                const bool sameLength =
                    previousLength > at && std::min<uint64_t>(bs, previousLength - at) == len;
                if (sameLength && readAt(previousImage, at, previous.data(), len) &&
                    std::equal(block.begin(), block.begin() + len, previous.begin())) {
                    differs[i] = false;
                    continue;
                }
                if (dumpFile.append(block.data(), len) != imagecode::ok) {
                    m_out << "creat dump file fail\n";
                    return 2;
                }
            }
            if (dumpFile.close() != imagecode::ok) {
                m_out << "creat dump file fail\n";
                return 2;
            }
            if (!copyPackageFile(file, bak)) ::unlink(bak.c_str());
        }
    }

    const uint32_t first = address / bs;
    if (m_storageKind != storageSd) {
        m_out << "Erase Flash block ……\n";
        for (uint64_t i = 0; i < n; ++i) {
            if (!differs[i]) continue;
            const auto number = static_cast<int>(i + first);
            int failure = 0;
            const int rc = eraseChecked(address + static_cast<uint32_t>(i * bs), 1024, 4, failure);
            if (rc != 0) {
                if (failure == 0) printTo(m_out, "Erase Flash Block(%d) fail %d\n", number, rc);
                if (failure == 1) printTo(m_out, "Erase Flash Block(%d) fail\n", number);
                if (failure == 2) printTo(m_out, "Erase Flash Block(%d) fail \n", number);
                return rc;
            }
            printTo(m_out, "%d ", number);
        }
    }

    m_out << "\n write data to  block……\r\n";
    InputFile dumpFile;
    if (dumpFile.open(dump) != imagecode::ok) {
        m_out << "open dump file fail\n";
        return 3;
    }
    const auto blockLength = [&](uint64_t i) {
        return static_cast<uint32_t>(std::min<uint64_t>(bs, length - i * bs));
    };
    uint64_t position = n > 0 && differs[0] ? blockLength(0) : 0;
    for (uint64_t i = 1; i < n; ++i) {
        if (!differs[i]) continue;
        const uint32_t len = blockLength(i);
        const auto number = static_cast<int>(i + first);
        int rc = readAt(dumpFile, position, block.data(), len) ? 0 : 3;
        position += len;
        if (rc == 0)
            rc = writeBlockVerified(block.data(), address + static_cast<uint32_t>(i * bs), len,
                                    erase);
        if (rc != 0) {
            printTo(m_out, "write block(%d) fail %d\n", number, rc);
            return rc;
        }
        printTo(m_out, "%d ", number);
    }
    // Block 0 holds the header the boot program starts from: written last, so an
    // interrupted write leaves a chip that does not start a half-written image.
    if (n > 0 && differs[0]) {
        const uint32_t len = blockLength(0);
        int rc = readAt(dumpFile, 0, block.data(), len) ? 0 : 3;
        if (rc == 0) rc = writeBlockVerified(block.data(), address, len, true);
        if (rc != 0) {
            printTo(m_out, "write block(%d) fail %d\n", static_cast<int>(first), rc);
            return rc;
        }
        printTo(m_out, "%d \n", static_cast<int>(first));
    }
    return 0;
}

std::string identificationOf(const DiskInfo& disk) {
    return lowerWithoutSpaces(disk.vendor + disk.product);
}

std::unique_ptr<Chip> findChip(DiskSource& disks, const std::string& names, std::ostream& out,
                               std::ostream& notice) {
    size_t start = 0;
    while (start <= names.size()) {
        const size_t end = std::min(names.find(';', start), names.size());
        std::string name = lowerWithoutSpaces(names.substr(start, end - start));
        if (name.empty()) break;
        for (const DiskInfo& disk : disks.list()) {
            const std::string id = identificationOf(disk);
            std::string wanted = name;
            if (id.find("tz43") != std::string::npos) {
                out << "QK500\n";
                wanted = "tz43";
            } else if (!id.empty()) {
                out << id << "\n";
            }
            if (id.find(wanted) == std::string::npos && id.find("tz43") == std::string::npos &&
                id.find("qk500") == std::string::npos)
                continue;
            int error = 0;
            std::unique_ptr<ScsiTarget> target = disks.open(disk, error);
            if (!target) {
                notice << "vornload: cannot open " << disk.name << ": " << std::strerror(error);
                if (error == EACCES || error == EPERM)
                    notice << " (the udev rule 61-vornload.rules gives the seat's user access)";
                else if (error == ENOENT)
                    notice << " (no SCSI generic node: load the sg driver)";
                notice << "\n";
                continue;
            }
            return std::make_unique<Chip>(std::move(target), id, out);
        }
        start = end + 1;
    }
    return nullptr;
}

}  // namespace vornload
