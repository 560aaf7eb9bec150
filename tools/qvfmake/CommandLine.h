#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An inclusive range of code points.
struct CodePointRange {
    char32_t first = 0;
    char32_t last = 0;
};

// One font record to make: a source font rendered at a pixel size into a cell.
struct RecordRequest {
    std::string fontPath;
    int faceIndex = 0;
    int size = 0;                 // pixel size the source is rendered at
    int cell = 0;                 // glyph width and height; the size unless given
    std::optional<int> baseline;  // cell rows above the baseline; the ascender unless given
    std::string name;
    bool allChars = true;  // every code point the font maps
    std::vector<CodePointRange> ranges;
};

struct CommandLine {
    bool help = false;
    std::string output;
    std::vector<RecordRequest> records;
};

// Parses the arguments after the program name. False with a reason for the
// user when they do not make a complete, valid request.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error);

// "0x20-0x7E,0x4E00-0x9FFF,U+3000,65" or "all". Only code points a ".qvf" can
// hold are accepted: U+0000..U+FFFF; surrogates inside a range are skipped
// later, one given alone is refused.
bool parseCodePointRanges(std::string_view text, bool& all, std::vector<CodePointRange>& ranges,
                          std::string& error);

std::string usageText();
