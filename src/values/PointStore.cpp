#include "values/PointStore.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace mirota {

namespace {

// A NaN no arithmetic produces: marks "no point of this channel at this row".
constexpr std::uint64_t kAbsentBits = 0x7ff4'a5e0'0000'0001ull;
const double kAbsent = std::bit_cast<double>(kAbsentBits);
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr PointStore::Extent kEmpty{kInf, -kInf};

void Widen(PointStore::Extent& e, const PointStore::Extent& o) {
    if (o.min < e.min) e.min = o.min;
    if (o.max > e.max) e.max = o.max;
}

void Widen(PointStore::Extent& e, double v) {
    if (v < e.min) e.min = v;
    if (v > e.max) e.max = v;
}

} // namespace

PointStore::ValueChunk::ValueChunk() {
    std::fill(std::begin(block), std::end(block), kEmpty);
    std::fill(std::begin(group), std::end(group), kEmpty);
    all = kEmpty;
}

PointStore::PointStore() = default;
PointStore::~PointStore() = default;

bool PointStore::IsAbsent(double v) {
    return std::bit_cast<std::uint64_t>(v) == kAbsentBits;
}

std::size_t PointStore::TotalCount() const {
    std::size_t n = 0;
    for (std::size_t c : counts_)
        n += c;
    return n;
}

bool PointStore::Has(int channel, std::size_t row) const {
    const auto& chunks = values_.at(channel);
    const std::size_t c = row / kChunkRows;
    if (row >= rows_ || c >= chunks.size() || !chunks[c]) return false;
    const std::size_t i = row % kChunkRows;
    return i < chunks[c]->written && !IsAbsent(chunks[c]->v[i]);
}

double PointStore::ValueAt(int channel, std::size_t row) const {
    if (!Has(channel, row)) throw std::out_of_range("PointStore: no point at this row");
    return values_[channel][row / kChunkRows]->v[row % kChunkRows];
}

PointStore::ValueChunk& PointStore::ChunkFor(int channel, std::size_t row) {
    auto& chunks = values_[channel];
    const std::size_t c = row / kChunkRows;
    if (chunks.size() <= c) chunks.resize(c + 1); // a vector of a few hundred pointers at most
    if (!chunks[c]) chunks[c] = std::make_unique<ValueChunk>();
    return *chunks[c];
}

void PointStore::Append(int channel, double x, double y) {
    if (channel < 0 || channel >= kChannels) throw std::out_of_range("PointStore: channel");
    if (IsAbsent(y)) y = std::numeric_limits<double>::quiet_NaN();
    std::size_t row = rows_ - 1;
    if (rows_ != 0 && x < TimeAt(row)) x = TimeAt(row); // keeps the time column ordered for look-ups
    if (rows_ == 0 || TimeAt(row) != x || Has(channel, row)) {
        row = rows_;
        const std::size_t c = row / kChunkRows;
        if (c == times_.size())
            times_.push_back(std::unique_ptr<TimeChunk>(new TimeChunk)); // left uninitialised
        times_[c]->t[row % kChunkRows] = x;
        ++rows_;
    }
    ValueChunk& vc = ChunkFor(channel, row);
    const std::size_t i = row % kChunkRows;
    if (i > vc.written) std::fill(vc.v + vc.written, vc.v + i, kAbsent); // rows this channel skipped
    vc.v[i] = y;
    vc.written = i + 1;
    if (!std::isnan(y)) {
        Widen(vc.block[i / kBlockRows], y);
        Widen(vc.group[i / kGroupRows], y);
        Widen(vc.all, y);
    }
    ++counts_[channel];
}

void PointStore::Clear() {
    times_.clear();
    times_.shrink_to_fit();
    for (auto& v : values_) {
        v.clear();
        v.shrink_to_fit();
    }
    counts_.fill(0);
    rows_ = 0;
    ++generation_;
}

std::size_t PointStore::LowerBound(double t) const {
    return FirstRowNotBefore([t](double time) { return time < t; });
}

std::size_t PointStore::UpperBound(double t) const {
    return FirstRowNotBefore([t](double time) { return time <= t; });
}

template <class Before> std::size_t PointStore::FirstRowNotBefore(Before before) const {
    // The chunk: the last one whose first time is before; then inside it.
    const auto next =
        std::partition_point(times_.begin(), times_.end(),
                             [&](const std::unique_ptr<TimeChunk>& chunk) { return before(chunk->t[0]); });
    if (next == times_.begin()) return 0;
    const std::size_t c = static_cast<std::size_t>(next - times_.begin()) - 1;
    const std::size_t n = std::min(kChunkRows, rows_ - c * kChunkRows);
    const double* t0 = times_[c]->t;
    return c * kChunkRows + static_cast<std::size_t>(std::partition_point(t0, t0 + n, before) - t0);
}

void PointStore::ChunkMinMax(const ValueChunk& vc, std::size_t a, std::size_t b, Extent& e) {
    if (a == 0 && b == kChunkRows) {
        Widen(e, vc.all);
        return;
    }
    b = std::min(b, vc.written); // nothing of the channel after its newest row
    std::size_t i = a;
    for (; i < b && i % kBlockRows; ++i)
        Widen(e, vc.v[i]);
    for (; i + kBlockRows <= b && i % kGroupRows; i += kBlockRows)
        Widen(e, vc.block[i / kBlockRows]);
    for (; i + kGroupRows <= b; i += kGroupRows)
        Widen(e, vc.group[i / kGroupRows]);
    for (; i + kBlockRows <= b; i += kBlockRows)
        Widen(e, vc.block[i / kBlockRows]);
    for (; i < b; ++i)
        Widen(e, vc.v[i]);
}

