#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The codes embedded in a program's text: exactly four characters, "[", two
// characters, "]". "[FE]" and "[FF]" are temperature fields in °C and °F; a
// first character 5 … 9 makes a picture code (the two characters read as a
// decimal id, stopping at the first non-digit); anything else is an animation
// code (two hexadecimal digits, any other character counting as 0). Only the
// first 20 animation codes of a program count; later ones are dropped with
// their four characters.
namespace BracketCodes {

inline constexpr int kMaxAnimations = 20;

struct Piece {
    enum class Kind { Text, Temperature, Picture, Animation };
    Kind kind = Kind::Text;
    std::u16string text;      // Kind::Text
    bool fahrenheit = false;  // Kind::Temperature
    int32_t picture = 0;      // Kind::Picture
    uint8_t animation = 0;    // Kind::Animation
};

// The text cut into runs of plain text and codes, in order.
std::vector<Piece> split(std::u16string_view text);

// "[" + two hexadecimal digits of the animation's position + "]".
std::u16string animationCode(int position);
// "[" + the first two characters of the picture id + "]".
std::u16string pictureCode(int32_t id);

inline constexpr std::u16string_view kCelsius = u"[FE]";
inline constexpr std::u16string_view kFahrenheit = u"[FF]";

}  // namespace BracketCodes
