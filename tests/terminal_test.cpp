// The engine on a real terminal (a pseudo-terminal): text in the locale's
// character set, the progress line of long runs; and the same sessions
// through pipes, which must stay byte for byte what they always were.
#include <gtest/gtest.h>

#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <utmp.h>

#include <regex>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;

struct Env {
  const char* lc_all;
  const char* charset;  // QVX_CHARSET, or null for unset
};

// Runs the engine with stdin, stdout and stderr on one pseudo-terminal that
// neither echoes nor turns "\n" into "\r\n", so its bytes are the engine's
// own; `stderr_path` sends standard error to a file instead.
RunResult run_on_terminal(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                          const std::string& input, Env env, const std::string& stderr_path = "") {
  int master = -1, slave = -1;
  EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios t{};
  ::tcgetattr(slave, &t);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  ::tcsetattr(slave, TCSANOW, &t);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(master);
    if (::login_tty(slave) != 0 || ::chdir(cwd.c_str()) != 0) ::_exit(127);
    if (!stderr_path.empty()) ::dup2(::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::setenv("LC_ALL", env.lc_all, 1);
    if (env.charset)
      ::setenv("QVX_CHARSET", env.charset, 1);
    else
      ::unsetenv("QVX_CHARSET");
    std::vector<std::string> copy = args;
    std::vector<char*> argv{const_cast<char*>(QVX7_PATH)};
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(QVX7_PATH, argv.data());
    ::_exit(127);
  }
  ::close(slave);
  EXPECT_EQ(::write(master, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  RunResult r;
  char buf[65536];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  for (;;) {  // read until the last holder of the terminal is gone
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 200) > 0) {
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      r.out.append(buf, static_cast<std::size_t>(n));
    } else if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      r.timed_out = true;
      break;
    }
  }
  ::close(master);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  r.files = list_dir(cwd);
  return r;
}

std::string without(const std::string& text, const std::regex& what) {
  return std::regex_replace(text, what, "");
}

// What a terminal clears and redraws, taken out of its output.
std::string without_screen_clears(const std::string& s) { return without(s, std::regex("\x1b\\[H\x1b\\[2J")); }

