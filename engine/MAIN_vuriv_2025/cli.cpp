#include "MAIN_vuriv_2025/cli.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <fstream>
#include <string>

#include "MAIN_vuriv_2025/help.h"
#include "MAIN_vuriv_2025/menus.h"
#include "console/console.h"
#include "keybook/base.h"
#include "platform/system.h"

namespace qvx {
namespace {

// A light integrity check of our own executable: it must be there, readable
// and not empty. A failure only warns.
void check_own_executable(const char* argv0) {
  const std::string own = sys::own_executable();
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
bool two_parameter_branch(const CommandLine& line) {
  const char* book_name = line.given[cmdline::kBook];
  const int n = record_number(line.given[cmdline::kRecord]);
  base probe(book_name, n);
  if (!probe.compruebabase()) {
    con::line(kNoBookOpen);
    return false;
  }
  uint64_t count = record_count(probe.tamanyo());
  probe.activar(static_cast<uint32_t>(n), count);
  announce_book(book_name);
  return true;
}

int command_line_run(const CommandLine& line) {
  const int n = record_number(line.given[cmdline::kRecord]);
  base book(line.given[cmdline::kBook], n);
  if (!book.compruebabase()) {
    con::line(kNoBookOpen);
    return kNothingDone;
  }
  uint64_t count = record_count(book.tamanyo());
  int r = book.activar(static_cast<uint32_t>(n), count);
  if (r != n || n == 0) return kNothingDone;
  const WorkFiles work = work_files_for(line);
  const RunParameters params = run_parameters(line);
  const char* source = line.given[cmdline::kSource];
  const char* destination = line.given[cmdline::kDestination];
  switch (line.given[cmdline::kOperation][0]) {
    case 'd':
    case 'D':
      return decode_from_command_line(book, source, destination, params, work) ? kDecoded : kRunFailed;
    case 'c':
    case 'C':
      return encode_from_command_line(book, source, destination, params, work) ? kEncoded : kRunFailed;
    default:
      return kUnknownOperation;
  }
}

// One parameter: a help request, or the key-book menu on that book.
int one_parameter(const CommandLine& line, base& book) {
  const char* p = line.given[cmdline::kBook];
  if (std::strcmp(p, "--help") == 0) {
    show_usage();
    return kNothingDone;
  }
  if (std::strcmp(p, "--version") == 0) {
    show_version();
    return kNothingDone;
  }
  if (asks_for_help(p)) {
    show_help();
    return kNothingDone;
  }
  announce_book(p);
  keybook_menu(book, p, nullptr);
  return kBookMenuLeft;
}

}  // namespace

const char* CommandLine::set(int k) const {
  const char* p = k >= 1 && k <= cmdline::kLast ? given[k] : nullptr;
  return p && p != cmdline::kAbsent ? p : nullptr;
}

CommandLine parse_command_line(int argc, char** argv) {
  CommandLine line;
  line.count = std::max(argc - 1, 0);
  for (int k = 1; k <= std::min(line.count, static_cast<int>(cmdline::kLast)); ++k) line.given[k] = argv[k];
  return line;
}

WorkFiles work_files_for(const CommandLine& line) {
  WorkFiles w;
  if (line.count >= cmdline::kConfirmation) {
    if (const char* source = line.set(cmdline::kSource)) {
      w.first = source + w.first;
      w.second = source + w.second;
    }
  }
  return w;
}

RunParameters run_parameters(const CommandLine& line) {
  RunParameters p;
  p.confirmation = line.set(cmdline::kConfirmation);
  for (int k = 0; k < 8; ++k) p.text[k] = line.set(cmdline::kText1 + k);
  // A triple is one unit: when its last member given is "0", its pass is left out.
  auto triple = [&](int first, const char* (&texts)[3], bool& runs) {
    const char* last = nullptr;
    for (int k = first + 2; k >= first && !last; --k) last = line.given[k];
    runs = !(last && last == cmdline::kAbsent);
    for (int i = 0; i < 3; ++i) texts[i] = line.set(first + i);
  };
  triple(cmdline::kText9A, p.abc9, p.run9);
  triple(cmdline::kText10A, p.abc10, p.run10);
  return p;
}

int run_engine(int argc, char** argv) {
  base book;
  check_own_executable(argc > 0 ? argv[0] : nullptr);
  const CommandLine line = parse_command_line(argc, argv);
  if (line.count == 1) return one_parameter(line, book);
  if (line.count == 2) {
    if (!two_parameter_branch(line)) return kNothingDone;
    keybook_menu(book, line.given[cmdline::kBook], line.given[cmdline::kRecord]);
    return kBookMenuWithRecordLeft;
  }
  if (line.count >= cmdline::kDestination) return command_line_run(line);
  main_menu(book, work_files_for(line));
  return kMainMenuLeft;
}

}  // namespace qvx
