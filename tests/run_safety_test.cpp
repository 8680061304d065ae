// Runs as a hostile neighbour, a careless caller or a crowd would disturb
// them: planted work files, sources that are not files, destinations that
// must not be written, many runs in one place. A run either completes with
// the right output or fails with status 8 and leaves everything as it was.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

constexpr const char* kSameFiles = "\n no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros\n";
constexpr uid_t kNobody = 65534;

class RunSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    write_book(dir.file("k.kb"), {sample_record("uno"), sample_record("dos", 1)});
    plain = random_bytes(40000, 5);
    write_file(dir.file("plain.bin"), plain);
  }

  RunResult run(const std::vector<std::string>& args, const Launch& how = {}) {
    RunResult r = run_engine_in(dir.path(), args, "", 60, how);
    EXPECT_FALSE(r.timed_out);
    return r;
  }

  // Nothing but what the test put there: no work file, no temporary output.
  void expect_no_leftovers() {
    for (const auto& name : list_dir(dir.path())) EXPECT_EQ(name.find("qvx0"), std::string::npos) << name;
  }

  TempDir dir;
  Bytes plain;
};

// A link, a FIFO, a directory, a second name of another file, or a file of
// another user at a work file's name: the run refuses before any pass,
// opens nothing through it, and changes nothing.
TEST_F(RunSafety, PlantedWorkFilesEndTheRunBeforeAnyPass) {
  write_file(dir.file("victim"), "precious");
  const std::string refused =
      "\nError el fichero temporal qvx01.qvx no es un fichero propio (enlace, directorio, fifo, dispositivo o de "
      "otro usuario), no se procesa\n";
  auto plant = [&](int kind) {
    const std::string w = dir.file("qvx01.qvx");
    switch (kind) {
      case 0: fs::create_symlink("victim", w); break;
      case 1: ASSERT_EQ(::mkfifo(w.c_str(), 0600), 0); break;
      case 2: fs::create_directory(w); break;
      case 3: fs::create_hard_link(dir.file("victim"), w); break;
      case 4:
        write_file(w, "theirs");
        ASSERT_EQ(::chown(w.c_str(), kNobody, kNobody), 0);
        break;
    }
  };
  for (int kind = 0; kind < (::geteuid() == 0 ? 5 : 4); ++kind) {
    SCOPED_TRACE(kind);
    plant(kind);
    RunResult r = run({"k.kb", "1", "c", "plain.bin", "enc.bin"});
    EXPECT_EQ(r.status, 8);
    EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("CLAVE 1"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("enc.bin")));
    EXPECT_EQ(as_string(read_file(dir.file("victim"))), "precious");
    EXPECT_TRUE(fs::exists(fs::symlink_status(dir.file("qvx01.qvx"))));
    fs::remove_all(dir.file("qvx01.qvx"));
    EXPECT_FALSE(fs::exists(dir.file("qvx02.qvx")));
  }
  // A leftover of our own that no run holds (one killed outright) is taken
  // over, and wiped with the rest.
  write_file(dir.file("qvx01.qvx"), "left by a killed run");
  ::chmod(dir.file("qvx01.qvx").c_str(), 0644);
  EXPECT_EQ(run({"k.kb", "1", "c", "plain.bin", "enc.bin"}).status, 4);
  expect_no_leftovers();
}

// Sources that are not regular files fail the run (the first pass's own
// report: pass 1's open failure, or pass 23's failed copy) and leave an
// existing destination alone; a directory or a FIFO as the
// confirmation file is a file that does not open.
TEST_F(RunSafety, OnlyRegularFilesAreReadAsData) {
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  fs::create_directory(dir.file("folder"));
  write_file(dir.file("old.bin"), "older contents");
  for (const char* source : {"fifo", "folder", "/proc/self/status"}) {
    SCOPED_TRACE(source);
    for (const char* op : {"c", "d"}) {
      RunResult r = run({"k.kb", "1", op, source, "old.bin"});
      EXPECT_EQ(r.status, 8);
      EXPECT_NE(r.out.find(op[0] == 'c' ? " no puede Abrirse " : "error copiando ficheros"), std::string::npos);
      EXPECT_EQ(as_string(read_file(dir.file("old.bin"))), "older contents");
    }
  }
  for (const char* conf : {"fifo", "folder"}) {
    RunResult r = run({"k.kb", "1", "c", "plain.bin", "enc.bin", conf});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.out.find("...No se Confirma...."), std::string::npos);
  }
  expect_no_leftovers();
}

