#include "flashtool/run/Console.h"

#include "flashtool/config/FlashDescription.h"
#include "flashtool/device/Chip.h"
#include "flashtool/image/ImageSettings.h"
#include "flashtool/image/PackageFile.h"
#include "flashtool/image/PrintTo.h"
#include "flashtool/run/ErrorReport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>
#include <random>
#include <vector>

namespace vornload {

namespace {

constexpr uint32_t sector = 512;
constexpr int consoleTries = 4;
constexpr uint32_t diskCopyStride = 0x3B0000;
// A memory test holds what it wrote and what it read: bounded well beyond any chip's RAM.
constexpr uint64_t maxMemoryTest = 64u << 20;
constexpr int consolePlace = 300;

std::string resolve(const RunEnvironment& env, const std::string& name) {
    if (name.empty() || name[0] == '/' || env.currentFolder.empty() || env.currentFolder == ".")
        return name;
    return env.currentFolder + "/" + name;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        const size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i > start) w.push_back(line.substr(start, i - start));
    }
    return w;
}

std::string withoutSpaces(std::string s) {
    s.erase(
        std::remove_if(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c) != 0; }),
        s.end());
    return s;
}

// A whole number in the line's base, with an optional 0x; nothing else may follow.
std::optional<uint32_t> number(const std::string& text, int base) {
    std::string t = text;
    if (base == 16 && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 10) return std::nullopt;
    uint64_t v = 0;
    for (char c : t) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                          ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                          : -1;
        if (d < 0) return std::nullopt;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<uint32_t>(v);
}

// What the commands with a file or a range take from their line.
struct Arguments {
    std::string file;       // the last word
    std::string addresses;  // between the first and the last space, spaces removed
};

Arguments splitArguments(const std::string& line) {
    Arguments a;
    const size_t first = line.find(' ');
    const size_t last = line.rfind(' ');
    if (first == std::string::npos) return a;
    a.file = line.substr(last + 1);
    a.addresses = withoutSpaces(line.substr(first + 1, last - first));
    return a;
}

class Console {
public:
    Console(std::istream& in, const RunEnvironment& env)
        : m_in(in), m_env(env), m_out(*env.out), m_random(std::random_device{}()) {}

