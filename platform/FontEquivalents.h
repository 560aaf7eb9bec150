#pragma once

#include <string_view>
#include <vector>

namespace platform {

// Installed families that stand in for the faces the program's files name by
// their Windows names ("宋体", "黑体", "微软雅黑", "Arial", "Arial Baltic"), best
// first. The files keep those names; only drawing and the default-font choice
// look here. Empty for any other face.
std::vector<std::u16string_view> fontEquivalents(std::u16string_view face);

}  // namespace platform
