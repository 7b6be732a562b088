#pragma once

#include <string_view>
#include <vector>

// The dump as the logger sent it, seen as lines. The views point into the
// dump text, so the text must outlive them.
using TDumpLines = std::vector<std::string_view>;

// Splits at every line break the logger may have sent: CR LF, a lone CR or a
// lone LF, each one break. The break is part of no line. A text ending in a
// break has no empty last line; an empty text has no lines.
TDumpLines SplitDumpLines(std::string_view dump);

// The same count as SplitDumpLines(dump).size(), without building the list.
int CountDumpLines(std::string_view dump);
