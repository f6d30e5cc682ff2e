#pragma once
// Texts from files and from the device that are shown on screen. Qt lays a text out whenever it is
// painted, measured or shown as a tooltip; a line of megabytes (a catalogue line, a configuration
// value) stalls that layout for seconds or for good. What is shown is therefore cut short; the text
// itself (what is sent, saved, exported and compared) is kept whole by whoever holds it.
#include <cstddef>
#include <string>
#include <string_view>

namespace mirota {

// The most bytes of one text the screens show.
inline constexpr std::size_t kMaxShownBytes = 2000;

// A UTF-8 text of at most maxBytes bytes plus "…": longer texts are cut at a character boundary and
// get the ellipsis; shorter ones are returned unchanged.
inline std::string ElideText(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a character
    return std::string(text.substr(0, cut)) + "\xE2\x80\xA6";
}

// The text as a screen shows it: at most kMaxShownBytes bytes.
inline std::string ShownText(std::string_view text) {
    return ElideText(text, kMaxShownBytes);
}

} // namespace mirota