// Writing over the key book or a work file is refused before any pass; so
// is a work file as the source.
TEST_F(RunSafety, FilesThatMustNotBeTheDestination) {
  ASSERT_EQ(run({"k.kb", "1", "c", "plain.bin", "enc.bin"}).status, 4);
  const Bytes encoded = read_file(dir.file("enc.bin"));
  const Bytes book = read_file(dir.file("k.kb"));
  write_file(dir.file("qvx02.qvx"), "a file of ours");
  const std::vector<std::vector<std::string>> refused = {
      {"k.kb", "1", "c", "qvx02.qvx", "out.bin"},
      {"k.kb", "1", "c", "plain.bin", "k.kb"},     {"./k.kb", "1", "d", "enc.bin", "k.kb"},
      {"k.kb", "1", "c", "plain.bin", "qvx01.qvx"}, {"k.kb", "1", "c", "plain.bin", "qvx02.qvx"},
  };
  for (const auto& args : refused) {
    SCOPED_TRACE(args[3] + " -> " + args[4]);
    RunResult r = run(args);
    EXPECT_EQ(r.status, 8);
    EXPECT_NE(r.out.find(kSameFiles), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Clave 22"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("enc.bin")), encoded);
    EXPECT_EQ(read_file(dir.file("k.kb")), book);
  }
  EXPECT_EQ(as_string(read_file(dir.file("qvx02.qvx"))), "a file of ours");
  EXPECT_FALSE(fs::exists(dir.file("qvx01.qvx")));
  EXPECT_FALSE(fs::exists(dir.file("out.bin")));
}

// As a user who is not root: a write-protected destination is refused as
// one that does not open; in a folder we may not create in, the output
// cannot be made beside the destination, and the run is refused before any
// pass, naming the folder (writing over the old destination in place would
// destroy it when the run fails midway); work files that cannot be made
// beside the source are named with their folder.
TEST_F(RunSafety, ProtectedDestinationsAndReadOnlyDirectories) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // The engine and the test's folder must be reachable by nobody, wherever
  // the checkout and the temporary folder lie.
  TempDir bin;
  Launch as_nobody;
  as_nobody.user = kNobody;
  as_nobody.exe = engine_for(kNobody, bin);
  ::chmod(dir.path().c_str(), 0777);
  if (as_nobody.exe.empty() || !can_enter(dir.path(), kNobody))
    GTEST_SKIP() << "user nobody cannot enter " << bin.path().parent_path() << " (set TMPDIR to a folder others can enter)";
  fs::create_directory(dir.file("ro"));
  write_file(dir.file("ro/out.bin"), "older contents");
  write_file(dir.file("locked.bin"), "older contents");
  for (const char* f : {"k.kb", "plain.bin", "locked.bin", "ro/out.bin", "ro"})
    ASSERT_EQ(::chown(dir.file(f).c_str(), kNobody, kNobody), 0);
  ::chmod(dir.file("locked.bin").c_str(), 0444);

  RunResult r = run({"k.kb", "1", "c", "plain.bin", "locked.bin"}, as_nobody);
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.out.find(" no puede Abrirse "), std::string::npos);
  EXPECT_EQ(as_string(read_file(dir.file("locked.bin"))), "older contents");

  write_file(dir.file("ro/in.bin"), plain);
  ASSERT_EQ(::chown(dir.file("ro/in.bin").c_str(), kNobody, kNobody), 0);
  ::chmod(dir.file("ro").c_str(), 0555);
  const std::string ro = fs::canonical(dir.file("ro")).string();
  r = run({"k.kb", "1", "c", "plain.bin", "ro/out.bin"}, as_nobody);
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.out.find("\nError no se puede crear el fichero temporal del Destino en la carpeta " + ro +
                       ", no se procesa\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("CLAVE 1"), std::string::npos);
  EXPECT_EQ(as_string(read_file(dir.file("ro/out.bin"))), "older contents");
  r = run({"k.kb", "1", "c", "ro/in.bin", "out.bin", "0"}, as_nobody);
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.out.find("\nError no se puede crear el fichero temporal ro/in.binqvx01.qvx en la carpeta " + ro +
                       ", no se procesa\n"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir.file("out.bin")));
  expect_no_leftovers();
  ::chmod(dir.file("ro").c_str(), 0755);
}

