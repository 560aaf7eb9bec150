#include "cli/BatchCommand.h"

#include "app/SignCommands.h"
#include "batch/CClustersSend.h"
#include "batch/MessageQueue.h"
#include "batch/SignTransfer.h"
#include "cli/SignSession.h"
#include "platform/StringUtil.h"
#include "platform/TextCodec.h"
#include "project/ProjectFile.h"

#include <unistd.h>

#include <cstdio>
#include <map>

ScreenRecord screenWithPrograms(const ProjectFile::LoadedScreen& loaded) {
    ScreenRecord screen = loaded.screen;
    // The keys a project gets when it is opened: the file's order, at most ten.
    ProgramKey key = programKey(1, 1);
    for (const ProgramRecord& p : loaded.programs) {
        if (screen.programs.size() == 10) break;
        screen.programs[key++] = p;
    }
    return screen;
}

namespace {

using Row = CClustersSend::Row;

std::string utf8(const std::u16string& text) {
    return platform::utf16ToUtf8(text);
}

// One line per sign, rewritten in place while the signs take their packets.
class ProgressLines {
public:
    explicit ProgressLines(bool terminal) : m_terminal(terminal) {}

    void show(const std::vector<Row>& rows) {
        if (!m_terminal) return;
        if (m_shown) std::fprintf(stderr, "\x1b[%dA", m_shown);
        for (const Row& row : rows)
            std::fprintf(stderr, "\x1b[2K%s  %s\n", utf8(row[CClustersSend::COL_ID]).c_str(),
                         utf8(row[CClustersSend::COL_PROGRESS]).c_str());
        // Lines of signs that went away are cleared, not left standing.
        for (int k = static_cast<int>(rows.size()); k < m_shown; ++k)
            std::fprintf(stderr, "\x1b[2K\n");
        if (static_cast<int>(rows.size()) < m_shown)
            std::fprintf(stderr, "\x1b[%dA", m_shown - static_cast<int>(rows.size()));
        m_shown = static_cast<int>(rows.size());
        std::fflush(stderr);
    }

private:
    bool m_terminal;
    int m_shown = 0;
};

std::string resultWords(int code, const platform::TextLookup& english) {
    if (code == signlink::TRANSFER_OK) return "OK";
    if (code == batch::kTransferStopped) return "stopped (the sign went away)";
    return utf8(SignCommands::resultText(code, english));
}

int noSign(const platform::TextLookup& english) {
    std::fprintf(stderr, "zentari-cli: %s\n",
                 utf8(SignCommands::resultText(signlink::TRANSFER_NO_SIGN, english)).c_str());
    return kBatchNoSign;
}

// Rows that get nothing, by key, with the reason.
using Skipped = std::map<std::u16string, std::string>;

int sendAndReport(CClustersSend& dlg, batch::MessageQueue& queue, SignSession& sign,
                  const platform::TextLookup& english, const Skipped& skipped = {});

}  // namespace

bool openSigns(SignSession& sign, const SignOptions& options) {
    std::string error;
    if (sign.open(options, error)) return true;
    std::fprintf(stderr, "zentari-cli: %s\n", error.c_str());
    return false;
}

CClustersSend::Services consoleServices(SignSession& sign, batch::MessageQueue& queue,
                                        const platform::TextLookup& texts) {
    return {sign.table(), sign.clock(), texts,
            [&queue](std::function<void()> message) { queue.post(std::move(message)); }};
}

int runBatch(const BatchArguments& args, const ScreenImageMaker& makeImage,
             const platform::TextLookup& english) {
    std::vector<ProjectFile::LoadedScreen> loaded;
    std::string error;
    if (!ProjectFile::read(args.project, loaded, &error)) {
        std::fprintf(stderr, "zentari-cli: cannot read the project file %s\n", error.c_str());
        return kBatchBadProject;
    }
    if (loaded.empty()) {
        std::fprintf(stderr, "zentari-cli: %s holds no screen\n", args.project.c_str());
        return kBatchBadProject;
    }
    std::vector<ScreenRecord> screens;
    std::vector<std::u16string> names;
    for (const auto& s : loaded) {
        screens.push_back(screenWithPrograms(s));
        names.push_back(s.screen.name);
    }
    // The screens asked for, as the project spells them; the first one without any.
    std::vector<std::u16string> chosen;
    for (const std::string& wanted : args.screens) {
        const std::u16string name = platform::utf8ToUtf16(wanted);
        auto it = std::find_if(names.begin(), names.end(),
                               [&](const auto& n) { return platform::equalsNoCase(n, name); });
        if (it == names.end()) {
            std::fprintf(stderr, "zentari-cli: no screen named '%s' in %s\n", wanted.c_str(),
                         args.project.c_str());
            return kBatchBadProject;
        }
        chosen.push_back(*it);
    }
    if (chosen.empty()) chosen.push_back(names.front());

    SignSession sign;
    if (!openSigns(sign, args.signs)) return 1;
    batch::MessageQueue queue;
    CClustersSend dlg(consoleServices(sign, queue, english), CClustersSend::MODE_SCREEN, names,
                      [&](const std::u16string& name) {
                          for (const ScreenRecord& screen : screens) {
                              if (!platform::equalsNoCase(screen.name, name)) continue;
                              const DeviceImage::Built built = makeImage(screen);
                              return std::vector<uint8_t>(built.bytes.begin(), built.bytes.end());
                          }
                          return std::vector<uint8_t>();
                      });
    dlg.onInitDialog();
    if (dlg.rows().empty()) return noSign(english);
    // Row by row, each choice filling the rows below it as in the dialog.
    for (size_t k = 0; k < chosen.size() && k < dlg.rows().size(); ++k)
        dlg.onCellEdited(static_cast<int>(k), CClustersSend::COL_TARGET, chosen[k]);
    return sendAndReport(dlg, queue, sign, english);
}

