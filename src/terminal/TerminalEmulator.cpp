#include "terminal/TerminalEmulator.h"

#include "text/Utf8.h"

#include <vterm.h>

#include <algorithm>
#include <array>

namespace mirota {

namespace {

// Windows-1252 in 0x80-0x9F; the five unassigned bytes show the replacement character.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// UTF-8 of every byte value, built once: feeding is a table lookup per byte.
struct ByteTable {
    std::array<std::string, 256> utf8;
    ByteTable() {
        for (int b = 0; b < 256; ++b)
            AppendUtf8(utf8[b], CharOfByte(static_cast<unsigned char>(b)));
    }
};
const ByteTable& Bytes() {
    static const ByteTable table;
    return table;
}

VTermKey ToVTermKey(TermKey key) {
    switch (key) {
    case TermKey::Up:
        return VTERM_KEY_UP;
    case TermKey::Down:
        return VTERM_KEY_DOWN;
    case TermKey::Left:
        return VTERM_KEY_LEFT;
    case TermKey::Right:
        return VTERM_KEY_RIGHT;
    case TermKey::Insert:
        return VTERM_KEY_INS;
    case TermKey::Delete:
        return VTERM_KEY_DEL;
    case TermKey::Home:
        return VTERM_KEY_HOME;
    case TermKey::End:
        return VTERM_KEY_END;
    case TermKey::PageUp:
        return VTERM_KEY_PAGEUP;
    case TermKey::PageDown:
        return VTERM_KEY_PAGEDOWN;
    default:
        return static_cast<VTermKey>(
            VTERM_KEY_FUNCTION(1 + static_cast<int>(key) - static_cast<int>(TermKey::F1)));
    }
}

} // namespace

char32_t CharOfByte(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
    return byte;
}

int ByteOfChar(char32_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
    if (ch == 0xFFFD) return -1;
    for (std::size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == ch) return static_cast<int>(0x80 + i);
    return -1;
}

namespace {
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kSub = 0x1A;
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kDel = 0x7F;
bool IsC0(unsigned char b) {
    return b < 0x20;
}
} // namespace

void TermInputGuard::Reset() {
    state_ = State::Ground;
    held_.clear();
    separators_ = 0;
    lastPrintable_ = -1;
}

void TermInputGuard::Ground(unsigned char b, std::string& out) {
    state_ = State::Ground;
    if (b == kEsc) {
        held_.assign(1, static_cast<char>(kEsc));
        state_ = State::Escape;
        return;
    }
    if (b >= 0x20) lastPrintable_ = b;
    out.push_back(static_cast<char>(b));
}

void TermInputGuard::EndCsi(unsigned char final, std::string& out) {
    state_ = State::Ground;
    if (final != 'b') {
        out += held_;
        out.push_back(static_cast<char>(final));
        held_.clear();
        return;
    }
    // Repeat: only the plain form, one decimal count (empty or 0 means 1).
    std::size_t count = 0;
    bool plain = csiStart_ == 2;
    for (std::size_t i = csiStart_; plain && i < held_.size(); ++i) {
        const char c = held_[i];
        if (c < '0' || c > '9') {
            plain = false;
            break;
        }
        count = std::min(count * 10 + static_cast<std::size_t>(c - '0'), maxRepeat_);
    }
    held_.clear();
    if (!plain || lastPrintable_ < 0) return;
    out.append(std::max<std::size_t>(count, 1), static_cast<char>(lastPrintable_));
}

void TermInputGuard::Digit(unsigned char b) {
    if (parameterValue_ > kMaxCsiParameter) return; // already written as the largest value
    parameterValue_ = parameterValue_ * 10 + static_cast<std::size_t>(b - '0');
    if (parameterValue_ <= kMaxCsiParameter) {
        held_.push_back(static_cast<char>(b));
    } else {
        held_.resize(parameterStart_);
        held_ += std::to_string(kMaxCsiParameter);
    }
    if (held_.size() > kMaxCsiLength) {
        held_.clear();
        state_ = State::CsiDiscard;
    }
}

void TermInputGuard::Filter(const char* data, std::size_t count, std::string& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        // The emulation skips NUL and DEL wherever they stand, even between ESC and "[": passed on,
        // they would end a held escape here while the emulation still waits for its next byte.
        if (b == 0x00 || b == kDel) continue;
        switch (state_) {
        case State::Ground:
            Ground(b, out);
            break;
        case State::Escape:
            // held_: ESC and the intermediates so far. "[" after them begins a control sequence
            // (the emulation takes it as one whatever intermediates came before).
            if (b == '[') {
                held_.push_back('[');
                csiStart_ = held_.size();
                parameterStart_ = held_.size();
                parameterValue_ = 0;
                separators_ = 0;
                state_ = State::Csi;
            } else if (b == kEsc) {
                // The held escape is dropped, never passed alone: the emulation would join it to
                // whatever text comes next ("[" and a final byte would make a control sequence).
                held_.assign(1, static_cast<char>(kEsc));
            } else if (b == kCan || b == kSub || b >= 0x80) {
                held_.clear();
                Ground(b, out);
            } else if (IsC0(b)) {
                out.push_back(static_cast<char>(b)); // executed; the escape goes on
            } else if (b >= 0x20 && b <= 0x2F) {
                held_.push_back(static_cast<char>(b));
                if (held_.size() > kMaxCsiLength) {
                    held_.clear();
                    state_ = State::CsiDiscard;
                }
            } else if (b == 'P') {
                // A device control string: kept from the emulation whole (its only one, the status
                // request, answers unknown requests through a broken format and crashes).
                held_.clear();
                state_ = State::DeviceControl;
            } else {
                out += held_;
                held_.clear();
                out.push_back(static_cast<char>(b));
                state_ = b == ']' ? State::String : State::Ground; // "]": operating system command
            }
            break;
        case State::String:
            if (b == kEsc || b == kCan || b == kSub || b == kBel)
                Ground(b, out); // BEL ends an operating system command; ESC may begin ST
            else
                out.push_back(static_cast<char>(b));
            break;
        case State::DeviceControl:
            // Ends as the emulation would end it: BEL, CAN, SUB, or ESC (ST, or the start of whatever
            // escape follows). Controls inside are carried out, as the emulation does.
            if (b == kEsc)
                Ground(b, out);
            else if (b == kBel || b == kCan || b == kSub)
                state_ = State::Ground;
            else if (IsC0(b))
                out.push_back(static_cast<char>(b));
            break;
        case State::Csi:
            if (b >= 0x40 && b <= 0x7E) {
                EndCsi(b, out);
            } else if (b == kEsc || b == kCan || b == kSub || b >= 0x80) {
                held_.clear();
                Ground(b, out);
            } else if (b >= '0' && b <= '9') {
                Digit(b);
            } else if (IsC0(b)) {
                // Carried out at once, as the emulation does inside a sequence; the sequence (and the
                // parameter it is in) goes on.
                out.push_back(static_cast<char>(b));
            } else {
                if (b == ';' || b == ':') ++separators_;
                held_.push_back(static_cast<char>(b));
                parameterStart_ = held_.size();
                parameterValue_ = 0;
                if (separators_ > kMaxCsiSeparators || held_.size() > kMaxCsiLength) {
                    held_.clear();
                    state_ = State::CsiDiscard;
                }
            }
            break;
        case State::CsiDiscard:
            if (b >= 0x40 && b <= 0x7E)
                state_ = State::Ground;
            else if (b == kEsc || b == kCan || b == kSub || b >= 0x80)
                Ground(b, out);
            else if (IsC0(b))
                out.push_back(static_cast<char>(b));
            break;
        }
    }
}

