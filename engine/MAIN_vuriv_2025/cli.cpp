#include "MAIN_vuriv_2025/cli.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "MAIN_vuriv_2025/check_run.h"
#include "MAIN_vuriv_2025/help.h"
#include "MAIN_vuriv_2025/menus.h"
#include "cipher/run/run_output.h"
#include "console/console.h"
#include "keybook/base.h"
#include "platform/files.h"
#include "platform/standard.h"
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
  con::error_line("Aviso: no se ha podido comprobar la integridad del programa");
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

// A file a run must be able to read, tested as the run will open it.
bool readable(const char* path) {
  uint64_t size = 0;
  const int fd = files::open_regular(path, size);
  files::close(fd);
  return fd >= 0;
}

// For a script, what would make a run do nothing or fail at once is an
// error of its own before the run: one line, nothing done.
bool script_book_opens(const char* book) {
  if (readable(book)) return true;
  con::error_line(std::string("Error no se puede abrir el libro de claves ") + book);
  return false;
}

// "-" as the source or destination: standard input or output.
bool is_standard(const char* name) { return name && std::string_view(name) == "-"; }

// Encoded data on a terminal helps no one, and a check file needs a file
// to lie beside: refused before the run.
bool streams_allowed(const CommandLine& line, const Options& options, bool encoding) {
  const char* source = line.given[cmdline::kSource];
  const char* destination = line.given[cmdline::kDestination];
  const char* refusal = nullptr;
  if (is_standard(source) && standard::is_terminal(standard::kInput))
    refusal = "Error la entrada estandar es un terminal: el origen - tiene que llegar por una tuberia o de un fichero";
  else if (is_standard(destination) && standard::is_terminal(standard::kOutput))
    refusal = "Error la salida estandar es un terminal: el destino - tiene que ir a una tuberia o a un fichero";
  else if (options.check && encoding && is_standard(destination))
    refusal = "Error --check necesita un fichero destino junto al que escribir el fichero de comprobacion";
  else if (options.check && !encoding && is_standard(source))
    refusal = "Error --check necesita un fichero origen con su fichero de comprobacion al lado";
  if (refusal) con::error_line(refusal);
  return refusal == nullptr;
}

bool script_files_open(const CommandLine& line) {
  // Pass 23 would skip itself silently; a script wants to know.
  if (const char* confirmation = line.set(cmdline::kConfirmation); confirmation && !readable(confirmation)) {
    con::error_line(std::string("Error no se puede abrir el fichero de confirmacion ") + confirmation);
    return false;
  }
  if (const char* source = line.given[cmdline::kSource]; !is_standard(source) && !readable(source)) {
    con::error_line(std::string("Error no se puede abrir el fichero origen ") + source);
    return false;
  }
  return true;
}

// The check file's part in this run: written when encoding with --check;
// when decoding, the one beside the source (required with --check). False,
// with the reason shown, when the run must not start.
bool prepare_check(const CommandLine& line, const Options& options, const KeyRecord& record,
                   const RunParameters& params, bool encoding, std::optional<RunCheck>& check) {
  const char* source = line.given[cmdline::kSource];
  check::CheckFile file;
  std::string name;
  if (encoding) {
    if (!options.check) return true;
    name = check_file_name(line.given[cmdline::kDestination]);
    // The check file replaces whatever has its name: never a file the run needs.
    files::Identity target, other;
    for (const char* needed : {line.given[cmdline::kBook], params.confirmation, source}) {
      if (files::identity(name.c_str(), target) && files::identity(needed, other) && target == other) {
        con::error_line(" no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros");
        return false;
      }
    }
    if (!crypto::random_bytes(file.salt.data(), file.salt.size())) {
      con::error_line("Error no se ha podido preparar el fichero de comprobacion " + name);
      return false;
    }
  } else {
    if (is_standard(source)) return true;
    name = check_file_name(source);
    const Found found = read_check_file(name, file);
    if (found == Found::none && !options.check) return true;
    if (found != Found::ok) {
      const std::string damaged = "el fichero de comprobacion " + name + " esta danado o no es de esta version";
      if (found == Found::none) con::error_line("Error no existe el fichero de comprobacion " + name);
      else if (options.check) con::error_line("Error " + damaged);
      else con::error_line("Aviso: " + damaged + "; no se comprueba");
      return found == Found::damaged && !options.check;
    }
  }
  crypto::HashValue key;
  if (!check_key(record, params, file.salt, key)) {
    con::error_line("Error no se ha podido preparar el fichero de comprobacion " + name);
    return false;
  }
  check.emplace(RunCheck{crypto::Hash::hmac_sha256(key.data(), key.size()), file, encoding ? name : std::string()});
  return true;
}

