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