    int run(bool terminal) {
        if (terminal) {
            // The terminal's own title; the text is UTF-8, the terminal's code page.
            printTo(m_out, "\033]0;QK500(SDRAM) BootLoader Console (CP:%u)\007", 65001u);
        }
        m_out << "? for help\n";
        if (m_env.disks) m_chip = findChip(*m_env.disks, "tz43", m_out, *m_env.notice);
        std::string line;
        for (;;) {
            m_out << ">" << std::flush;
            if (!std::getline(m_in, line)) {
                m_out << "\n";
                return 0;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::string trimmed = withoutSpaces(line);
            if (trimmed == "q" || trimmed == "Q") return 0;
            if (line.find("dev") != std::string::npos) {
                const std::vector<std::string> w = words(line);
                m_chip.reset();
                if (m_env.disks && !w.empty())
                    m_chip = findChip(*m_env.disks, w.back(), m_out, *m_env.notice);
                if (!m_chip) m_out << "device offline\n";
                continue;
            }
            if (line.empty() || line[0] != '?') {
                const ConfigResult read =
                    readFlashDescription(resolve(m_env, descriptionFileName),
                                         SdramClockSource::console, m_out, m_description);
                if (read.status == ConfigStatus::failed) {
                    m_out << read.message;
                    return reportError(consolePlace, read.code, 16, m_env.tempFolder, m_out,
                                       *m_env.notice);
                }
            }
            if (const int status = command(line); status >= 0) return status;
        }
    }

private:
    // -1 to go on, else the exit status.
    int command(const std::string& line) {
        const std::string name = line.substr(0, std::min<size_t>(2, line.size()));
        if (!line.empty() && line[0] == '?') {
            printConsoleHelp(m_out);
            return -1;
        }
        if (name == "ds") {
            m_out << "Show disk status\n";
            return -1;
        }
        static const char* const known[] = {"rd", "rr", "wd", "wr", "es", "eb", "ec", "go", "mt"};
        if (std::find(std::begin(known), std::end(known), name) == std::end(known)) {
            m_out << "unkown cmd\n"
                  << "? for help\n";
            return -1;
        }
        if (!m_chip) {
            m_out << "device offline\n";
            return -1;
        }
        m_base =
            line.find("0x") != std::string::npos || line.find("0X") != std::string::npos ? 16 : 10;
        if (name == "rd" || name == "rr") return dump(line, name == "rr");
        if (name == "wd") return writeDisk(line);
        if (name == "wr") return writeRam(line);
        if (name == "es" || name == "eb") return erase(line, name == "eb");
        if (name == "ec") {
            m_out << "erase chip\n";
            if (const int rc = m_chip->eraseChip(); rc != 0)
                printTo(m_out, "erase chip error %.8x\n", static_cast<unsigned>(rc));
            return -1;
        }
        if (name == "go") return go(line);
        return memoryTest(line);
    }

    int argumentError() {
        m_out << "cmd arg error\n";
        return -1;
    }

    // "A-B" in the line's base; prints the order error itself.
    bool range(const std::string& text, uint32_t& from, uint32_t& to) {
        const size_t dash = text.find('-');
        if (dash == std::string::npos) return false;
        const auto a = number(text.substr(0, dash), m_base);
        const auto b = number(text.substr(dash + 1), m_base);
        if (!a || !b) return false;
        from = *a;
        to = *b;
        if (to < from) {
            printTo(m_out, "The starting address(0x%.8x) is greater than the end address(0x%.8x)\n",
                    from, to);
            m_orderError = true;
            return false;
        }
        return true;
    }

    bool rangeArgument(const std::string& text, uint32_t& from, uint32_t& to) {
        m_orderError = false;
        if (range(text, from, to)) return true;
        if (!m_orderError) argumentError();
        return false;
    }

    int dump(const std::string& line, bool ram) {
        const Arguments a = splitArguments(line);
        uint32_t from = 0;
        uint32_t to = 0;
        if (a.file.empty()) return argumentError();
        if (!rangeArgument(a.addresses, from, to)) return -1;
        printTo(m_out,
                ram ? "dump ram form 0x%.8x to 0x%.8x to file %s\n"
                    : "dump disk form 0x%.8x to 0x%.8x to file %s\n",
                from, to, a.file.c_str());
        PackageFile file;
        if (file.create(resolve(m_env, a.file)) != imagecode::ok) {
            m_out << std::strerror(errno) << "\n";
            return -1;
        }
        const uint64_t length = (static_cast<uint64_t>(to - from) + sector - 1) / sector * sector;
        uint8_t piece[sector];
        for (uint64_t at = 0; at < length; at += sector) {
            const auto address = static_cast<uint32_t>(from + at);
            int rc = 0;
            for (int attempt = 0; attempt < consoleTries; ++attempt) {
                rc = ram ? m_chip->readRam(address, piece, sector)
                         : m_chip->readStorage(address, piece, sector);
                if (rc == 0) break;
            }
            if (rc != 0) {
                printTo(m_out,
                        ram ? "read ram(0x%.8x) error  %.8x\n" : "read flash(0x%.8x) error  %.8x\n",
                        address, static_cast<unsigned>(rc));
                break;
            }
            if (file.append(piece, sector) != imagecode::ok) {
                m_out << std::strerror(errno) << "\n";
                break;
            }
        }
        if (file.close() != imagecode::ok) m_out << std::strerror(errno) << "\n";
        return -1;
    }

    int writeDisk(const std::string& line) {
        const Arguments a = splitArguments(line);
        const auto start = number(a.addresses, m_base);
        if (a.file.empty() || !start) return argumentError();
        if (*start % sector != 0) {
            printTo(m_out, "start addr(0x%.8x) must aline to sector \n", *start);
            return -1;
        }
        // Copies follow every 0x3B0000 bytes until the storage refuses one.
        const std::string file = resolve(m_env, a.file);
        for (uint64_t at = *start;; at += diskCopyStride) {
            const int rc = at > 0xFFFFFFFFull
                               ? 1
                               : m_chip->writeImage(file, true, static_cast<uint32_t>(at), 0,
                                                    m_env.tempFolder + "/wdisk");
            if (rc != 0) {
                printTo(m_out, "write file %s to disk fail err=0x%.8x\n", a.file.c_str(),
                        static_cast<unsigned>(rc));
                m_out << '\a';
                return -1;
            }
        }
    }

    int writeRam(const std::string& line) {
        const Arguments a = splitArguments(line);
        const auto start = number(a.addresses, m_base);
        if (a.file.empty() || !start) return argumentError();
        printTo(m_out, "write file %s to ram at 0x%.8x\n", a.file.c_str(), *start);
        if (const int rc = m_chip->downloadFile(resolve(m_env, a.file), *start, true); rc != 0)
            printTo(m_out, "write file to ram err=0x%.8x\n", static_cast<unsigned>(rc));
        return -1;
    }

    int erase(const std::string& line, bool blocks) {
        const std::vector<std::string> w = words(line);
        uint32_t from = 0;
        uint32_t to = 0;
        if (w.size() < 2 || !rangeArgument(w.back(), from, to)) return -1;
        printTo(m_out,
                blocks ? "erase block(0x%.8x) to block(0x%.8x)\n"
                       : "erase sectors(0x%.8x) to sectors(0x%.8x)\n",
                from, to);
        const uint64_t base = static_cast<uint64_t>(from) * sector;
        const uint64_t stride = blocks ? 0x10000 : sector;
        for (uint64_t k = 0; k <= static_cast<uint64_t>(to - from); ++k) {
            const uint64_t address = base + k * stride;
            // Beyond 32 bits there is nothing left to erase.
            if (address > 0xFFFFFFFFull) break;
            int rc = 0;
            for (int attempt = 0; attempt < consoleTries; ++attempt) {
                rc = blocks ? m_chip->eraseBlock(static_cast<uint32_t>(address))
                            : m_chip->eraseSector(static_cast<uint32_t>(address));
                if (rc == 0) break;
            }
            if (rc != 0) {
                printTo(m_out,
                        blocks ? "erase block(0x%.8x) error  %.8x\n"
                               : "erase sectors(0x%.8x) error  %.8x\n",
                        static_cast<unsigned>(from + k), static_cast<unsigned>(rc));
                break;
            }
        }
        return -1;
    }

    int go(const std::string& line) {
        const std::vector<std::string> w = words(line);
        std::vector<uint32_t> v;
        for (size_t i = 1; i < w.size(); ++i) {
            const auto n = number(w[i], 16);
            if (!n) return argumentError();
            v.push_back(*n);
        }
        if (v.empty()) return argumentError();
        const uint32_t address = v[0];
        uint32_t argument = v.size() > 1 ? v[1] : 0;
        if (argument == 0xFFFFFFFF) {
            if (v.size() < 4) return argumentError();
            const uint32_t blockAddress = v[2];
            argument = v[3];
            printTo(m_out, "Goto the address(0x%.8x) arg(0x%.8x 0x%.8x 0x%.4x) run\n", address,
                    v[1], blockAddress, argument);
            m_description.loaderArgs.mode = argument;
            if (m_description.loaderArgs.valid()) {
                m_out << "set arg\n";
                const auto block = m_description.loaderArgs.toBytes();
                if (const int rc = m_chip->writeRam(blockAddress, block.data(),
                                                    static_cast<uint16_t>(block.size()));
                    rc != 0) {
                    m_out << "run loader error\n";
                    return reportError(consolePlace + 1, rc, 16, m_env.tempFolder, m_out,
                                       *m_env.notice);
                }
            }
        } else {
            printTo(m_out, "Goto the address(0x%.8x) arg(0x%.8x) run\n", address, argument);
        }
        if (m_chip->run(address, static_cast<uint16_t>(argument)) != 0) m_out << "run fial\n";
        return -1;
    }

    int memoryTest(const std::string& line) {
        const std::vector<std::string> w = words(line);
        if (w.size() < 4) return argumentError();
        const auto start = number(w[1], 16);
        std::string count = w[2];
        uint64_t unit = 0;
        if (line.find('M') != std::string::npos)
            unit = 1u << 20;
        else if (line.find('K') != std::string::npos)
            unit = 1u << 10;
        while (!count.empty() && std::isalpha(static_cast<unsigned char>(count.back())))
            count.pop_back();
        const auto amount = number(count, 10);
        // Without M or K the length has no unit: refused rather than guessed.
        if (!start || !amount || unit == 0 || *amount == 0) return argumentError();
        const uint64_t size = *amount * unit;
        const bool random = w[3] == "rand";
        const auto pattern = random ? std::optional<uint32_t>(0) : number(w[3], 16);
        if (size > maxMemoryTest || !pattern || *start + size - 1 > 0xFFFFFFFFull)
            return argumentError();
        printTo(m_out, "memtest ram form 0x%.8x to 0x%.8x with value %s size = %d\n", *start,
                static_cast<unsigned>(*start + size), w[3].c_str(), static_cast<int>(size));
        // Filled piece by piece as it goes out, so a chip that stops taking data early
        // costs no more than what it took.
        std::vector<uint8_t> written;
        std::uniform_int_distribution<int> byte(0, 254);
        for (uint64_t at = 0; at < size; at += sector) {
            const auto n = static_cast<uint16_t>(std::min<uint64_t>(sector, size - at));
            for (uint64_t i = at; i < at + n; ++i)
                written.push_back(random ? static_cast<uint8_t>(byte(m_random))
                                         : static_cast<uint8_t>(*pattern >> (8 * (i % 4))));
            const auto address = static_cast<uint32_t>(*start + at);
            if (const int rc = m_chip->writeRam(address, written.data() + at, n); rc != 0) {
                printTo(m_out, "memtest wr addr(%.8x) fail 0x%.8x\n", address,
                        static_cast<unsigned>(rc));
                return -1;
            }
        }
        std::vector<uint8_t> read(size);
        for (uint64_t at = 0; at < size; at += sector) {
            const auto n = static_cast<uint16_t>(std::min<uint64_t>(sector, size - at));
            const auto address = static_cast<uint32_t>(*start + at);
            if (const int rc = m_chip->readRam(address, read.data() + at, n); rc != 0) {
                printTo(m_out, "memtest rd addr(%.8x) fail 0x%.8x\n", address,
                        static_cast<unsigned>(rc));
                return -1;
            }
        }
        if (written == read) {
            m_out << "memtest test ok\n";
            return -1;
        }
        m_out << "memtest test fail\n";
        const auto save = [&](const char* name, const std::vector<uint8_t>& bytes) {
            PackageFile f;
            return f.create(resolve(m_env, name)) == imagecode::ok &&
                   f.append(bytes.data(), bytes.size()) == imagecode::ok &&
                   f.close() == imagecode::ok;
        };
        if (!save("wfile.bin", written)) m_out << "create wfile fail\n";
        if (!save("rfile.bin", read)) m_out << "create rfile fail\n";
        return -1;
    }

    std::istream& m_in;
    const RunEnvironment& m_env;
    std::ostream& m_out;
    std::unique_ptr<Chip> m_chip;
    FlashDescription m_description;
    std::mt19937 m_random;
    int m_base = 10;
    bool m_orderError = false;
};

}  // namespace

void printConsoleHelp(std::ostream& out) {
    out << "ds    - Show disk status\n"
           "rd<rdisk> [start addr][end addr] [filename] - read disk to file\n"
           "rr<rram>  [start addr][end addr] [filename] - read ram to file\n"
           "wd<wdisk> [start addr] [filename] - write file to disk\n"
           "wr<wram>  [start addr] [filename] - write file to ram\n"
           "mt<mtest> [start addr] [memory lenght][M|K] [mode(rand or value)] - memory test\n"
           "es    [start sectors][end sectors]\t- erase disk sectors\n"
           "eb    [start block][end block]\t\t- erase disk block\n"
           "ec    - erase all chip\n"
           "go    [run addr][arg...]\t - Goto the ram address run \n"
           "\t\n"
           "(the console's text is UTF-8, code page 65001; Q quits)\n";
    printTo(out, "build @ %s ---- %s\n", __DATE__, __TIME__);
}

int runConsole(std::istream& in, const RunEnvironment& env, bool terminal) {
    return Console(in, env).run(terminal);
}

}  // namespace vornload
