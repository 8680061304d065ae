// Runs that do not finish: stopped by a signal in the middle of the passes,
// or unable to write their output. Either way no work file and no
// finished-looking destination may stay behind, and the source is intact.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

// The engine started in `cwd` with no input, its output to a file;
// optionally under a file-size limit (SIGXFSZ left at its default: the
// engine must cope).
pid_t start_engine(const fs::path& cwd, const std::vector<std::string>& args, const std::string& out_path,
                   rlim_t size_limit = RLIM_INFINITY) {
  return qvx::testing::start_engine(cwd, args, "/dev/null", out_path, size_limit);
}

uint64_t size_or_zero(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

// Names in the directory that only a run makes: work files and the
// temporary output.
std::vector<std::string> run_leftovers(const fs::path& dir) {
  std::vector<std::string> left;
  for (const auto& name : list_dir(dir))
    if (name.find("qvx0") != std::string::npos) left.push_back(name);
  return left;
}

class Interrupted : public ::testing::Test {
 protected:
  void SetUp() override {
    write_book(dir.file("k.kb"), {sample_record("uno")});
    plain = random_bytes(8u << 20, 77);
    write_file(dir.file("plain.bin"), plain);
  }

  // Starts the run, waits until its output beside the destination (where
  // the run's single sweep writes; it may have no name at all) holds data,
  // hard-linking it to `spy` so its last contents can be seen after it is
  // gone, then sends `sig`. Returns the wait status.
  int stop_midway(const std::vector<std::string>& args, int sig) {
    const pid_t pid = start_engine(dir.path(), args, out.file("stdout"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::string output;  // the run's descriptor of its output, under /proc
    bool linked = false;
    while (std::chrono::steady_clock::now() < deadline) {
      if (output.empty()) output = output_descriptor(pid);
      // Only once data flows: a second name at the start makes the run refuse the file.
      if (!linked && !output.empty() && size_or_zero(output) > 0 &&
          ::linkat(AT_FDCWD, output.c_str(), AT_FDCWD, spy().c_str(), AT_SYMLINK_FOLLOW) == 0)
        linked = true;
      if (linked && size_or_zero(spy()) > (1u << 20)) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_TRUE(linked) << "the run never wrote its temporary output";
    struct stat st;
    if (linked && ::stat(spy().c_str(), &st) == 0) {
      EXPECT_EQ(st.st_mode & 0777, 0600u) << "run files are private";
    }
    ::kill(pid, sig);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  // The /proc path of the run's descriptor on its temporary output: a
  // file in the run's folder that is no file of the test's.
  std::string output_descriptor(pid_t pid) const {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fds, ec)) {
      const std::string target = fs::read_symlink(e.path(), ec).string();
      const std::string name = fs::path(target).filename().string();
      if (target.rfind(dir.path().string(), 0) == 0 && name.find("qvx01") == std::string::npos &&
          name.find("qvx02") == std::string::npos && name.rfind("k.kb", 0) != 0 && name.rfind("plain.bin", 0) != 0 &&
          name.rfind("enc.bin", 0) != 0)
        return e.path().string();
    }
    return "";
  }

  fs::path spy() const { return out.file("spy"); }

  TempDir dir;
  TempDir out;  // outside the run's directory, so it does not count as a leftover
  Bytes plain;
};

// Each stop signal, in encoding and in decoding: the run ends by that
// signal, the work files were overwritten (the spy link sees the single
// '0' the wipe leaves) and deleted, and neither the destination nor its
// temporary name remains.
// SIGQUIT dumps no core, even where the limit allows one: the keys and the
// plaintext are in memory.
TEST_F(Interrupted, StopSignalsWipeWorkFilesAndLeaveNoDestination) {
  struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY}, before {};
  ::getrlimit(RLIMIT_CORE, &before);
  if (::setrlimit(RLIMIT_CORE, &unlimited) != 0) unlimited = before;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGPROF}) {
    SCOPED_TRACE(sig);
    const int status = stop_midway({"k.kb", "1", "c", "plain.bin", "enc.bin"}, sig);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_FALSE(WCOREDUMP(status));
    EXPECT_FALSE(fs::exists(dir.file("core")));
    EXPECT_EQ(as_string(read_file(spy().string())), "0");
    EXPECT_TRUE(run_leftovers(dir.path()).empty());
    EXPECT_FALSE(fs::exists(dir.file("enc.bin")));
    EXPECT_EQ(read_file(dir.file("plain.bin")), plain);
    fs::remove(spy());
  }
  ::setrlimit(RLIMIT_CORE, &before);
}

// A reader that goes away early (`qvx7 ... | head`) does not stop the run:
// the console text is lost, the work is done and nothing is left behind.
TEST_F(Interrupted, ClosedStandardOutputDoesNotStopTheRun) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Launch how;
  how.out_fd = fds[1];
  const pid_t pid = qvx::testing::start_engine(dir.path(), {"k.kb", "1", "c", "plain.bin", "enc.bin"}, "/dev/null",
                                               "", how);
  ::close(fds[1]);
  // Read into the passes' messages, then go away.
  std::string seen;
  char chunk[512];
  while (seen.find("CLAVE 3") == std::string::npos) {
    const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
    ASSERT_GT(n, 0);
    seen.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4);
  EXPECT_TRUE(run_leftovers(dir.path()).empty());
  RunResult d = run_engine_in(dir.path(), {"k.kb", "1", "d", "enc.bin", "dec.bin"});
  ASSERT_EQ(d.status, 3);
  EXPECT_EQ(read_file(dir.file("dec.bin")), plain);
}