int command_line_run(const CommandLine& line, const Options& options) {
  const int n = record_number(line.given[cmdline::kRecord]);
  base book(line.given[cmdline::kBook], n);
  if (!book.compruebabase()) {
    con::error_line(kNoBookOpen);
    return kNothingDone;
  }
  if (options.script && !script_book_opens(line.given[cmdline::kBook])) return kNothingDone;
  uint64_t count = record_count(book.tamanyo());
  int r = book.activar(static_cast<uint32_t>(n), count);
  if (r != n || n == 0) return kNothingDone;
  const char op = line.given[cmdline::kOperation][0];
  if (options.script && std::strchr("cCdD", op) == nullptr) {
    con::error_line(std::string("Error la operacion ") + line.given[cmdline::kOperation] +
                    " no es c (codificar) ni d (decodificar)");
    return kUnknownOperation;
  }
  if (options.script && !script_files_open(line)) return kNothingDone;
  const bool encoding = op == 'c' || op == 'C';
  if ((encoding || op == 'd' || op == 'D') && !streams_allowed(line, options, encoding)) return kNothingDone;
  const WorkFiles work = work_files_for(line);
  const RunParameters params = run_parameters(line);
  const char* source = line.given[cmdline::kSource];
  const char* destination = line.given[cmdline::kDestination];
  std::optional<RunCheck> check;
  if ((encoding || op == 'd' || op == 'D') && !prepare_check(line, options, book, params, encoding, check))
    return kNothingDone;
  RunCheck* checked = check ? &*check : nullptr;
  set_sync_output(options.sync);
  const std::size_t said = con::lines_on_stderr();
  int status = kUnknownOperation;
  switch (op) {
    case 'd':
    case 'D':
      status = decode_from_command_line(book, source, destination, params, work, checked) ? kDecoded : kRunFailed;
      break;
    case 'c':
    case 'C':
      status = encode_from_command_line(book, source, destination, params, work, checked) ? kEncoded : kRunFailed;
      break;
  }
  if (checked && checked->failed) status = kCheckFailed;
  // A run refused or failed inside says why on the console, which a script
  // does not see: it gets the one line at least.
  if (options.script && status == kRunFailed && con::lines_on_stderr() == said)
    con::error_line(std::string("Error no se ha escrito el Destino ") + destination +
                    ", el proceso no ha terminado bien");
  return status;
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

int run_engine_without_options(const OptionLine& options, char** argv) {
  base book;
  check_own_executable(argv && argv[0] ? argv[0] : nullptr);
  if (!options.error.empty()) {
    con::error_line(options.error);
    return kNothingDone;
  }
  const CommandLine line = parse_command_line(options.argc(), const_cast<char**>(options.argv.data()));
  // Standard output carries the data: every line of the run goes to stderr.
  if (line.count >= cmdline::kDestination && is_standard(line.given[cmdline::kDestination]) &&
      con::text_goes() == con::Text::shown)
    con::send_text(con::Text::to_stderr);
  if (line.count == 1) return one_parameter(line, book);
  if (line.count == 2) {
    if (!two_parameter_branch(line)) return kNothingDone;
    keybook_menu(book, line.given[cmdline::kBook], line.given[cmdline::kRecord]);
    return kBookMenuWithRecordLeft;
  }
  if (line.count >= cmdline::kDestination) return command_line_run(line, options.options);
  main_menu(book, work_files_for(line));
  return kMainMenuLeft;
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

int script_status(int status) {
  switch (status) {
    case kEncoded:
    case kDecoded:
      return kScriptDone;
    case kRunFailed:
    case kCheckFailed:
      return status;
    default:
      return kScriptNothing;
  }
}

int run_engine(int argc, char** argv) {
  con::send_text(con::Text::shown);
  const OptionLine options = take_options(argc, argv);
  const bool script = options.options.script;
  if (script) con::send_text(con::Text::dropped);
  const int status = run_engine_without_options(options, argv);
  con::send_text(con::Text::shown);
  return script ? script_status(status) : status;
}

}  // namespace qvx
