#include "bookformat/book_file.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace qvx {
namespace {

// The slot operations engine and panel both go through: a book of a live
// slot, a deleted one, a live one and a partial tail.
TEST(BookFile, SlotsFreeSlotAndOverlappingSearch) {
  testing::TempDir dir;
  const std::string path = dir.file("b.kb");
  std::vector<std::string> messages;
  KeyRecord r;
  r.nombre = "aaa";
  r.engorde = 7;
  r.desorden = -12.5;
  const Slot live = write_slot(r, messages);
  {
    BookFile f(path, BookFile::Use::append);
    ASSERT_TRUE(f.is_open());
  }
  BookFile f(path, BookFile::Use::update);
  ASSERT_TRUE(f.write_slot(1, live));
  ASSERT_TRUE(f.write_slot(2, deleted_slot()));
  ASSERT_TRUE(f.write_slot(3, live));
  ASSERT_TRUE(f.seek(3 * kSlotSize) && f.write("aa", 2));
  EXPECT_EQ(f.records(), 3u);
  EXPECT_EQ(f.first_free_slot(), 2);

  Slot back{};
  EXPECT_EQ(f.read_slot(3, back), kSlotSize);
  EXPECT_EQ(back, live);
  EXPECT_EQ(f.read_slot(4, back), 2u);  // the tail is no slot

  std::vector<uint64_t> at;
  f.find_all("aa", [&](uint64_t p) { at.push_back(p); });
  const uint64_t s3 = 2 * kSlotSize, tail = 3 * kSlotSize;
  EXPECT_EQ(at, (std::vector<uint64_t>{0, 1, s3, s3 + 1, tail}));
  at.clear();
  f.find_all("", [&](uint64_t p) { at.push_back(p); });
  EXPECT_TRUE(at.empty());

  f.write_slot(2, live);
  EXPECT_EQ(f.first_free_slot(), 0);
}

TEST(BookFile, RawDumpRowsFollowTheFields) {
  const Slot s = deleted_slot();
  std::vector<std::string_view> rows = slot_rows(s.data(), s.size());
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0].size(), kNameWidth);
  EXPECT_EQ(rows[12].size(), kDesordenWidth);
  EXPECT_EQ(rows[12].back(), '\0');
  rows = slot_rows(s.data(), kNameWidth + 3);  // a slot cut short
  EXPECT_EQ(rows[1].size(), 3u);
  EXPECT_TRUE(rows[2].empty());
}

}  // namespace
}  // namespace qvx
