#pragma once

#include "platform/Bitmap.h"

#include <array>
#include <cstdint>
#include <string_view>

// The fields a program stores in its settings map, and the option tables its
// editor offers. The lists store positions; the values come from these tables.
namespace ProgramOptions {

// Settings keys, in the forms the project file stores them.
inline constexpr std::u16string_view kTextContent = u"TextContent";
inline constexpr std::u16string_view kFont = u"Font";
inline constexpr std::u16string_view kFontSize = u"FontSize";
inline constexpr std::u16string_view kFontBold = u"FontBold";
inline constexpr std::u16string_view kFontItalic = u"FontItatic";  // sic: the files spell it so
inline constexpr std::u16string_view kFontUnderline = u"FontUnderline";
inline constexpr std::u16string_view kColor1 = u"Color1";
inline constexpr std::u16string_view kColor2 = u"Color2";
inline constexpr std::u16string_view kEffect = u"Effect";
inline constexpr std::u16string_view kSpeed = u"Speed";
inline constexpr std::u16string_view kStopTime = u"StopTime";
inline constexpr std::u16string_view kFlicker = u"Flicker";
inline constexpr std::u16string_view kBorder = u"Border";
inline constexpr std::u16string_view kBorderSpeed = u"BorderSpeed";
inline constexpr std::u16string_view kUseTemp = u"UseTemp";
inline constexpr std::u16string_view kTempIndex = u"TempIndex";
inline constexpr std::u16string_view kSelect = u"Select";

struct Option {
    std::u16string_view label;
    int32_t value;
};

// Entry effects; position and value coincide.
inline constexpr std::array<Option, 12> kEffects{{
    {u"0\uFF1A\u7ACB\u5373\u663E\u793A", 0},  // 0：立即显示
    {u"1\uFF1A\u4E0A\u79FB", 1},              // 1：上移
    {u"2\uFF1A\u4E0B\u79FB", 2},              // 2：下移
    {u"3\uFF1A\u5DE6\u79FB", 3},              // 3：左移
    {u"4\uFF1A\u53F3\u79FB", 4},              // 4：右移
    {u"5\uFF1A\u4E0B\u96EA", 5},              // 5：下雪
    {u"6\uFF1A\u6C34\u5E73\u767E\u53F6", 6},  // 6：水平百叶
    {u"7\uFF1A\u5782\u76F4\u767E\u53F6", 7},  // 7：垂直百叶
    {u"8\uFF1A\u4E0A\u62C9", 8},              // 8：上拉
    {u"9\uFF1A\u4E0B\u62C9", 9},              // 9：下拉
    {u"10\uFF1A\u53F3\u8986", 10},            // 10：右覆
    {u"11\uFF1A\u5DE6\u8986", 11},            // 11：左覆
}};

// Borders; position and value coincide.
inline constexpr std::array<Option, 15> kBorders{{
    {u"0\uFF1A\u65E0\u8FB9\u6846", 0},                    // 0：无边框
    {u"1\uFF1A\u968F\u673A\u8FB9\u6846", 1},              // 1：随机边框
    {u"2\uFF1A\u56FA\u5B9A\u8FB9\u6846", 2},              // 2：固定边框
    {u"3\uFF1A\u56FA\u5B9A\u4E00\u70B9\u865A\u7EBF", 3},  // 3：固定一点虚线
    {u"4\uFF1A\u56FA\u5B9A\u4E24\u70B9\u865A\u7EBF", 4},  // 4：固定两点虚线
    {u"5\uFF1A\u56FA\u5B9A\u8FB9\u6846\u95EA\u70C1", 5},  // 5：固定边框闪烁
    {u"6\uFF1A\u4E00\u70B9\u865A\u7EBF\u95EA\u70C1", 6},  // 6：一点虚线闪烁
    {u"7\uFF1A\u4E24\u70B9\u865A\u7EBF\u95EA\u70C1", 7},  // 7：两点虚线闪烁
    {u"8\uFF1A\u865A\u7EBF\u4E00\u70B9\u65CB\u8F6C", 8},  // 8：虚线一点旋转
    {u"9\uFF1A\u865A\u7EBF2\u70B9\u65CB\u8F6C", 9},       // 9：虚线2点旋转
    {u"10\uFF1A\u865A\u7EBF4\u70B9\u65CB\u8F6C", 10},     // 10：虚线4点旋转
    {u"11\uFF1A\u865A\u7EBF8\u70B9\u65CB\u8F6C", 11},     // 11：虚线8点旋转
    {u"12\uFF1A\u4E24\u6761\u9F99", 12},                  // 12：两条龙
    {u"13\uFF1A\u4E00\u6761\u9F99", 13},                  // 13：一条龙
    {u"14\uFF1A\u4E00\u6761\u865A\u9F99", 14},            // 14：一条虚龙
}};

// Speeds 1 … 9 at positions 0 … 8 (labels "% 2u"); smaller is faster.
inline constexpr int kSpeedCount = 9;
inline constexpr int kDefaultSpeedPosition = 4;

// Stop times in seconds (labels "% 2u"); 255 is the most one byte carries.
inline constexpr std::array<int32_t, 22> kStopTimes{
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 30, 50, 80, 100, 130, 150, 200, 255};
inline constexpr int kDefaultStopTimePosition = 3;

// Character heights in pixels (labels "%d").
inline constexpr int kMinFontSize = 8;
inline constexpr int kMaxFontSize = 20;

// Text and background colours: Red then Black, named from the language table.
struct ColorOption {
    std::u16string_view key;
    platform::ColorRef value;
};
inline constexpr std::array<ColorOption, 2> kColors{{{u"Red", 0x0000FF}, {u"Black", 0x000000}}};

// Temperature units; position and value coincide.
inline constexpr std::array<std::u16string_view, 2> kTemperatureUnits{u"\u00B0C", u"\u00B0F"};

// Every key the settings map holds, in the order the map writes them.
inline constexpr std::array<std::u16string_view, 17> kAllKeys{
    kBorder, kBorderSpeed, kColor1,     kColor2,      kEffect,        kFlicker,
    kFont,   kFontBold,    kFontItalic, kFontSize,    kFontUnderline, kSelect,
    kSpeed,  kStopTime,    kTempIndex,  kTextContent, kUseTemp};

}  // namespace ProgramOptions
