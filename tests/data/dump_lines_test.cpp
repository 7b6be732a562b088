#include "data/dump_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> out;
  for (auto l : SplitDumpLines(text)) out.emplace_back(l);
  EXPECT_EQ(CountDumpLines(text), static_cast<int>(out.size())) << "counter and splitter disagree";
  return out;
}

using V = std::vector<std::string>;

TEST(DumpLines, EachKindOfBreakEndsOneLine) {
  EXPECT_EQ(Lines("ab\r\ncd\r\nA"), (V{"ab", "cd", "A"}));
  EXPECT_EQ(Lines("ab\ncd\nA"), (V{"ab", "cd", "A"}));
  EXPECT_EQ(Lines("ab\rcd\rA"), (V{"ab", "cd", "A"}));
  EXPECT_EQ(Lines("ab\r\ncd\nef\rA"), (V{"ab", "cd", "ef", "A"}));
}

TEST(DumpLines, BreaksInARowMakeEmptyLines) {
  // LF CR is two breaks, CR CR LF too: only CR directly followed by LF pairs.
  EXPECT_EQ(Lines("a\n\rb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines("a\r\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines("a\r\n\r\nb"), (V{"a", "", "b"}));
}

TEST(DumpLines, EmptyLastLineIsNotCounted) {
  EXPECT_EQ(Lines("a\r\n"), (V{"a"}));
  EXPECT_EQ(Lines("a\n\n"), (V{"a", ""}));
  EXPECT_EQ(Lines("a\r"), (V{"a"}));
  EXPECT_EQ(Lines("\n"), (V{""}));
  EXPECT_TRUE(Lines("").empty());
  EXPECT_EQ(Lines("A"), (V{"A"}));
}

TEST(DumpLines, ViewsPointIntoTheDump) {
  const std::string dump = "123\r\n456\r\nA";
  const auto lines = SplitDumpLines(dump);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].data(), dump.data() + 5);
}

}  // namespace