// Many runs at once in one directory share the work-file names: they take
// turns, and every output that is put in place decodes to its source.
TEST_F(RunSafety, RunsInOnePlaceTakeTurns) {
  constexpr int kRuns = 40;
  TempDir logs;
  std::vector<pid_t> pids;
  for (int i = 0; i < kRuns; ++i) {
    write_file(dir.file("p" + std::to_string(i)), random_bytes(20000 + 37 * i, 100 + i));
    pids.push_back(start_engine(dir.path(), {"k.kb", "1", "c", "p" + std::to_string(i), "e" + std::to_string(i)},
                                "/dev/null", logs.file(std::to_string(i))));
  }
  int waited = 0;
  for (int i = 0; i < kRuns; ++i) {
    int status = 0;
    ::waitpid(pids[i], &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4) << i;
    if (as_string(read_file(logs.file(std::to_string(i)))).find("Esperando a que termine otro proceso") !=
        std::string::npos)
      ++waited;
  }
  EXPECT_GT(waited, 0);
  for (int i = 0; i < kRuns; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_EQ(run({"k.kb", "1", "d", "e" + n, "d" + n}).status, 3);
    EXPECT_EQ(read_file(dir.file("d" + n)), random_bytes(20000 + 37 * i, 100 + i)) << i;
  }
  expect_no_leftovers();
}

// Decoding onto its own source is as safe as encoding onto it: the output
// is made under a temporary name and put in place only at the end.
TEST_F(RunSafety, DecodingOntoItsOwnSourceIsAccepted) {
  ASSERT_EQ(run({"k.kb", "1", "c", "plain.bin", "enc.bin"}).status, 4);
  write_file(dir.file("again.bin"), plain);
  ASSERT_EQ(run({"k.kb", "1", "c", "again.bin", "./again.bin"}).status, 4);
  for (const char* name : {"enc.bin", "again.bin"}) {
    SCOPED_TRACE(name);
    RunResult r = run({"k.kb", "1", "d", name, std::string("./") + name});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.find(kSameFiles), std::string::npos);
    EXPECT_EQ(read_file(dir.file(name)), plain);
  }
  expect_no_leftovers();
}

// A work file whose name the system cannot take is reported by its name
// and folder, not as a source or destination that does not open.
TEST_F(RunSafety, WorkFilesThatCannotBeMadeAreNamed) {
  const std::string source(250, 's');  // the work files' names are 9 longer
  write_file(dir.file(source), plain);
  RunResult r = run({"k.kb", "1", "c", source, "enc.bin", "0"});
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.out.find("\nError no se puede crear el fichero temporal " + source + "qvx01.qvx en la carpeta " +
                       fs::canonical(dir.path()).string() + ", no se procesa\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find(" no puede Abrirse "), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.file("enc.bin")));
}

// As a hostile neighbour would try it. A destination another user owns
// (planted 0666 in a sticky folder such as /tmp) is refused before any
// pass; the output is 0600 until it is complete and then gets the mode of
// our own old destination, or 0666 less the umask for a new one.
TEST_F(RunSafety, DestinationsOfOthersAndModesOfOurOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(run({"k.kb", "1", "c", "plain.bin", "enc.bin"}).status, 4);
  ::chmod(dir.path().c_str(), 01777);
  write_file(dir.file("planted.bin"), "the attacker's file\n");
  ASSERT_EQ(::chown(dir.file("planted.bin").c_str(), kNobody, kNobody), 0);
  ::chmod(dir.file("planted.bin").c_str(), 0666);
  const mode_t old_mask = ::umask(077);
  RunResult r = run({"k.kb", "1", "d", "enc.bin", "planted.bin"});
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.out.find("\nError el fichero de Destino planted.bin es de otro usuario, no se reescribe\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Clave 22"), std::string::npos);
  EXPECT_EQ(as_string(read_file(dir.file("planted.bin"))), "the attacker's file\n");

  ::chmod(dir.path().c_str(), 0777);
  write_file(dir.file("own.bin"), "older");
  ::chmod(dir.file("own.bin").c_str(), 0640);
  EXPECT_EQ(run({"k.kb", "1", "d", "enc.bin", "own.bin"}).status, 3);
  EXPECT_EQ(run({"k.kb", "1", "d", "enc.bin", "new.bin"}).status, 3);
  ::umask(old_mask);
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("own.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat(dir.file("new.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(read_file(dir.file("new.bin")), plain);
  expect_no_leftovers();
}

// A symbolic link at the destination is replaced itself: the file it
// points to (perhaps one of the victim's own) is never written.
TEST_F(RunSafety, LinkAtTheDestinationIsReplacedNotFollowed) {
  write_file(dir.file("victim"), "precious");
  fs::create_symlink("victim", dir.file("link.bin"));
  fs::create_symlink("nowhere/file", dir.file("dangling.bin"));
  for (const char* name : {"link.bin", "dangling.bin"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(run({"k.kb", "1", "c", "plain.bin", name}).status, 4);
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir.file(name))));
    ASSERT_EQ(run({"k.kb", "1", "d", name, "back.bin"}).status, 3);
    EXPECT_EQ(read_file(dir.file("back.bin")), plain);
  }
  EXPECT_EQ(as_string(read_file(dir.file("victim"))), "precious");
  EXPECT_FALSE(fs::exists(dir.file("nowhere")));
  expect_no_leftovers();
}