// A decoding killed outright (kill -9, a crash) cannot wipe anything: its
// output, holding the plaintext decoded so far, had no name, and nothing
// of it is left; the next run in the place takes the work files over.
TEST_F(Interrupted, DecodingKilledOutrightLeavesNoPlaintext) {
  RunResult e = run_engine_in(dir.path(), {"k.kb", "1", "c", "plain.bin", "enc.bin"});
  ASSERT_EQ(e.status, 4);
  const int status = stop_midway({"k.kb", "1", "d", "enc.bin", "dec.bin"}, SIGKILL);
  ASSERT_TRUE(WIFSIGNALED(status));
  fs::remove(spy());
  for (const auto& name : run_leftovers(dir.path())) EXPECT_EQ(name.find("qvx03"), std::string::npos) << name;
  EXPECT_FALSE(fs::exists(dir.file("dec.bin")));
  RunResult d = run_engine_in(dir.path(), {"k.kb", "1", "d", "enc.bin", "dec.bin"});
  EXPECT_EQ(d.status, 3);
  EXPECT_EQ(read_file(dir.file("dec.bin")), plain);
  EXPECT_TRUE(run_leftovers(dir.path()).empty());
}

TEST_F(Interrupted, DecodingStoppedKeepsTheOldDestinationAndWipesPlaintext) {
  RunResult e = run_engine_in(dir.path(), {"k.kb", "1", "c", "plain.bin", "enc.bin"});
  ASSERT_EQ(e.status, 4);
  const Bytes encoded = read_file(dir.file("enc.bin"));
  write_file(dir.file("dec.bin"), "older contents");
  // Once the output holds plaintext the run is well past its start.
  const int status = stop_midway({"k.kb", "1", "d", "enc.bin", "dec.bin"}, SIGTERM);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(as_string(read_file(spy().string())), "0");
  EXPECT_TRUE(run_leftovers(dir.path()).empty());
  EXPECT_EQ(as_string(read_file(dir.file("dec.bin"))), "older contents");
  EXPECT_EQ(read_file(dir.file("enc.bin")), encoded);
}

// A file-size limit below the data: the writes fail, the run says so, the
// run ends normally with the failed-run status, and nothing is put in place. Just above the
// source's size only the grown data meets the limit, on its way to the
// destination: the pass that writes it says so.
TEST_F(Interrupted, WritesCutShortByAFileSizeLimit) {
  struct Case {
    const char* op;
    rlim_t limit;
    const char* said;
  };
  const Case cases[] = {{"c", 1u << 20, "Error Copiando en Disco"},
                        {"d", 1u << 20, "Error Copiando en Disco"},
                        {"c", plain.size() + 1, "Error Copiando en Disco"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.op) + " " + std::to_string(k.limit));
    write_file(dir.file("out.bin"), "older contents");
    const pid_t pid = start_engine(dir.path(), {"k.kb", "1", k.op, "plain.bin", "out.bin"},
                                   out.file("stdout"), k.limit);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 8);
    const std::string shown = as_string(read_file(out.file("stdout")));
    EXPECT_NE(shown.find(k.said), std::string::npos);
    EXPECT_NE(shown.find("Error no se ha escrito el Destino out.bin, el proceso no ha terminado bien"),
              std::string::npos);
    EXPECT_TRUE(run_leftovers(dir.path()).empty());
    EXPECT_EQ(as_string(read_file(dir.file("out.bin"))), "older contents");
    EXPECT_EQ(read_file(dir.file("plain.bin")), plain);
  }
}

// The temporary output must not change what the user sees: a finished run
// names only the user's destination, and the file it leaves has the mode of
// the file it replaced.
TEST_F(Interrupted, FinishedRunsReplaceTheDestinationInPlace) {
  write_file(dir.file("small.bin"), random_bytes(5000, 3));
  write_file(dir.file("target.bin"), "old");
  fs::permissions(dir.file("target.bin"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  RunResult e = run_engine_in(dir.path(), {"k.kb", "1", "c", "small.bin", "target.bin"});
  ASSERT_EQ(e.status, 4);
  EXPECT_EQ(e.out.find("qvx03"), std::string::npos);
  EXPECT_EQ(fs::status(dir.file("target.bin")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  RunResult d = run_engine_in(dir.path(), {"k.kb", "1", "d", "target.bin", "back.bin"});
  ASSERT_EQ(d.status, 3);
  EXPECT_EQ(read_file(dir.file("back.bin")), random_bytes(5000, 3));
  EXPECT_TRUE(run_leftovers(dir.path()).empty());
}

// The confirmation file named as the destination is refused before any
// pass: the output would replace the key that decodes it.
TEST_F(Interrupted, ConfirmationFileCannotBeTheDestination) {
  write_file(dir.file("small.bin"), random_bytes(5000, 4));
  write_file(dir.file("conf.bin"), random_bytes(3000, 5));
  RunResult e = run_engine_in(dir.path(), {"k.kb", "1", "c", "small.bin", "./conf.bin", "conf.bin"});
  ASSERT_EQ(e.status, 8);
  EXPECT_NE(e.out.find("\n no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros\n"), std::string::npos);
  EXPECT_EQ(e.out.find("CLAVE 1"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("conf.bin")), random_bytes(3000, 5));
}

}  // namespace
}  // namespace qvx
