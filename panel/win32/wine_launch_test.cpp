#include "wine_launch.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.h"
#include "text.h"

extern char** environ;

namespace qvxpanel::win32 {
namespace {

using qvx::testing::TempDir;

// Windows' command-line splitting (CommandLineToArgvW), which Wine applies
// when it starts a Linux program: the reference the quoting must meet.
std::vector<std::string> split_command_line(const std::string& line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) return args;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        arg.append(backslashes / 2, '\\');
        if (backslashes % 2) {
          arg += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(backslashes, '\\');
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
}

TEST(WineLaunch, QuotedArgumentsSplitBackToThemselves) {
  for (std::string arg : {"", "plain", "two words", "a\"b", "ends\\", "ends\\\\", "\\\"", "C:\\dir\\",
                          "x\\\\\"y", "tab\there", "$(touch pwned) `id` ;|&"}) {
    EXPECT_EQ(split_command_line(quote_argument(arg)), std::vector<std::string>{arg}) << arg;
  }
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Splits the parameters as Wine would and runs /bin/sh with them.
void run_shell(const std::string& parameters) {
  std::vector<std::string> args = split_command_line(parameters);
  args.insert(args.begin(), "/bin/sh");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
}

TEST(WineLaunch, ShellWrapperRunsTheEngineWithItsArgumentsAndLeavesItsStatus) {
  TempDir dir;
  const std::string engine = dir.file("fake engine");
  {
    std::ofstream f(engine);
    f << "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > \"$(dirname \"$0\")/args\"\n"
         "echo $PPID > \"$(dirname \"$0\")/parent\"\nexit 4\n";
  }
  std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
  const std::string marker = dir.file("run.status");
  // What the panel hands over: quoted texts, an unquoted number and letter,
  // and a personalization text that a shell would run if it read it as code.
  const std::string line = "\"/b/k.kb\" 3 c \"/s/in put.txt\" \"/s/out.qvx\" \"0\" \"$(touch " +
                           dir.file("pwned") + ")\"";
  run_shell(shell_wrapper_parameters(marker, engine, line));

  EXPECT_EQ(slurp(dir.file("args")), "/b/k.kb|3|c|/s/in put.txt|/s/out.qvx|0|$(touch " + dir.file("pwned") + ")|");
  EXPECT_EQ(slurp(marker), "4\n");
  EXPECT_TRUE(wrapper_started(slurp(marker)));
  // The process the panel watches is the one the engine ran under.
  EXPECT_EQ(slurp(marker + ".pid"), slurp(dir.file("parent")));
  EXPECT_FALSE(std::filesystem::exists(marker + ".part"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
}

TEST(WineLaunch, ShellWrapperWithoutParametersStartsTheEngineBare) {
  TempDir dir;
  const std::string engine = dir.file("engine");
  {
    std::ofstream f(engine);
    f << "#!/bin/sh\necho $# > \"$(dirname \"$0\")/count\"\n";
  }
  std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
  run_shell(shell_wrapper_parameters(dir.file("m"), engine, " "));
  EXPECT_EQ(slurp(dir.file("count")), "0\n");
  EXPECT_EQ(slurp(dir.file("m")), "0\n");
}

// The shell's own statuses for an engine it could not run are the only
// ones read: whatever else found the file, it was not started.
TEST(WineLaunch, AnEngineTheShellCannotRunWasNotStarted) {
  TempDir dir;
  const std::string engine = dir.file("engine");
  std::ofstream(engine) << "#!/bin/sh\nexit 0\n";
  std::filesystem::permissions(engine, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  for (const std::string& program : {engine, dir.file("missing")}) {
    const std::string marker = dir.file("m");
    std::filesystem::remove(marker);
    run_shell(shell_wrapper_parameters(marker, program, "\"x\""));
    EXPECT_FALSE(wrapper_started(slurp(marker))) << program << ": " << slurp(marker);
  }
  for (std::string_view status : {"0\n", "4\n", "8\n", "1\n", "126x\n"}) EXPECT_TRUE(wrapper_started(status)) << status;
}

// The console menus get a terminal of their own, or the panel learns there
// is none (nothing is run then).
TEST(WineLaunch, ConsoleMenusRunInATerminalOrNotAtAll) {
  TempDir dir;
  const std::string engine = dir.file("engine");
  std::ofstream(engine) << "#!/bin/sh\necho ran > " << dir.file("ran") << "\n";
  std::ofstream(dir.file("xterm")) << "#!/bin/sh\necho \"$@\" > " << dir.file("terminal") << "\nshift\n\"$@\"\n";
  for (const std::string& f : {engine, dir.file("xterm")})
    std::filesystem::permissions(f, std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";

  // A PATH with the wrapper's one outside tool and no terminal.
  std::filesystem::create_directory(dir.file("tools"));
  std::filesystem::create_symlink("/bin/mv", dir.file("tools/mv"));
  setenv("PATH", dir.file("tools").c_str(), 1);
  run_shell(shell_wrapper_parameters(dir.file("m"), engine, "", true));
  EXPECT_TRUE(wrapper_found_no_terminal(slurp(dir.file("m"))));
  EXPECT_FALSE(wrapper_started(slurp(dir.file("m"))));
  EXPECT_FALSE(std::filesystem::exists(dir.file("ran")));

  setenv("PATH", (dir.path().string() + ":" + dir.file("tools")).c_str(), 1);
  run_shell(shell_wrapper_parameters(dir.file("m"), engine, "", true));
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(slurp(dir.file("terminal")), "-e " + engine + "\n");
  EXPECT_EQ(slurp(dir.file("ran")), "ran\n");
  EXPECT_EQ(wrapper_status(slurp(dir.file("m"))), 0);
  EXPECT_EQ(wrapper_status("8\n"), 8);
  EXPECT_EQ(wrapper_status("noterminal\n"), std::nullopt);
  EXPECT_EQ(wrapper_status(""), std::nullopt);
}

TEST(WineLaunch, AZombieHasEnded) {
  EXPECT_TRUE(process_running(slurp("/proc/self/stat")));
  EXPECT_TRUE(process_running("42 (a) b) S 1 42"));
  EXPECT_FALSE(process_running("42 (sh) Z 1 42"));
  EXPECT_FALSE(process_running("42 (a) S) Z 1"));
  EXPECT_FALSE(process_running(""));
}

TEST(WineLaunch, OnlyElfImagesAndScriptsAreLinuxPrograms) {
  EXPECT_TRUE(is_linux_program("\x7F" "ELF"));
  EXPECT_TRUE(is_linux_program("#!/b"));
  EXPECT_FALSE(is_linux_program("MZ\x90"));
  EXPECT_FALSE(is_linux_program(""));
  EXPECT_FALSE(is_linux_program("\x7F" "EL"));
}

TEST(ControlText, EveryByteSurvivesTheWayThroughAControl) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::wstring wide = widen(all);
  EXPECT_EQ(wide[0xF3], L'\u00F3');  // ó
  EXPECT_EQ(wide[0xD1], L'\u00D1');  // Ñ
  EXPECT_EQ(narrow(wide), all);
  EXPECT_EQ(narrow(L"a\u20ACb"), "a?b");  // beyond Latin-1
}

TEST(ControlText, LineBreaksBecomeTheControlsAndComeBack) {
  EXPECT_EQ(to_control_lines("\nuno\ndos\r\ntres\n"), "\r\nuno\r\ndos\r\ntres\r\n");
  // Rich edits hand back either CR LF or a bare CR.
  EXPECT_EQ(from_control_lines("uno\r\ndos\rtres"), "uno\ndos\ntres");
  const std::string log = "\n FECHA: Fri Mar  7 09:05:03 2025\n\nClave1: x\n";
  EXPECT_EQ(from_control_lines(to_control_lines(log)), log);
}

}  // namespace
}  // namespace qvxpanel::win32