// Where the output had to have a name (no unnamed files on that file
// system, or Windows), a run killed outright leaves it; the next run
// beside it wipes what no living run holds, and leaves alone what one
// does hold and what is not ours.
TEST_F(RunSafety, StaleTemporariesOfGoneRunsAreWiped) {
  const std::string stale = dir.file("qvx03-0123456789abcdef.qvx");
  const std::string held = dir.file("qvx03-fedcba9876543210.qvx");
  write_file(stale, plain);
  write_file(held, plain);
  ::chmod(stale.c_str(), 0600);
  ::chmod(held.c_str(), 0600);
  const int lock = ::open(held.c_str(), O_RDWR);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const std::string theirs = dir.file("qvx03-00112233445566ff.qvx");
  if (::geteuid() == 0) {
    write_file(theirs, plain);
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
  }
  EXPECT_EQ(run({"k.kb", "1", "c", "plain.bin", "enc.bin"}).status, 4);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(read_file(held), plain);
  if (::geteuid() == 0) {
    EXPECT_EQ(read_file(theirs), plain);
  }
  ::close(lock);
  fs::remove(held);
  fs::remove(theirs);
  expect_no_leftovers();
}

// Runs one after another in two lines, as `xargs -P2` gives them, over
// many small files in one folder: a run that finds the work files just
// removed by the other waits or takes them; it never fails.
TEST_F(RunSafety, ParallelRunsInOneFolderNeverFail) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr int kFiles = 100;  // the sanitizer build is slow enough with less
#else
  constexpr int kFiles = 300;
#endif
  constexpr int kLines = 2;
  const Bytes small = random_bytes(3000, 9);
  for (int i = 0; i < kFiles; ++i) write_file(dir.file("s" + std::to_string(i)), small);
  TempDir logs;
  std::vector<std::string> failures(kLines);
  std::vector<std::thread> lines;
  for (int line = 0; line < kLines; ++line) {
    lines.emplace_back([&, line] {
      for (int i = line; i < kFiles; i += kLines) {
        const std::string n = std::to_string(i);
        const pid_t pid = start_engine(dir.path(), {"k.kb", "1", "c", "s" + n, "e" + n}, "/dev/null",
                                       logs.file(n));
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 4) {
          const std::string out = as_string(read_file(logs.file(n)));
          failures[line] += "run " + n + ": ..." + out.substr(out.size() > 300 ? out.size() - 300 : 0) + "\n";
        }
      }
    });
  }
  for (auto& t : lines) t.join();
  for (const auto& f : failures) EXPECT_EQ(f, "");
  expect_no_leftovers();
}

}  // namespace
}  // namespace qvx
