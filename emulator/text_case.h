#pragma once
// ASCII case folding for the device's case-blind comparisons.
#include <cctype>
#include <string>

namespace modemsim {

inline std::string UpperAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

inline std::string LowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace modemsim
