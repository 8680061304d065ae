#include "platform/bytestream.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

TEST(ByteStream, RoundTripAcrossBlockEdges) {
  TempDir dir;
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 17}) {
    Bytes data = random_bytes(n, n);
    write_file(dir.file("in"), data);
    InFile in(dir.file("in").c_str());
    ASSERT_TRUE(in.is_open());
    EXPECT_EQ(in.size(), n);
    OutFile out(dir.file("out").c_str());
    // Mix single bytes and bulk reads.
    std::size_t i = 0;
    for (; i < n / 3; ++i) out.put(static_cast<unsigned char>(in.get()));
    EXPECT_EQ(copy_bytes(in, out, n - i), n - i);
    EXPECT_EQ(in.get(), -1);
    EXPECT_TRUE(out.close());
    EXPECT_EQ(out.written(), n);
    EXPECT_EQ(read_file(dir.file("out")), data);
  }
}

TEST(ByteStream, SeekInsideAndOutsideTheBuffer) {
  TempDir dir;
  Bytes data = random_bytes(5 * kBlock, 7);
  write_file(dir.file("in"), data);
  InFile in(dir.file("in").c_str());
  for (uint64_t at : {uint64_t{10}, uint64_t{5}, uint64_t{4 * kBlock + 3}, uint64_t{kBlock - 1}, uint64_t{0}}) {
    ASSERT_TRUE(in.seek(at));
    EXPECT_EQ(in.tell(), at);
    EXPECT_EQ(in.get(), data[at]);
    EXPECT_EQ(in.get(), data[at + 1]);
  }
  in.seek(5 * kBlock - 1);
  EXPECT_EQ(in.get(), data.back());
  EXPECT_EQ(in.get(), -1);
}

// Bytes written where the file lent room, mixed with copied ones, land in
// order; room is never lent short of what was asked, and a closed file
// lends none.
TEST(ByteStream, LentRoomMixesWithCopiedWrites) {
  TempDir dir;
  const Bytes data = random_bytes(3 * kBlock + 5, 9);
  OutFile out(dir.file("out").c_str());
  std::size_t at = 0;
  for (std::size_t piece : {std::size_t{100}, kBlock - 150, std::size_t{4096}, kBlock, std::size_t{7}, kBlock + 1}) {
    piece = std::min(piece, data.size() - at);
    std::size_t size = 0;
    unsigned char* room = out.lend(4096, size);
    ASSERT_NE(room, nullptr);
    ASSERT_GE(size, 4096u);
    if (piece <= size) {
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), piece, room);
      out.write(room, piece);
    } else {
      out.write(data.data() + at, piece);
    }
    at += piece;
    EXPECT_EQ(out.position(), at);
  }
  out.write(data.data() + at, data.size() - at);
  EXPECT_TRUE(out.close());
  EXPECT_EQ(read_file(dir.file("out")), data);
  std::size_t size = 1;
  EXPECT_EQ(out.lend(1, size), nullptr);
  EXPECT_EQ(size, 0u);
}

TEST(ByteStream, MissingFilesDoNotOpen) {
  TempDir dir;
  InFile in(dir.file("none").c_str());
  EXPECT_FALSE(in.is_open());
  OutFile out(dir.file("no/such/dir").c_str());
  EXPECT_FALSE(out.is_open());
  EXPECT_FALSE(file_exists(dir.file("none").c_str()));
}

}  // namespace
}  // namespace qvx