struct TerminalEmulatorCallbacks {
    static TerminalEmulator& Self(void* user) { return *static_cast<TerminalEmulator*>(user); }

    static int Damage(VTermRect, void* user) {
        Self(user).changed_ = true;
        return 1;
    }
    static int MoveRect(VTermRect, VTermRect, void* user) {
        Self(user).changed_ = true;
        return 1;
    }
    static int MoveCursor(VTermPos pos, VTermPos, int visible, void* user) {
        auto& self = Self(user);
        self.cursorRow_ = pos.row;
        self.cursorCol_ = pos.col;
        self.cursorVisible_ = visible != 0;
        self.changed_ = true;
        return 1;
    }
    static int SetTermProp(VTermProp prop, VTermValue* val, void* user) {
        auto& self = Self(user);
        if (prop == VTERM_PROP_CURSORVISIBLE) {
            self.cursorVisible_ = val->boolean != 0;
            self.changed_ = true;
        }
        return 1;
    }
    static int Bell(void*) { return 1; }
    static int PushLine(int cols, const VTermScreenCell* cells, void* user) {
        // The cells die after this call: copy them.
        auto& self = Self(user);
        std::vector<TermCell> line;
        line.reserve(static_cast<std::size_t>(cols));
        for (int c = 0; c < cols; ++c)
            line.push_back(self.Convert(&cells[c]));
        self.scrollback_.push_back(std::move(line));
        while (self.scrollback_.size() > self.scrollbackLimit_)
            self.scrollback_.pop_front();
        ++self.linesScrolled_;
        self.changed_ = true;
        return 1;
    }
    static int PopLine(int, VTermScreenCell*, void*) { return 0; }
    static void Output(const char* s, size_t len, void* user) {
        // Runs inside vterm_input_write and vterm_keyboard_*: only queue.
        Self(user).output_.append(s, len);
    }
};

