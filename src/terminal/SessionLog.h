#pragma once
// The terminal's session log: every line received and every line typed, each with the local date and
// time (to the millisecond) at which its first byte came. A line ends at LF, CR LF or a lone CR (a
// CR LF split over two chunks still ends one line). A device that draws its screen with cursor
// addressing sends no line ends at all, so a received line also ends before a cursor-position
// sequence (ESC [ row ; col H or f) and before a terminal reset (ESC c), and when a typed line ends
// (the device's answer to Enter begins a line of its own; the line end it echoes first adds no empty
// line). Control characters other than TAB are
// written as names in angle brackets ("<ESC>[2J"), so that the log shows every byte the device sent and
// stays plain text.
// The log keeps the newest maxLines lines, and no more than maxBytes of their text, and says how many
// older ones were dropped; a line longer than maxLineLength is continued on the next line.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace mirota {

struct LocalDateTime {
    int Year = 1970, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
using LocalClock = std::function<LocalDateTime()>;

// The system's local time now.
LocalDateTime SystemLocalTime();
// "YYYY-MM-DD hh:mm:ss.mmm".
std::string FormatTimestamp(const LocalDateTime& t);

class SessionLog {
public:
    enum class Direction { Received, Typed };

    explicit SessionLog(LocalClock clock = SystemLocalTime, std::size_t maxLines = 200000,
                        std::size_t maxLineLength = 4096, std::size_t maxBytes = 32u * 1024u * 1024u);

    void Add(Direction direction, const char* data, std::size_t count);
    void Add(Direction direction, const std::string& bytes) { Add(direction, bytes.data(), bytes.size()); }

    // The log as text, lines in the order they began, each "<timestamp> RX <text>" or
    // "<timestamp> TX <text>" and ended by LF; typed lines only when includeTyped. Lines not yet ended
    // are included.
    std::string Text(bool includeTyped) const;
    std::size_t LineCount() const { return lines_.size(); }
    std::uint64_t DroppedLines() const { return dropped_; }
    void Clear();

private:
    struct Line {
        std::uint64_t order = 0;
        Direction direction = Direction::Received;
        std::string stamp;
        std::string text;
    };
    struct Pending {
        bool open = false;
        bool afterCr = false;
        Line line;
        std::string escape;         // an escape sequence still being received
        bool absorbLineEnd = false; // the line was ended by a typed Enter: the device's line end follows
    };
    Pending& PendingOf(Direction d) { return d == Direction::Received ? received_ : typed_; }
    void Begin(Pending& p, Direction d);
    void End(Pending& p);
    void Append(Pending& p, Direction d, unsigned char c);
    // Appends a complete (or abandoned) escape sequence, ending the line before it if it breaks one.
    void FlushEscape(Pending& p, Direction d);

    LocalClock clock_;
    std::size_t maxLines_;
    std::size_t maxLineLength_;
    std::size_t maxBytes_;
    std::size_t bytes_ = 0; // text of the ended lines
    std::deque<Line> lines_;
    Pending received_, typed_;
    std::uint64_t nextOrder_ = 0;
    std::uint64_t dropped_ = 0;
};

} // namespace mirota
