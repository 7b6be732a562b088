#include "archive/archive_summary.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int kValues = 16;

// The chart's seconds count from 2000; the archive's from 1970.
double ChartEpoch() {
  static const double epoch =
      static_cast<double>(StampSeconds(TStamp{2000, 1, 1, 0, 0, 0}) - StampSeconds(TStamp{1970, 1, 1, 0, 0, 0}));
  return epoch;
}

// Numbers as LEB128, signed ones zigzagged first: a ten-minute summary of
// sixteen channels takes about 300 bytes instead of 1,500.
void PutUnsigned(std::string &out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

void PutSigned(std::string &out, std::int64_t v) {
  PutUnsigned(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}

struct TReader {
  const unsigned char *At, *End;
  bool Ok = true;

  std::uint64_t Unsigned() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (At == End) break;
      const unsigned char b = *At++;
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    Ok = false;
    return 0;
  }
  std::int64_t Signed() {
    const std::uint64_t v = Unsigned();
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
  }
  std::int32_t Value() {
    const std::int64_t v = Signed();
    if (v < INT32_MIN || v > INT32_MAX) Ok = false;
    return static_cast<std::int32_t>(v);
  }
};

// Points that come first in instant order win a tie: an earlier instant,
// or at the same instant the version that came first.
bool Earlier(const TSummaryPoint &a, const TSummaryPoint &b) { return a.T < b.T; }

}  // namespace

void TChannelSummary::Add(std::int64_t t, std::int32_t v) {
  const TSummaryPoint p{t, v};
  if (Count == 0) {
    First = Low = High = Last = p;
  } else {
    if (Earlier(p, First)) First = p;
    if (!Earlier(p, Last)) Last = p;  // the same instant: this version came later
    if (v < Low.V || (v == Low.V && Earlier(p, Low))) Low = p;
    if (v > High.V || (v == High.V && Earlier(p, High))) High = p;
  }
  ++Count;
  Sum += v;
}

void TBucketSummary::Add(std::int64_t t, const TArchiveValues &values) {
  ++Records;
  for (int k = 0; k < kValues; ++k) {
    const std::optional<std::int32_t> &v = values[static_cast<size_t>(k)];
    if (v) Channels[static_cast<size_t>(k)].Add(t, *v);
  }
}

std::int64_t BucketStart(std::int64_t t, std::int64_t step) {
  std::int64_t q = t / step;
  if (t % step != 0 && t < 0) --q;
  return q * step;
}

std::string EncodeSummary(const TBucketSummary &summary, std::int64_t start) {
  std::string out;
  out.reserve(320);
  PutUnsigned(out, static_cast<std::uint64_t>(summary.Records));
  for (const TChannelSummary &c : summary.Channels) {
    PutUnsigned(out, static_cast<std::uint64_t>(c.Count));
    if (c.Count == 0) continue;
    PutSigned(out, c.Sum);
    PutUnsigned(out, static_cast<std::uint64_t>(c.First.T - start));
    PutSigned(out, c.First.V);
    // The other three lie near the first in time and value.
    for (const TSummaryPoint *p : {&c.Low, &c.High, &c.Last}) {
      PutUnsigned(out, static_cast<std::uint64_t>(p->T - start));
      PutSigned(out, static_cast<std::int64_t>(p->V) - c.First.V);
    }
  }
  return out;
}