std::string utf8_from_latin1(const std::string& s) {
  std::string u;
  for (unsigned char c : s) {
    if (c < 0x80) {
      u.push_back(static_cast<char>(c));
    } else {
      u.push_back(static_cast<char>(0xC0 | (c >> 6)));
      u.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return u;
}

// Create a book, add one record named "ñu" and a character Latin-1 lacks,
// leave. `name` is the name as typed on that side.
std::string new_record_session(const std::string& name) {
  std::string s = "s\nA\n1\n" + name + "\n";
  for (int k = 1; k <= 10; ++k) s += "clave" + std::to_string(k) + "\n";
  return s + "5\n1.5\nS\n";
}

TEST(Terminal, TextInTheLocalesCharacterSetAndLatin1Stored) {
  const std::string latin1_name = "\xF1u?";
  const std::string typed_utf8 = "\xC3\xB1u\xE2\x82\xAC";  // "ñu€"

  TempDir piped;
  RunResult p = run_engine_in(piped.path(), {"libro.kb"}, new_record_session(latin1_name));
  ASSERT_EQ(p.status, 6);
  const Bytes book = read_file(piped.file("libro.kb"));
  ASSERT_EQ(book.size(), kSlotSize);
  EXPECT_EQ(as_string(Bytes(book.begin(), book.begin() + 4)), latin1_name + '\0');
  ASSERT_NE(p.out.find("\xBFLo Creo Nuevo?"), std::string::npos);

  struct Case {
    Env env;
    std::string typed;
    bool utf8;
  };
  for (const Case& c : {Case{{"C.UTF-8", nullptr}, typed_utf8, true},
                        Case{{"C", nullptr}, latin1_name, false},
                        Case{{"C.UTF-8", "latin1"}, latin1_name, false}}) {
    SCOPED_TRACE(std::string(c.env.lc_all) + (c.env.charset ? " QVX_CHARSET" : ""));
    TempDir dir;
    RunResult t = run_on_terminal(dir.path(), {"libro.kb"}, new_record_session(c.typed), c.env);
    EXPECT_EQ(t.status, 6);
    EXPECT_EQ(read_file(dir.file("libro.kb")), book);
    const std::string shown = without_screen_clears(t.out);
    EXPECT_EQ(shown, c.utf8 ? utf8_from_latin1(p.out) : p.out);
    EXPECT_NE(shown.find(c.utf8 ? "\xC2\xBFLo Creo Nuevo?" : " \xBFLo Creo Nuevo?"), std::string::npos);
  }
}

TEST(Terminal, ProgressLineOnlyOnATerminalStandardError) {
  TempDir dir;
  write_book(dir.file("k.kb"), {sample_record("uno")});
  // Long enough for the line to be drawn (a fifth of a second) even when
  // every pass runs in one sweep: mostly a hole, cheap to make. The
  // sanitizer build is slow enough with less.
#if defined(__SANITIZE_ADDRESS__)
  constexpr uintmax_t kMiB = 96;
#else
  constexpr uintmax_t kMiB = 768;
#endif
  write_file(dir.file("big.bin"), random_bytes(1024 * 1024, 16));
  std::filesystem::resize_file(dir.file("big.bin"), kMiB * 1024 * 1024);
  const std::vector<std::string> args = {"k.kb", "1", "c", "big.bin", "big.enc"};
  RunResult piped = run_engine_in(dir.path(), args);
  ASSERT_EQ(piped.status, 4);

  RunResult t = run_on_terminal(dir.path(), args, "", {"C", nullptr});
  EXPECT_EQ(t.status, 4);
  const std::regex drawn("\rCODIFICANDO CLAVE [0-9]+ +[0-9]+%  [0-9.]+ MiB/s  quedan [-0-9:]+\x1b\\[K");
  EXPECT_TRUE(std::regex_search(t.out, drawn)) << t.out.substr(0, 2000);
  // The speed is the source's: the first line comes after 0.2 s, so no
  // line can show more than the whole source in that time.
  const std::regex speed(" ([0-9.]+) MiB/s ");
  for (auto it = std::sregex_iterator(t.out.begin(), t.out.end(), speed); it != std::sregex_iterator(); ++it)
    EXPECT_LE(std::stod((*it)[1].str()), kMiB / 0.2) << (*it)[0].str();
  // Every line drawn is taken off again: what is left is the console text.
  EXPECT_EQ(without(without(t.out, drawn), std::regex("\r\x1b\\[K")), piped.out);

  RunResult to_file = run_on_terminal(dir.path(), args, "", {"C", nullptr}, dir.file("stderr"));
  EXPECT_EQ(to_file.status, 4);
  EXPECT_EQ(to_file.out, piped.out);
  EXPECT_TRUE(read_file(dir.file("stderr")).empty());
}

// Encoded data is neither read from nor written to a terminal.
TEST(Terminal, StandardStreamsOnATerminalAreRefused) {
  TempDir dir;
  write_book(dir.file("k.kb"), {sample_record("uno")});
  write_file(dir.file("plain.bin"), "datos");
  const Env c{"C", nullptr};
  RunResult in = run_on_terminal(dir.path(), {"k.kb", "1", "c", "-", "enc.bin"}, "", c);
  EXPECT_EQ(in.status, 0);
  EXPECT_NE(in.out.find("Error la entrada estandar es un terminal"), std::string::npos);
  RunResult out = run_on_terminal(dir.path(), {"--script", "k.kb", "1", "c", "plain.bin", "-"}, "", c);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.out, "Error la salida estandar es un terminal: el destino - tiene que ir a una tuberia o a un fichero\n");
  EXPECT_EQ(list_dir(dir.path()), (std::set<std::string>{"k.kb", "plain.bin"}));
}

}  // namespace
}  // namespace qvx