namespace {
const VTermScreenCallbacks kScreenCallbacks = {
    &TerminalEmulatorCallbacks::Damage,
    &TerminalEmulatorCallbacks::MoveRect,
    &TerminalEmulatorCallbacks::MoveCursor,
    &TerminalEmulatorCallbacks::SetTermProp,
    &TerminalEmulatorCallbacks::Bell,
    nullptr, // resize: the size is fixed
    &TerminalEmulatorCallbacks::PushLine,
    &TerminalEmulatorCallbacks::PopLine,
};
} // namespace

TerminalEmulator::TerminalEmulator(int rows, int cols, std::size_t scrollbackLimit)
    : rows_(rows), cols_(cols), scrollbackLimit_(scrollbackLimit),
      guard_(static_cast<std::size_t>(std::max(rows, 1)) * static_cast<std::size_t>(std::max(cols, 1))) {
    vt_ = vterm_new(rows_, cols_);
    // Received bytes are converted to UTF-8 by Feed, so the emulation runs in UTF-8 mode; set before
    // the screen is reset.
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(vt_, &TerminalEmulatorCallbacks::Output, this);
    state_ = vterm_obtain_state(vt_);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_set_callbacks(screen_, &kScreenCallbacks, this);
    vterm_screen_set_damage_merge(screen_, VTERM_DAMAGE_SCROLL);
    Reset();
}

TerminalEmulator::~TerminalEmulator() {
    vterm_free(vt_);
}

void TerminalEmulator::Reset() {
    // Black on white; the defaults are set before the reset so that the reset pen carries them.
    VTermColor fg;
    VTermColor bg;
    vterm_color_rgb(&fg, 0, 0, 0);
    vterm_color_rgb(&bg, 255, 255, 255);
    vterm_state_set_default_colors(state_, &fg, &bg);
    vterm_screen_reset(screen_, 1);
    // The guard starts afresh, so the emulation's parser must too: CAN ends any sequence or string.
    vterm_input_write(vt_, "\x18", 1);
    guard_.Reset();
    scrollback_.clear();
    linesScrolled_ = 0;
    output_.clear();
    VTermPos pos;
    vterm_state_get_cursorpos(state_, &pos);
    cursorRow_ = pos.row;
    cursorCol_ = pos.col;
    cursorVisible_ = true;
    changed_ = true;
}

