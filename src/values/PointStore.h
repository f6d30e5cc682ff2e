#pragma once
// The points of the value plot's six channels, kept for a whole session (days at the line's full rate).
//
// Layout: one shared time column (a row per instant; the channels of one packet share it) and one value
// column per channel; a channel that got no point at a row holds a marker there. Columns are stored in
// chunks of kChunkRows rows, so appending never copies what is held. A channel chunk is written only
// up to its channel's newest row (the rows after it hold no point of the channel), so a new chunk
// costs no more than its allocation: its pages are touched as the points arrive, never all at once
// in the packet that opens it. Every channel chunk keeps a
// min/max summary per block of kBlockRows rows, per group of kGroupRows rows and for the whole chunk;
// range queries use the largest summaries that fit, so min/max over any row range costs
// O(kBlockRows + kGroupRows / kBlockRows + chunks) instead of O(rows).
//
// Times are expected in non-decreasing order; a point older than the newest row is held at the newest
// row's time, so that time look-ups (binary search) stay right whatever a caller's clock does.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace mirota {

class PointStore {
public:
    static constexpr int kChannels = 6;
    static constexpr std::size_t kChunkRows = std::size_t{1} << 16;
    static constexpr std::size_t kBlockRows = 64;
    static constexpr std::size_t kGroupRows = 4096;

    struct Extent {
        double min;
        double max;
        bool Empty() const { return !(min <= max); }
    };
    // One pixel column of a channel: the first, smallest, largest and last value of the rows in it.
    struct Column {
        double first, min, max, last;
        bool Empty() const { return !(min <= max); }
    };

    PointStore();
    ~PointStore();
    PointStore(const PointStore&) = delete;
    PointStore& operator=(const PointStore&) = delete;

    // Adds point (x, y) to a channel: into the last row when it has time x and no value of this
    // channel yet, otherwise into a new row. O(1).
    void Append(int channel, double x, double y);
    // Drops every point and releases the memory.
    void Clear();

    std::size_t Rows() const { return rows_; }
    std::size_t Count(int channel) const { return counts_.at(channel); }
    std::size_t TotalCount() const;
    double TimeAt(std::size_t row) const { return times_[row / kChunkRows]->t[row % kChunkRows]; }
    // Whether a channel has a point at a row, and its value.
    bool Has(int channel, std::size_t row) const;
    double ValueAt(int channel, std::size_t row) const;

    // The first row whose time is >= t (LowerBound) or > t (UpperBound); Rows() when there is none.
    std::size_t LowerBound(double t) const;
    std::size_t UpperBound(double t) const;

    // Smallest and largest value of a channel over rows [begin, end) (NaN values are not counted).
    Extent MinMax(int channel, std::size_t begin, std::size_t end) const;
    // The first / last row in [begin, end) with a drawable (non-NaN) value of the channel, or `end`.
    std::size_t FirstDrawable(int channel, std::size_t begin, std::size_t end) const;
    std::size_t LastDrawable(int channel, std::size_t begin, std::size_t end) const;

    // The rows of `columns` equal columns over the time range [t0, t1): column k holds rows
    // [bounds[k], bounds[k + 1]) (columns + 1 entries). Shared by all channels of one redraw.
    void ColumnBounds(double t0, double t1, int columns, std::vector<std::size_t>& bounds) const;
    // The summaries of a channel's columns given by ColumnBounds.
    void Columns(int channel, const std::vector<std::size_t>& bounds, std::vector<Column>& out) const;
    // Both in one (tests, single channels).
    void Columns(int channel, double t0, double t1, int columns, std::vector<Column>& out) const;

    // Calls f(time, value) for every point of a channel in rows [begin, end), in row order.
    template <class F> void ForEachPoint(int channel, std::size_t begin, std::size_t end, F&& f) const {
        const auto& chunks = values_[channel];
        for (std::size_t row = begin; row < end;) {
            const std::size_t c = row / kChunkRows;
            const std::size_t chunkEnd = (c + 1) * kChunkRows < end ? (c + 1) * kChunkRows : end;
            if (c < chunks.size() && chunks[c]) {
                const ValueChunk& vc = *chunks[c];
                const TimeChunk& tc = *times_[c];
                const std::size_t local = row % kChunkRows;
                for (std::size_t i = local, e = std::min(local + (chunkEnd - row), vc.written); i < e; ++i)
                    if (!IsAbsent(vc.v[i])) f(tc.t[i], vc.v[i]);
            }
            row = chunkEnd;
        }
    }

    // Bumped by Clear, so a long reader can tell that the rows it walks went away.
    std::uint64_t Generation() const { return generation_; }
    // Bytes of point storage allocated (chunks and summaries).
    std::size_t BytesAllocated() const;

private:
    static constexpr std::size_t kBlocks = kChunkRows / kBlockRows;
    static constexpr std::size_t kGroups = kChunkRows / kGroupRows;

    struct TimeChunk {
        double t[kChunkRows];
    };
    struct ValueChunk {
        double v[kChunkRows]; // rows [0, written) only; the others are left as allocated
        std::size_t written = 0;
        Extent block[kBlocks];
        Extent group[kGroups];
        Extent all;
        ValueChunk();
    };

    static bool IsAbsent(double v);
    ValueChunk& ChunkFor(int channel, std::size_t row);
    // Min/max over local rows [a, b) of one chunk.
    static void ChunkMinMax(const ValueChunk& vc, std::size_t a, std::size_t b, Extent& e);

    // The first row whose time is not `before` (times ascending); Rows() when there is none.
    template <class Before> std::size_t FirstRowNotBefore(Before before) const;

    std::vector<std::unique_ptr<TimeChunk>> times_;
    std::array<std::vector<std::unique_ptr<ValueChunk>>, kChannels> values_;
    std::array<std::size_t, kChannels> counts_{};
    std::size_t rows_ = 0;
    std::uint64_t generation_ = 0;
};

} // namespace mirota