int runBatchSized(const SignOptions& options, std::optional<std::pair<int, int>> fixed,
                  const ScreenForSize& makeScreen, const ScreenImageMaker& makeImage,
                  const platform::TextLookup& english) {
    SignSession sign;
    if (!openSigns(sign, options)) return 1;
    batch::MessageQueue queue;
    // Filled once the rows are known; the dialog asks for images only on Send.
    std::map<std::u16string, ScreenRecord> screens;
    CClustersSend dlg(consoleServices(sign, queue, english), CClustersSend::MODE_SCREEN, {},
                      [&](const std::u16string& name) {
                          auto it = screens.find(name);
                          if (it == screens.end()) return std::vector<uint8_t>();
                          const DeviceImage::Built built = makeImage(it->second);
                          return std::vector<uint8_t>(built.bytes.begin(), built.bytes.end());
                      });
    dlg.onInitDialog();
    if (dlg.rows().empty()) return noSign(english);

    Skipped skipped;
    const std::atomic<bool> running{true};
    const std::vector<Row> rows = dlg.rows();
    for (size_t k = 0; k < rows.size(); ++k) {
        const std::u16string& key = rows[k][CClustersSend::COL_KEY];
        std::optional<batch::SignSize> size;
        if (fixed) {
            size = batch::SignSize{fixed->first, fixed->second};
        } else if (auto entry =
                       sign.table().acquire(static_cast<int32_t>(platform::parseDecimal(key)))) {
            size = batch::querySignSize(sign.table(), *entry, sign.clock(), running);
        }
        // Each row is set on its own: a choice also fills the rows below it.
        if (!size) {
            skipped[key] = "the sign did not tell its size";
            dlg.onCellEdited(static_cast<int>(k), CClustersSend::COL_TARGET, {});
            continue;
        }
        const std::u16string name =
            platform::utf8ToUtf16(std::to_string(size->width) + "x" + std::to_string(size->height));
        if (!screens.count(name)) {
            std::optional<ScreenRecord> screen = makeScreen(size->width, size->height);
            if (!screen) return 1;
            screen->name = name;
            screens.emplace(name, std::move(*screen));
        }
        dlg.onCellEdited(static_cast<int>(k), CClustersSend::COL_TARGET, name);
    }
    return sendAndReport(dlg, queue, sign, english, skipped);
}

int runBatchPrepared(const SignOptions& options, std::vector<uint8_t> image,
                     const platform::TextLookup& english) {
    SignSession sign;
    if (!openSigns(sign, options)) return 1;
    batch::MessageQueue queue;
    CClustersSend dlg(consoleServices(sign, queue, english), CClustersSend::MODE_SCREEN, {}, {},
                      std::move(image));
    dlg.onInitDialog();
    if (dlg.rows().empty()) return noSign(english);
    return sendAndReport(dlg, queue, sign, english);
}

namespace {

int sendAndReport(CClustersSend& dlg, batch::MessageQueue& queue, SignSession& sign,
                  const platform::TextLookup& english, const Skipped& skipped) {
    const std::vector<Row> sentTo = dlg.rows();
    dlg.onSend();

    ProgressLines lines(isatty(STDERR_FILENO) == 1);
    lines.show(dlg.rows());
    while (dlg.runningWorkers() > 0)
        if (queue.waitAndRun(std::chrono::milliseconds(100)) > 0) lines.show(dlg.rows());
    dlg.joinWorkers();
    queue.runPending();
    lines.show(dlg.rows());

    const auto results = dlg.results();
    bool everything = true;
    for (const Row& row : sentTo) {
        const std::u16string& key = row[CClustersSend::COL_KEY];
        const std::string id = utf8(row[CClustersSend::COL_ID]);
        // A prepared image has no screen column.
        std::string screen = utf8(row[CClustersSend::COL_TARGET]);
        if (screen.empty()) screen.push_back('-');
        auto result = results.find(static_cast<int32_t>(platform::parseDecimal(key)));
        if (result == results.end()) {
            everything = false;
            auto why = skipped.find(key);
            std::printf("%s  %s  %s  %s\n", utf8(key).c_str(), id.c_str(), screen.c_str(),
                        why != skipped.end()
                            ? ("nothing sent: " + why->second).c_str()
                            : "nothing to send: no checked program shows anything");
            continue;
        }
        const CClustersSend::SignResult& r = result->second;
        everything &= r.code == signlink::TRANSFER_OK;
        std::printf("%s  %s  %s  %u/%u  %s\n", utf8(key).c_str(), id.c_str(), screen.c_str(),
                    r.done, r.total, resultWords(r.code, english).c_str());
    }
    for (const auto& line : sign.virtualSignSummary())
        std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stdout);
    return everything ? kBatchAllSent : kBatchSomeFailed;
}

}  // namespace
