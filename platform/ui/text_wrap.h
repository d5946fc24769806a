#pragma once
// Line breaking of static texts, apart from any drawing so that it is tested
// without a display.
#include <functional>
#include <string_view>
#include <vector>

namespace ui {

// The width a piece of UTF-8 text takes when drawn.
using TextMeasure = std::function<double(std::string_view)>;

// Splits UTF-8 text into the lines drawn in a box `width` wide, as views into
// `text`. "\r\n", "\r" and "\n" each end a line. A line breaks at the last
// blank that fits (the blanks at the break are not drawn), or between two
// characters of which one is East Asian (Japanese has no blanks), never before
// closing punctuation ("、", "。", ")") or after opening punctuation; a word
// wider than the box breaks between characters.
std::vector<std::string_view> BreakLines(std::string_view text, double width, const TextMeasure& measure);

}  // namespace ui
