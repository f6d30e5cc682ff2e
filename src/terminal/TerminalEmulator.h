#pragma once
// The terminal view's emulation core: a VT100/ANSI screen of fixed size on libvterm, with our own
// scrollback, the keyboard's byte sequences and a queue of the bytes the terminal sends on its own
// (answers to device attribute and cursor position queries). No Qt here; the view paints from it.
//
// Received bytes are 8-bit data: 0x00-0x7F go to the emulation as they are, 0xA0-0xFF are shown as the
// Latin-1 characters of the same number and 0x80-0x9F as the Windows-1252 characters of the same number
// (never as C1 controls), which is how the ANSI character set of the original terminal font shows them.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct VTerm;
struct VTermScreen;
struct VTermState;

namespace mirota {

// Sits in front of the emulation and passes received bytes on, holding back escape sequences until
// they are complete (so that chunk boundaries do not matter) and changing what the emulation cannot
// take safely:
// - a control sequence (ESC "[" ..., also with intermediates between ESC and "[") with more than
// kMaxCsiSeparators ";" or ":" separators, or longer
//   than kMaxCsiLength bytes, is dropped whole;
// - a parameter above kMaxCsiParameter is passed on as kMaxCsiParameter (the emulation's arithmetic
//   on parameters overflows, and no screen position or count of this terminal comes near it);
// - a control sequence broken off by ESC, CAN, SUB or a byte of 0x80 or above is dropped;
// - the repeat sequence (ESC "[" n "b") is carried out here: the last printable byte passed on is
//   repeated n times (at most kMaxRepeat); without such a byte, or with any other form, it is dropped.
// - a device control string (ESC "P" ... ST) is dropped; the controls inside it are passed on;
// - NUL and DEL are dropped (the emulation ignores them anyway, but not where this guard would).
// Every other byte is passed on unchanged and in order.
class TermInputGuard {
public:
    static constexpr int kMaxCsiSeparators = 15;
    static constexpr std::size_t kMaxCsiLength = 256;
    static constexpr std::size_t kMaxCsiParameter = 9999;

    explicit TermInputGuard(std::size_t maxRepeat = 24 * 80) : maxRepeat_(maxRepeat) {}

    // Appends to out what may go to the emulation for these received bytes.
    void Filter(const char* data, std::size_t count, std::string& out);
    void Reset();

private:
    enum class State { Ground, Escape, Csi, CsiDiscard, String, DeviceControl };
    void Ground(unsigned char b, std::string& out);
    void EndCsi(unsigned char final, std::string& out);
    void Digit(unsigned char b);

    std::size_t maxRepeat_;
    State state_ = State::Ground;
    std::string held_;         // ESC and its intermediates, or the control sequence so far
    std::size_t csiStart_ = 0; // where the control sequence's parameters begin in held_
    int separators_ = 0;
    std::size_t parameterStart_ = 0; // where the current parameter's digits begin in held_
    std::size_t parameterValue_ = 0;
    int lastPrintable_ = -1;
};

struct TermRgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const TermRgb&) const = default;
};

struct TermCell {
    char32_t ch = 0; // 0 for an empty cell (painted as a blank)
    int width = 1;   // 2 for the left half of a wide character, 0 for its right half
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool blink = false;
    bool reverse = false;
    bool strike = false;
    bool defaultFg = true; // fg / bg hold the view's default colours then
    bool defaultBg = true;
    TermRgb fg{0, 0, 0};
    TermRgb bg{255, 255, 255};
    bool operator==(const TermCell&) const = default;
};

// Keys that the emulation translates (cursor mode and keypad mode are honoured).
enum class TermKey {
    Up,
    Down,
    Left,
    Right,
    Insert,
    Delete,
    Home,
    End,
    PageUp,
    PageDown,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
};

enum TermModifier : unsigned { tmNone = 0, tmShift = 1, tmAlt = 2, tmCtrl = 4 };

class TerminalEmulator {
public:
    static constexpr int kRows = 24;
    static constexpr int kCols = 80;

    explicit TerminalEmulator(int rows = kRows, int cols = kCols, std::size_t scrollbackLimit = 1000);
    ~TerminalEmulator();
    TerminalEmulator(const TerminalEmulator&) = delete;
    TerminalEmulator& operator=(const TerminalEmulator&) = delete;

    // Received bytes, shown as 8-bit data.
    void Feed(const char* data, std::size_t count);
    void Feed(const std::string& data) { Feed(data.data(), data.size()); }

    // A typed character: its Windows-1252 byte (Latin-1 for U+00A0-U+00FF), queued as output.
    // Characters without such a byte are dropped. Enter is typed as CR and is sent as CR alone.
    // Returns false when nothing was queued.
    bool TypeChar(char32_t ch);
    // A cursor, editing or function key: the emulation's sequence is queued as output.
    void PressKey(TermKey key, unsigned modifiers = tmNone);

    // Bytes the terminal wants to send (typed keys and answers to queries), oldest first.
    bool HasOutput() const { return !output_.empty(); }
    std::string TakeOutput();

    int Rows() const { return rows_; }
    int Cols() const { return cols_; }
    TermCell Cell(int row, int col) const;
    // One screen row as UTF-8 text, trailing blanks removed.
    std::string RowText(int row) const;
    // The whole screen, rows joined by "\n", trailing blanks of each row removed.
    std::string ScreenText() const;

    int CursorRow() const { return cursorRow_; }
    int CursorCol() const { return cursorCol_; }
    bool CursorVisible() const { return cursorVisible_; }

    // Lines scrolled off the top, oldest first; at most the limit given at construction.
    std::size_t ScrollbackSize() const { return scrollback_.size(); }
    const std::vector<TermCell>& ScrollbackLine(std::size_t index) const { return scrollback_[index]; }
    std::string ScrollbackText(std::size_t index) const;
    // Lines pushed into the scrollback since construction (also counts lines dropped at the limit).
    std::uint64_t LinesScrolled() const { return linesScrolled_; }

    // Set by every change of the screen, the cursor or the scrollback; the view clears it after painting.
    bool Changed() const { return changed_; }
    void ClearChanged() { changed_ = false; }

    // Resets the screen, the modes and the scrollback (as at construction).
    void Reset();

private:
    friend struct TerminalEmulatorCallbacks;
    TermCell Convert(const void* vtermCell) const;

    int rows_;
    int cols_;
    std::size_t scrollbackLimit_;
    VTerm* vt_ = nullptr;
    VTermScreen* screen_ = nullptr;
    VTermState* state_ = nullptr;
    std::string output_;
    TermInputGuard guard_;
    std::string guarded_;
    std::string feedBuffer_;
    std::deque<std::vector<TermCell>> scrollback_;
    std::uint64_t linesScrolled_ = 0;
    int cursorRow_ = 0;
    int cursorCol_ = 0;
    bool cursorVisible_ = true;
    bool changed_ = true;
};

// The character that a received byte shows (Windows-1252 for 0x80-0x9F, Latin-1 above).
char32_t CharOfByte(unsigned char byte);
// The byte that a typed character sends; -1 when it has none.
int ByteOfChar(char32_t ch);

} // namespace mirota
