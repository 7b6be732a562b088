#pragma once

// Summaries of the records at coarser steps, and the outline of a range
// drawn from them. A summary keeps, per channel, what a pixel column needs to
// draw the readings it stands for exactly as it would draw them one by one
// (the first, lowest, highest and last reading, with their instants) and
// what a mean needs (how many and their sum). Instants here are seconds
// since 1970 of the logger's civil time, as the archive keeps them.

#include "archive/archive.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The steps the summaries are kept at, finest first, each aligned on
// 1970-01-01 00:00: ten minutes, an hour, a day.
constexpr int kSummaryLevels = 3;
constexpr std::array<std::int64_t, kSummaryLevels> kSummarySteps = {600, 3600, 86400};

using TArchiveValues = std::array<std::optional<std::int32_t>, 16>;

struct TSummaryPoint {
  std::int64_t T = 0;
  std::int32_t V = 0;
  bool operator==(const TSummaryPoint &o) const { return T == o.T && V == o.V; }
};

// One channel over one span. Readings are ordered by instant, and the
// versions of one instant in the order they came: the lowest and highest
// are the first readings, in that order, with that value.
struct TChannelSummary {
  std::int64_t Count = 0;
  std::int64_t Sum = 0;
  TSummaryPoint First, Low, High, Last;

  // A reading that comes after every one already held at its instant (a
  // record arrives as the last version of its instant), at any instant.
  void Add(std::int64_t t, std::int32_t v);
  bool operator==(const TChannelSummary &o) const {
    return Count == o.Count && Sum == o.Sum && First == o.First && Low == o.Low && High == o.High && Last == o.Last;
  }
};

struct TBucketSummary {
  std::int64_t Records = 0;  // versions beside included, readings or not
  std::array<TChannelSummary, 16> Channels;

  void Add(std::int64_t t, const TArchiveValues &values);
  bool operator==(const TBucketSummary &o) const { return Records == o.Records && Channels == o.Channels; }
};

// The start of the bucket of `step` seconds that holds `t`.
std::int64_t BucketStart(std::int64_t t, std::int64_t step);

// A summary as it is stored, instants counted from the bucket's `start`.
std::string EncodeSummary(const TBucketSummary &summary, std::int64_t start);
// Empty when `bytes` is not a summary this program wrote.
std::optional<TBucketSummary> DecodeSummary(const char *bytes, std::size_t size, std::int64_t start);

// A record to outline: its instant and values.
struct TOutlineRecord {
  std::int64_t T = 0;
  TArchiveValues Values;
};

// The outline of `records` (every record held from `from` to `to`, in
// instant order, versions in the order they came) on `columns` columns: the
// reading of every raw row, the measure every faster way is held to.
TArchiveOutline OutlineOfRecords(const std::vector<TOutlineRecord> &records, std::int64_t from, std::int64_t to,
                                 int columns);

// Builds an outline from raw records and whole summaries, fed in instant
// order; a summary never spans two columns.
class TOutlineBuilder {
public:
  TOutlineBuilder(std::int64_t from, std::int64_t to, int columns);
  std::int64_t Column(std::int64_t t) const;
  // The first instant of column `c` (0 to columns); the end of the range
  // plus one for `columns`.
  std::int64_t ColumnStart(std::int64_t c) const;
  std::int64_t Columns() const { return Width_; }
  void AddRecord(std::int64_t t, const TArchiveValues &values);
  void AddSummary(std::int64_t start, const TBucketSummary &summary);
  TArchiveOutline Finish();

private:
  struct TColumn {
    std::int64_t Index = -1;
    TSummaryPoint First, Low, High, Last;
  };
  void Close(int k);

  std::int64_t From_, Span_, Width_;
  std::array<TColumn, 16> Current_;
  TArchiveOutline Outline_;
};

// A piece of a range read one way: whole buckets of one level from `Start`
// to before `End`, or (Level -1) raw records in those instants.
struct TOutlinePiece {
  int Level = -1;
  std::int64_t Start = 0, End = 0;
};

// How to read the range `from` to `to` (both included) on `columns`
// columns: in instant order, each column covered by the coarsest buckets
// that lie whole inside it, finer ones toward its edges and raw records
// where no bucket fits. Adjacent pieces read the same way are joined.
std::vector<TOutlinePiece> PlanOutline(std::int64_t from, std::int64_t to, int columns);