std::optional<TBucketSummary> DecodeSummary(const char *bytes, std::size_t size, std::int64_t start) {
  TReader in{reinterpret_cast<const unsigned char *>(bytes), reinterpret_cast<const unsigned char *>(bytes) + size};
  TBucketSummary s;
  s.Records = static_cast<std::int64_t>(in.Unsigned());
  for (TChannelSummary &c : s.Channels) {
    c.Count = static_cast<std::int64_t>(in.Unsigned());
    if (c.Count == 0) continue;
    c.Sum = in.Signed();
    c.First.T = start + static_cast<std::int64_t>(in.Unsigned());
    c.First.V = in.Value();
    for (TSummaryPoint *p : {&c.Low, &c.High, &c.Last}) {
      p->T = start + static_cast<std::int64_t>(in.Unsigned());
      const std::int64_t v = c.First.V + in.Signed();
      if (v < INT32_MIN || v > INT32_MAX) in.Ok = false;
      p->V = static_cast<std::int32_t>(v);
    }
  }
  if (!in.Ok || in.At != in.End || s.Records < 0) return std::nullopt;
  return s;
}

TArchiveOutline OutlineOfRecords(const std::vector<TOutlineRecord> &records, std::int64_t from, std::int64_t to,
                                 int columns) {
  TArchiveOutline outline;
  const std::int64_t start = from;
  const std::int64_t span = to - start + 1;
  if (span <= 0) return outline;
  const std::int64_t width = std::max(columns, 1);
  struct TColumn {
    std::int64_t Index = -1;
    TOutlinePoint First, Low, High, Last;
  };
  std::array<TColumn, kValues> current;
  auto close = [&](int k) {
    TColumn &c = current[static_cast<size_t>(k)];
    if (c.Index < 0) return;
    std::vector<TOutlinePoint> &line = outline.Channels[static_cast<size_t>(k)];
    TOutlinePoint points[4] = {c.First, c.Low, c.High, c.Last};
    std::stable_sort(std::begin(points), std::end(points),
                     [](const TOutlinePoint &a, const TOutlinePoint &b) { return a.Seconds < b.Seconds; });
    for (const TOutlinePoint &p : points) {
      if (!line.empty() && line.back().Seconds == p.Seconds && line.back().Value == p.Value) continue;
      line.push_back(p);
    }
    c.Index = -1;
  };
  for (const TOutlineRecord &r : records) {
    if (r.T < from || r.T > to) continue;
    ++outline.Records;
    const std::int64_t t = r.T;
    const std::int64_t column = (t - start) * width / span;
    const TOutlinePoint point{static_cast<double>(t) - ChartEpoch(), 0};
    for (int k = 0; k < kValues; ++k) {
      const std::optional<std::int32_t> &v = r.Values[static_cast<size_t>(k)];
      if (!v) continue;
      TColumn &c = current[static_cast<size_t>(k)];
      if (c.Index != column) {
        close(k);
        c.Index = column;
        c.First = c.Low = c.High = TOutlinePoint{point.Seconds, *v};
      }
      if (*v < c.Low.Value) c.Low = TOutlinePoint{point.Seconds, *v};
      if (*v > c.High.Value) c.High = TOutlinePoint{point.Seconds, *v};
      c.Last = TOutlinePoint{point.Seconds, *v};
    }
  }
  for (int k = 0; k < kValues; ++k) close(k);
  return outline;
}

TOutlineBuilder::TOutlineBuilder(std::int64_t from, std::int64_t to, int columns)
    : From_(from), Span_(std::max<std::int64_t>(to - from + 1, 0)), Width_(std::max(columns, 1)) {}

std::int64_t TOutlineBuilder::Column(std::int64_t t) const {
  return static_cast<std::int64_t>(static_cast<__int128>(t - From_) * Width_ / Span_);
}

std::int64_t TOutlineBuilder::ColumnStart(std::int64_t c) const {
  // The first t with (t - from) * width >= c * span.
  const __int128 n = static_cast<__int128>(c) * Span_;
  return From_ + static_cast<std::int64_t>((n + Width_ - 1) / Width_);
}

