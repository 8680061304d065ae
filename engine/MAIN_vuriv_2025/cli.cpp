#include "MAIN_vuriv_2025/cli.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

#include "MAIN_vuriv_2025/help.h"
#include "MAIN_vuriv_2025/menus.h"
#include "console/console.h"
#include "keybook/base.h"

namespace qvx {
namespace {

// The running program's own file, whatever name it was started by.
std::string own_executable() {
#if defined(_WIN32)
  char name[32768];
  DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
  return n > 0 && n < sizeof name ? std::string(name, n) : std::string();
#else
  return "/proc/self/exe";
#endif
}

// A light integrity check of our own executable: it must be there, readable
// and not empty. A failure only warns.
void check_own_executable(const char* argv0) {
  const std::string own = own_executable();
  for (const char* path : {own.c_str(), argv0}) {
    if (!path || !*path) continue;
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (f.is_open() && f.tellg() > 0) return;
  }
  con::line("Aviso: no se ha podido comprobar la integridad del programa");
}

// The help request of a single parameter: its first character.
bool asks_for_help(const char* p) {
  return p[0] != '\0' && std::strchr("?hHaA *", p[0]) != nullptr;
}

void announce_book(const char* path) {
  con::eol();
  con::out() << "Fichero: " << path << " Creado...";
  con::eol();
}

// Two parameters: check the book and the record on a book object of its
// own; the key-book menu then opens the book itself.
bool two_parameter_branch(char** argv) {
  base probe(argv[1], record_number(argv[2]));
  if (!probe.compruebabase()) {
    con::line(kNoBookOpen);
    return false;
  }
  uint64_t count = record_count(probe.tamanyo());
  probe.activar(static_cast<uint32_t>(record_number(argv[2])), count);
  announce_book(argv[1]);
  return true;
}

int command_line_run(int argc, char** argv) {
  const int n = record_number(argv[2]);
  base book(argv[1], n);
  if (!book.compruebabase()) {
    con::line(kNoBookOpen);
    return kNothingDone;
  }
  uint64_t count = record_count(book.tamanyo());
  int r = book.activar(static_cast<uint32_t>(n), count);
  if (r != n || n == 0) return kNothingDone;
  const WorkFiles work = work_files_for(argc, argv);
  const RunParameters params = run_parameters(argc, argv);
  switch (argv[3][0]) {
    case 'd':
    case 'D':
      return decode_from_command_line(book, argv[4], argv[5], params, work) ? kDecoded : kRunFailed;
    case 'c':
    case 'C':
      return encode_from_command_line(book, argv[4], argv[5], params, work) ? kEncoded : kRunFailed;
    default:
      return kUnknownOperation;
  }
}

}  // namespace

const char* parameter(int argc, char** argv, int k) {
  if (argc <= k || std::strcmp(argv[k], "0") == 0) return nullptr;
  return argv[k];
}

WorkFiles work_files_for(int argc, char** argv) {
  WorkFiles w;
  if (argc > 6) {
    if (const char* source = parameter(argc, argv, 4)) {
      w.first = std::string(source) + "qvx01.qvx";
      w.second = std::string(source) + "qvx02.qvx";
    }
  }
  return w;
}

RunParameters run_parameters(int argc, char** argv) {
  RunParameters p;
  p.confirmation = parameter(argc, argv, 6);
  for (int k = 0; k < 8; ++k) p.text[k] = parameter(argc, argv, 7 + k);
  // A triple is one unit: when its last member given is "0", its pass is left out.
  auto triple = [&](int first, const char* (&texts)[3], bool& runs) {
    int last = 0;
    for (int k = first + 2; k >= first; --k)
      if (argc > k) {
        last = k;
        break;
      }
    runs = !(last != 0 && std::strcmp(argv[last], "0") == 0);
    for (int i = 0; i < 3; ++i) texts[i] = parameter(argc, argv, first + i);
  };
  triple(15, p.abc9, p.run9);
  triple(18, p.abc10, p.run10);
  return p;
}

int run_engine(int argc, char** argv) {
  base book;
  check_own_executable(argc > 0 ? argv[0] : nullptr);
  int status = kNothingDone;
  int kind = 0;
  if (argc == 2) {
    if (asks_for_help(argv[1])) {
      show_help();
      return kNothingDone;
    }
    announce_book(argv[1]);
    kind = 1;
  } else if (argc == 3) {
    if (!two_parameter_branch(argv)) return kNothingDone;
    kind = 2;
  } else if (argc >= 6) {
    return command_line_run(argc, argv);
  } else {
    main_menu(book, work_files_for(argc, argv));
    return kMainMenuLeft;
  }
  status = (kind == 1) ? kBookMenuLeft : kBookMenuWithRecordLeft;
  keybook_menu(book, argv[1], kind == 2 ? argv[2] : nullptr);
  return status;
}

}  // namespace qvx