void TerminalEmulator::Feed(const char* data, std::size_t count) {
    if (count == 0) return;
    guarded_.clear();
    guard_.Filter(data, count, guarded_);
    if (guarded_.empty()) return;
    const auto& table = Bytes();
    feedBuffer_.clear();
    feedBuffer_.reserve(guarded_.size() * 2);
    for (const char c : guarded_) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            feedBuffer_.push_back(static_cast<char>(b));
        else
            feedBuffer_ += table.utf8[b];
    }
    vterm_input_write(vt_, feedBuffer_.data(), feedBuffer_.size());
    vterm_screen_flush_damage(screen_);
}

bool TerminalEmulator::TypeChar(char32_t ch) {
    const int byte = ByteOfChar(ch);
    if (byte < 0) return false;
    // Written as it is: libvterm's keyboard would turn Enter into CR LF in newline mode and encode
    // 8-bit characters as UTF-8.
    output_.push_back(static_cast<char>(byte));
    return true;
}

void TerminalEmulator::PressKey(TermKey key, unsigned modifiers) {
    vterm_keyboard_key(vt_, ToVTermKey(key), static_cast<VTermModifier>(modifiers & VTERM_ALL_MODS_MASK));
}

std::string TerminalEmulator::TakeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

TermCell TerminalEmulator::Convert(const void* vtermCell) const {
    const auto& in = *static_cast<const VTermScreenCell*>(vtermCell);
    TermCell cell;
    if (in.chars[0] == static_cast<std::uint32_t>(-1)) { // right half of a wide character
        cell.ch = 0;
        cell.width = 0;
    } else {
        cell.ch = in.chars[0];
        cell.width = in.width;
    }
    cell.bold = in.attrs.bold;
    cell.underline = in.attrs.underline != VTERM_UNDERLINE_OFF;
    cell.italic = in.attrs.italic;
    cell.blink = in.attrs.blink;
    cell.reverse = in.attrs.reverse;
    cell.strike = in.attrs.strike;
    cell.defaultFg = VTERM_COLOR_IS_DEFAULT_FG(&in.fg);
    cell.defaultBg = VTERM_COLOR_IS_DEFAULT_BG(&in.bg);
    VTermColor fg = in.fg;
    VTermColor bg = in.bg;
    vterm_screen_convert_color_to_rgb(screen_, &fg);
    vterm_screen_convert_color_to_rgb(screen_, &bg);
    cell.fg = {fg.rgb.red, fg.rgb.green, fg.rgb.blue};
    cell.bg = {bg.rgb.red, bg.rgb.green, bg.rgb.blue};
    return cell;
}

TermCell TerminalEmulator::Cell(int row, int col) const {
    VTermScreenCell cell{};
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return TermCell{};
    vterm_screen_get_cell(screen_, VTermPos{row, col}, &cell);
    return Convert(&cell);
}

namespace {
std::string LineText(const std::vector<TermCell>& cells) {
    std::string text;
    std::size_t keep = 0;
    for (const auto& cell : cells) {
        if (cell.width == 0) continue; // right half of a wide character
        AppendUtf8(text, cell.ch == 0 ? U' ' : cell.ch);
        if (cell.ch != 0 && cell.ch != U' ') keep = text.size();
    }
    text.resize(keep);
    return text;
}
} // namespace

std::string TerminalEmulator::RowText(int row) const {
    std::vector<TermCell> cells;
    cells.reserve(static_cast<std::size_t>(cols_));
    for (int c = 0; c < cols_; ++c)
        cells.push_back(Cell(row, c));
    return LineText(cells);
}

std::string TerminalEmulator::ScreenText() const {
    std::string text;
    for (int r = 0; r < rows_; ++r) {
        if (r > 0) text.push_back('\n');
        text += RowText(r);
    }
    return text;
}

std::string TerminalEmulator::ScrollbackText(std::size_t index) const {
    return LineText(scrollback_.at(index));
}

} // namespace mirota