void TOutlineBuilder::AddRecord(std::int64_t t, const TArchiveValues &values) {
  ++Outline_.Records;
  const std::int64_t column = Column(t);
  for (int k = 0; k < kValues; ++k) {
    const std::optional<std::int32_t> &v = values[static_cast<size_t>(k)];
    if (!v) continue;
    TColumn &c = Current_[static_cast<size_t>(k)];
    const TSummaryPoint p{t, *v};
    if (c.Index != column) {
      Close(k);
      c.Index = column;
      c.First = c.Low = c.High = p;
    }
    if (*v < c.Low.V) c.Low = p;
    if (*v > c.High.V) c.High = p;
    c.Last = p;
  }
}

void TOutlineBuilder::AddSummary(std::int64_t start, const TBucketSummary &summary) {
  Outline_.Records += summary.Records;
  const std::int64_t column = Column(start);
  for (int k = 0; k < kValues; ++k) {
    const TChannelSummary &s = summary.Channels[static_cast<size_t>(k)];
    if (s.Count == 0) continue;
    TColumn &c = Current_[static_cast<size_t>(k)];
    if (c.Index != column) {
      Close(k);
      c.Index = column;
      c.First = s.First;
      c.Low = s.Low;
      c.High = s.High;
    } else {
      if (s.Low.V < c.Low.V) c.Low = s.Low;
      if (s.High.V > c.High.V) c.High = s.High;
    }
    c.Last = s.Last;
  }
}

void TOutlineBuilder::Close(int k) {
  TColumn &c = Current_[static_cast<size_t>(k)];
  if (c.Index < 0) return;
  std::vector<TOutlinePoint> &line = Outline_.Channels[static_cast<size_t>(k)];
  TSummaryPoint points[4] = {c.First, c.Low, c.High, c.Last};
  std::stable_sort(std::begin(points), std::end(points),
                   [](const TSummaryPoint &a, const TSummaryPoint &b) { return a.T < b.T; });
  for (const TSummaryPoint &p : points) {
    const double seconds = static_cast<double>(p.T) - ChartEpoch();
    if (!line.empty() && line.back().Seconds == seconds && line.back().Value == p.V) continue;
    line.push_back(TOutlinePoint{seconds, p.V});
  }
  c.Index = -1;
}

TArchiveOutline TOutlineBuilder::Finish() {
  for (int k = 0; k < kValues; ++k) Close(k);
  return std::move(Outline_);
}

namespace {

void Push(std::vector<TOutlinePiece> &pieces, int level, std::int64_t start, std::int64_t end) {
  if (start >= end) return;
  if (!pieces.empty() && pieces.back().Level == level && pieces.back().End == start) {
    pieces.back().End = end;
    return;
  }
  pieces.push_back(TOutlinePiece{level, start, end});
}

void Cover(std::vector<TOutlinePiece> &pieces, std::int64_t a, std::int64_t b, int level) {
  if (a >= b) return;
  if (level < 0) {
    Push(pieces, -1, a, b);
    return;
  }
  const std::int64_t step = kSummarySteps[static_cast<size_t>(level)];
  const std::int64_t first = BucketStart(a + step - 1, step);
  const std::int64_t end = BucketStart(b, step);
  if (first >= end) {
    Cover(pieces, a, b, level - 1);
    return;
  }
  Cover(pieces, a, first, level - 1);
  Push(pieces, level, first, end);
  Cover(pieces, end, b, level - 1);
}

}  // namespace

std::vector<TOutlinePiece> PlanOutline(std::int64_t from, std::int64_t to, int columns) {
  std::vector<TOutlinePiece> pieces;
  const TOutlineBuilder b(from, to, columns);
  const std::int64_t span = to - from + 1;
  if (span <= 0) return pieces;
  // Columns narrower than the finest step hold no whole bucket.
  if (span < kSummarySteps[0] * b.Columns()) {
    pieces.push_back(TOutlinePiece{-1, from, to + 1});
    return pieces;
  }
  for (std::int64_t c = 0; c < b.Columns(); ++c) {
    Cover(pieces, b.ColumnStart(c), b.ColumnStart(c + 1), kSummaryLevels - 1);
  }
  return pieces;
}
