// qvfmake: renders fonts that FreeType reads into the fixed-cell bitmap fonts
// of a ".qvf" file.

#include "tools/qvfmake/CommandLine.h"
#include "tools/qvfmake/FontRecord.h"
#include "tools/qvfmake/GlyphRasterizer.h"

#include "platform/SafeSave.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "qvfmake: %s\n", message.c_str());
    return 1;
}

// Collects the requested code points the font has, renders them and fills the record.
bool makeRecord(const RecordRequest& request, FontRecord& font, std::string& summary,
                std::string& error) {
    GlyphRasterizer rasterizer;
    if (!rasterizer.open(request.fontPath, request.faceIndex, request.size, error)) return false;

    std::vector<char32_t> codePoints;
    if (request.allChars) {
        codePoints = rasterizer.mappedCodePoints();
    } else {
        std::vector<bool> wanted(0x10000, false);
        for (const CodePointRange& r : request.ranges)
            for (char32_t c = r.first; c <= r.last; ++c)
                wanted[c] = true;
        for (char32_t c = 0; c < 0x10000; ++c)
            if (wanted[c] && rasterizer.maps(c)) codePoints.push_back(c);
    }
    if (codePoints.empty()) {
        error = request.fontPath + " has none of the requested characters";
        return false;
    }

    // The ascender can exceed a cell smaller than the size; keep the baseline inside it.
    const int baseline =
        request.baseline ? *request.baseline : std::clamp(rasterizer.ascender(), 0, request.cell);
    std::string bits;
    size_t failed = 0;
    size_t clippedCount = 0;
    for (char32_t c : codePoints) {
        bool clipped = false;
        if (!rasterizer.render(c, request.cell, baseline, bits, clipped)) {
            ++failed;
            continue;
        }
        clippedCount += clipped;
        font.add(static_cast<char16_t>(c), bits);
    }
    if (font.unitCount() == 0) {
        error = request.fontPath + ": FreeType rendered none of the requested characters";
        return false;
    }

    summary = "\"" + request.name + "\": cell " + std::to_string(request.cell) + ", baseline " +
              std::to_string(baseline) + ", " + std::to_string(font.unitCount()) + " characters, " +
              std::to_string(font.glyphCount()) + " glyphs, from " + rasterizer.description();
    // Says when --baseline or --cell may want another value.
    if (clippedCount > 0)
        summary += "; " + std::to_string(clippedCount) + " cut at the cell's edge";
    if (failed > 0)
        summary +=
            " (" + std::to_string(failed) + " characters FreeType could not render left out)";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine line;
    std::string error;
    if (args.empty()) {
        std::fputs(usageText().c_str(), stderr);
        return 2;
    }
    if (!parseCommandLine(args, line, error)) {
        std::fprintf(stderr, "qvfmake: %s\nTry 'qvfmake --help'.\n", error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }

    std::vector<FontRecord> fonts;
    std::vector<std::string> summaries;
    fonts.reserve(line.records.size());
    for (const RecordRequest& request : line.records) {
        fonts.emplace_back(request.name, request.cell);
        std::string summary;
        if (!makeRecord(request, fonts.back(), summary, error)) return fail(error);
        summaries.push_back(std::move(summary));
    }

    std::string bytes;
    if (!buildQvfFile(fonts, bytes, error)) return fail(error);
    if (!platform::saveFileSafely(line.output, bytes, &error))
        return fail("cannot write " + line.output + ": " + error);
    for (const std::string& s : summaries)
        std::printf("%s: %s\n", line.output.c_str(), s.c_str());
    return 0;
}
