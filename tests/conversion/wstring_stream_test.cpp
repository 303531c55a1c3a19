#include "conversion/wstring_stream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tagsmith {
namespace {

TEST(WStringStream, ReadStopsAtTheEndOfTheData) {
  TWStringStream s;
  s.WriteWideString(u"ab");
  EXPECT_EQ(s.Seek(0, TStream::soFromBeginning), 0);
  char buffer[10] = {};
  EXPECT_EQ(s.Read(buffer, 10), 4);
  EXPECT_EQ(std::memcmp(buffer, u"ab", 4), 0);
  EXPECT_EQ(s.Read(buffer, 10), 0);
}

TEST(WStringStream, WritingDiscardsWhatFollows) {
  TWStringStream s(u"xy");
  s.WriteWideString(u"a");
  EXPECT_EQ(s.DataString(), u"a");
  EXPECT_EQ(s.GetSize(), 2);
}

TEST(WStringStream, AnEmptyWriteStillEndsTheDataAtThePosition) {
  struct Case {
    int64_t position;
    std::u16string left;  // ceil(P / 2) characters
  };
  const Case cases[] = {{0, u""}, {2, u"a"}, {4, u"ab"}, {3, u"ab"}, {8, u"abcd"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    TWStringStream s(u"abcd");
    s.SetPosition(c.position);
    EXPECT_EQ(s.Write(nullptr, 0), 0);
    EXPECT_EQ(s.DataString(), c.left);
    EXPECT_EQ(s.GetPosition(), c.position);
    EXPECT_EQ(s.GetSize(), static_cast<int64_t>(c.left.size()) * 2);
    char buffer[8];
    EXPECT_EQ(s.Read(buffer, 8), 0) << "nothing is left after the position";
  }
  // A negative count is no write at all.
  TWStringStream s(u"abcd");
  s.SetPosition(2);
  const char byte = 'x';
  EXPECT_EQ(s.Write(&byte, -1), 0);
  EXPECT_EQ(s.DataString(), u"abcd");
  EXPECT_EQ(s.GetPosition(), 2);
}

TEST(WStringStream, SeekOriginsAndClamping) {
  TWStringStream s(u"xy");
  EXPECT_EQ(s.Seek(2, TStream::soFromEnd), 2);  // the offset counts back from the end
  EXPECT_EQ(s.Seek(1, TStream::soFromCurrent), 3);
  EXPECT_EQ(s.Seek(100, TStream::soFromBeginning), 4);
  EXPECT_EQ(s.Seek(-100, TStream::soFromCurrent), 0);
  EXPECT_EQ(s.Seek(3, 9), 0);  // unknown origin leaves the position
  s.SetPosition(4);
  s.SetSize(2);
  EXPECT_EQ(s.GetPosition(), 2);
  EXPECT_EQ(s.DataString(), u"x");
}

TEST(WStringStream, OddPositionsNeverTouchMemoryOutsideTheString) {
  TWStringStream s(u"abc");
  s.SetPosition(3);
  const char bytes[3] = {'1', '2', '3'};
  EXPECT_EQ(s.Write(bytes, 3), 3);
  EXPECT_EQ(s.DataString().size(), 4u);
  s.SetPosition(5);
  char out[8];
  EXPECT_LE(s.Read(out, 8), 2);
}

TEST(WStringStream, CopiesIntoAnotherStreamWithTheTerminator) {
  TWStringStream code;
  code.WriteWideString(u"[b]x[/b]");
  code.WriteWideString(std::u16string(1, u'\0'));
  TWStringStream target;
  EXPECT_EQ(target.CopyFrom(code, 0), 18);
  EXPECT_EQ(target.DataString(), std::u16string(u"[b]x[/b]\0", 9));
}

}  // namespace
}  // namespace tagsmith
