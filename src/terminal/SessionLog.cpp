#include "terminal/SessionLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace mirota {

LocalDateTime SystemLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    LocalDateTime t;
    // Called on the GUI thread only, so the shared result of localtime is not raced.
    if (const std::tm* tm = std::localtime(&seconds)) {
        t.Year = tm->tm_year + 1900;
        t.Month = tm->tm_mon + 1;
        t.Day = tm->tm_mday;
        t.Hour = tm->tm_hour;
        t.Minute = tm->tm_min;
        t.Second = tm->tm_sec;
    }
    t.Millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
    return t;
}

std::string FormatTimestamp(const LocalDateTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day, t.Hour,
                  t.Minute, t.Second, t.Millisecond);
    return text;
}

namespace {

void AppendVisible(std::string& out, unsigned char c) {
    static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (c == '\t' || (c >= 32 && c != 127)) {
        out += static_cast<char>(c);
        return;
    }
    out += '<';
    out += c == 127 ? "DEL" : kNames[c];
    out += '>';
}

} // namespace

SessionLog::SessionLog(LocalClock clock, std::size_t maxLines, std::size_t maxLineLength,
                       std::size_t maxBytes)
    : clock_(std::move(clock)), maxLines_(std::max<std::size_t>(1, maxLines)),
      maxLineLength_(std::max<std::size_t>(1, maxLineLength)), maxBytes_(maxBytes) {}

void SessionLog::Begin(Pending& p, Direction d) {
    p.open = true;
    p.line.order = nextOrder_++;
    p.line.direction = d;
    p.line.stamp = FormatTimestamp(clock_());
    p.line.text.clear();
}

void SessionLog::End(Pending& p) {
    bytes_ += p.line.text.size();
    lines_.push_back(std::move(p.line));
    p.line = Line{};
    p.open = false;
    while (lines_.size() > maxLines_ || (bytes_ > maxBytes_ && lines_.size() > 1)) {
        bytes_ -= lines_.front().text.size();
        lines_.pop_front();
        ++dropped_;
    }
}

void SessionLog::Append(Pending& p, Direction d, unsigned char c) {
    if (!p.open) Begin(p, d);
    AppendVisible(p.line.text, c);
    if (p.line.text.size() >= maxLineLength_) End(p);
}

void SessionLog::FlushEscape(Pending& p, Direction d) {
    const std::string sequence = std::move(p.escape);
    p.escape.clear();
    const char final = sequence.size() > 1 ? sequence.back() : '\0';
    const bool position = sequence.size() > 2 && sequence[1] == '[' && (final == 'H' || final == 'f');
    const bool reset = sequence == "\x1b"
                                   "c";
    if ((position || reset) && p.open && !p.line.text.empty()) End(p);
    for (char c : sequence)
        Append(p, d, static_cast<unsigned char>(c));
}

void SessionLog::Add(Direction direction, const char* data, std::size_t count) {
    Pending& p = PendingOf(direction);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (p.absorbLineEnd) {
            p.absorbLineEnd = false;
            if (c == '\r' || c == '\n') {
                p.afterCr = c == '\r';
                continue;
            }
        }
        if (!p.escape.empty()) {
            // ESC, then "[" with parameters up to a final byte, or one more byte.
            const bool csi = p.escape.size() > 1 && p.escape[1] == '[';
            if (c == 0x1B || c == '\r' || c == '\n' || p.escape.size() >= 32) {
                FlushEscape(p, direction); // abandoned: written as it came, and c handled below
            } else {
                p.escape += static_cast<char>(c);
                if (p.escape.size() == 2 ? c != '[' : (csi && c >= 0x40 && c <= 0x7E))
                    FlushEscape(p, direction);
                continue;
            }
        }
        if (c == '\n' && p.afterCr) { // the LF of a CR LF: the line ended at the CR
            p.afterCr = false;
            continue;
        }
        p.afterCr = false;
        if (c == 0x1B) {
            if (!p.open) Begin(p, direction); // stamped when the sequence began
            p.escape = "\x1b";
            continue;
        }
        if (c == '\n' || c == '\r') {
            if (!p.open) Begin(p, direction);
            p.afterCr = c == '\r';
            End(p);
            if (direction == Direction::Typed && received_.open && received_.escape.empty()) {
                End(received_);
                received_.absorbLineEnd = true;
            }
            continue;
        }
        Append(p, direction, c);
    }
}

std::string SessionLog::Text(bool includeTyped) const {
    std::vector<const Line*> lines;
    for (const Line& line : lines_)
        lines.push_back(&line);
    // Lines not ended yet, with an escape sequence still being received as far as it came.
    std::vector<Line> open;
    for (const Pending* p : {&received_, &typed_}) {
        if (!p->open) continue;
        open.push_back(p->line);
        for (char c : p->escape)
            AppendVisible(open.back().text, static_cast<unsigned char>(c));
    }
    for (const Line& line : open)
        lines.push_back(&line);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line* a, const Line* b) { return a->order < b->order; });
    std::string text;
    if (dropped_ > 0) text += "(" + std::to_string(dropped_) + " earlier lines were dropped)\n";
    for (const Line* line : lines) {
        const bool typed = line->direction == Direction::Typed;
        if (typed && !includeTyped) continue;
        text += line->stamp;
        text += typed ? " TX " : " RX ";
        text += line->text;
        text += '\n';
    }
    return text;
}

void SessionLog::Clear() {
    lines_.clear();
    bytes_ = 0;
    received_ = Pending{};
    typed_ = Pending{};
    dropped_ = 0;
}

} // namespace mirota
