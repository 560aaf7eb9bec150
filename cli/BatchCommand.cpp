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

int sendAndReport(CClustersSend& dlg, batch::MessageQueue& queue, SignSession& sign,
                  const platform::TextLookup& english);

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
                  const platform::TextLookup& english) {
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
            std::printf("%s  %s  %s  nothing to send: no checked program shows anything\n",
                        utf8(key).c_str(), id.c_str(), screen.c_str());
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