PointStore::Extent PointStore::MinMax(int channel, std::size_t begin, std::size_t end) const {
    Extent e = kEmpty;
    const auto& chunks = values_.at(channel);
    end = std::min(end, rows_);
    for (std::size_t row = begin; row < end;) {
        const std::size_t c = row / kChunkRows;
        const std::size_t chunkEnd = std::min((c + 1) * kChunkRows, end);
        if (c < chunks.size() && chunks[c])
            ChunkMinMax(*chunks[c], row - c * kChunkRows, chunkEnd - c * kChunkRows, e);
        row = chunkEnd;
    }
    return e;
}

std::size_t PointStore::FirstDrawable(int channel, std::size_t begin, std::size_t end) const {
    const auto& chunks = values_.at(channel);
    end = std::min(end, rows_);
    std::size_t row = begin;
    while (row < end) {
        const std::size_t c = row / kChunkRows;
        const ValueChunk* vc = c < chunks.size() ? chunks[c].get() : nullptr;
        const std::size_t i = row % kChunkRows;
        if (!vc || (i == 0 && vc->all.Empty()) || i >= vc->written) {
            row = (c + 1) * kChunkRows;
        } else if (i % kGroupRows == 0 && vc->group[i / kGroupRows].Empty()) {
            row += kGroupRows;
        } else if (i % kBlockRows == 0 && vc->block[i / kBlockRows].Empty()) {
            row += kBlockRows;
        } else {
            if (!std::isnan(vc->v[i])) return row;
            ++row;
        }
    }
    return end;
}

std::size_t PointStore::LastDrawable(int channel, std::size_t begin, std::size_t end) const {
    const auto& chunks = values_.at(channel);
    end = std::min(end, rows_);
    std::size_t row = end; // one past the row looked at next
    while (row > begin) {
        const std::size_t last = row - 1;
        const std::size_t c = last / kChunkRows;
        const ValueChunk* vc = c < chunks.size() ? chunks[c].get() : nullptr;
        const std::size_t i = last % kChunkRows;
        // Whole summaries are skipped only when they end right at `row`.
        if (!vc || (i == kChunkRows - 1 && vc->all.Empty())) {
            row = c * kChunkRows;
        } else if (i >= vc->written) {
            row = c * kChunkRows + vc->written;
        } else if (i % kGroupRows == kGroupRows - 1 && vc->group[i / kGroupRows].Empty()) {
            row -= kGroupRows;
        } else if (i % kBlockRows == kBlockRows - 1 && vc->block[i / kBlockRows].Empty()) {
            row -= kBlockRows;
        } else {
            if (!std::isnan(vc->v[i])) return last;
            --row;
        }
    }
    return end;
}

void PointStore::ColumnBounds(double t0, double t1, int columns, std::vector<std::size_t>& bounds) const {
    bounds.clear();
    if (columns <= 0 || !(t1 > t0)) return;
    bounds.reserve(static_cast<std::size_t>(columns) + 1);
    const double width = (t1 - t0) / columns;
    std::size_t row = LowerBound(t0);
    bounds.push_back(row);
    for (int k = 1; k <= columns; ++k) {
        const double t = k == columns ? t1 : t0 + k * width;
        // Mostly a few rows on: look at the next few before searching.
        std::size_t step = 0;
        while (step < 8 && row < rows_ && TimeAt(row) < t) {
            ++row;
            ++step;
        }
        if (step == 8 && row < rows_ && TimeAt(row) < t) row = LowerBound(t);
        bounds.push_back(row);
    }
}

void PointStore::Columns(int channel, const std::vector<std::size_t>& bounds,
                         std::vector<Column>& out) const {
    out.clear();
    if (bounds.size() < 2) return;
    out.reserve(bounds.size() - 1);
    for (std::size_t k = 0; k + 1 < bounds.size(); ++k) {
        const std::size_t a = bounds[k], b = bounds[k + 1];
        Column col{0, kInf, -kInf, 0};
        if (b > a) {
            const Extent e = MinMax(channel, a, b);
            if (!e.Empty()) {
                col.min = e.min;
                col.max = e.max;
                col.first = ValueAt(channel, FirstDrawable(channel, a, b));
                col.last = ValueAt(channel, LastDrawable(channel, a, b));
            }
        }
        out.push_back(col);
    }
}

void PointStore::Columns(int channel, double t0, double t1, int columns, std::vector<Column>& out) const {
    std::vector<std::size_t> bounds;
    ColumnBounds(t0, t1, columns, bounds);
    Columns(channel, bounds, out);
}

std::size_t PointStore::BytesAllocated() const {
    std::size_t n = times_.size() * sizeof(TimeChunk);
    for (const auto& v : values_)
        for (const auto& c : v)
            if (c) n += sizeof(ValueChunk);
    return n;
}

} // namespace mirota
