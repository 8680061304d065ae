#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/bytestream.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

// The stop handler can wipe only what is registered: a registration that
// finds no room must say so, and the files registered before stay wiped.
TEST(HeldFiles, RegistrationBeyondTheSlotsIsRefusedAndTheOthersStillWipe) {
  TempDir dir;
  HeldFile f[5];
  int added = 0;
  for (int i = 0; i < 5; ++i) {
    // Named at once (on Linux a run's output has a name only at the end).
    ASSERT_TRUE(held::create_temporary(f[i], dir.path().string()) && held::give_name(f[i], dir.path().string()));
    write_file(f[i].name, "secret");
    if (held::add(f[i])) ++added;
  }
  EXPECT_EQ(added, 4);
  held::wipe_all_quietly();
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(std::filesystem::exists(f[i].name)) << i;
  EXPECT_EQ(as_string(read_file(f[4].name)), "secret");
  for (HeldFile& h : f) held::release(h);
  std::remove(f[4].name.c_str());
}

// Streams on a held file use its descriptor: a name swapped meanwhile
// leads nothing anywhere else.
TEST(HeldFiles, StreamsOnAHeldFileFollowTheDescriptorNotTheName) {
  TempDir dir;
  HeldFile f;
  ASSERT_TRUE(held::create_temporary(f, dir.path().string()) && held::give_name(f, dir.path().string()));
  const std::string moved = dir.file("moved");
  ASSERT_EQ(std::rename(f.name.c_str(), moved.c_str()), 0);
  write_file(f.name, "planted");
  {
    OutFile out;
    ASSERT_TRUE(out.open(f));
    out.write(reinterpret_cast<const unsigned char*>("ours"), 4);
    EXPECT_TRUE(out.close());
  }
  EXPECT_EQ(as_string(read_file(moved)), "ours");
  EXPECT_EQ(as_string(read_file(f.name)), "planted");
  InFile in;
  ASSERT_TRUE(in.open(f));
  EXPECT_EQ(in.size(), 4u);
  EXPECT_EQ(in.get(), 'o');
  held::release(f);
}

TEST(RegularFiles, EveryAccessRefusesWhatIsNoRegularFile) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("sub"));
  write_file(dir.file("plain"), "abc");
  for (auto how : {files::Access::read, files::Access::update, files::Access::append, files::Access::write_in_place,
                   files::Access::write_emptied}) {
    EXPECT_EQ(files::open_regular(fifo.c_str(), how), -1);  // and returns: never waits for a writer
    EXPECT_EQ(files::open_regular(dir.file("sub").c_str(), how), -1);
    EXPECT_EQ(files::open_regular_stream(dir.file("sub"), how), nullptr);
    const int fd = files::open_regular(dir.file("plain").c_str(), how);
    EXPECT_GE(fd, 0);
    files::close(fd);
  }
  // Only the emptying access emptied it; the others never create a file.
  EXPECT_EQ(read_file(dir.file("plain")).size(), 0u);
  EXPECT_EQ(files::open_regular(dir.file("none").c_str(), files::Access::write_in_place), -1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("none")));
}

}  // namespace
}  // namespace qvx
