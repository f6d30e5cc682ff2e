#include "link/DeviceType.h"

#include <string_view>

namespace mirota {

std::string DeviceTypeOf(const std::string& description) {
    static constexpr std::string_view word = "mirota";
    std::string out;
    out.reserve(description.size());
    std::size_t i = 0;
    while (i < description.size()) {
        bool match = i + word.size() <= description.size();
        for (std::size_t k = 0; match && k < word.size(); ++k) {
            char c = description[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            match = c == word[k];
        }
        if (match)
            i += word.size();
        else
            out += description[i++];
    }
    return out;
}

} // namespace mirota
