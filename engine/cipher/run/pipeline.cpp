#include "cipher/run/pipeline.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "cipher/passes/coder.h"
#include "cipher/run/planner.h"
#include "cipher/run/run_guard.h"
#include "cipher/run/spool.h"
#include "console/console.h"
#include "console/progress.h"
#include "platform/path.h"

namespace qvx {
namespace {

enum class Mode { command_line, interactive };

const RunParameters kDefaults{};

void show_record(const KeyRecord& r) { con::out() << r; }

// Checks, coder set-up, the record view and (in the menus) the file dialog.
template <class Coder>
bool opening(const base& book, Coder& coder, Mode mode) {
  if (!book_and_record_ready(book)) return false;
  coder.inicia(book);
  show_record(coder);
  if (mode == Mode::interactive) {
    if constexpr (std::is_same_v<Coder, codifica>)
      coder.abrirficherocod();
    else
      coder.abrirficherodecod();
  }
  if (!coder.compruebaregistro()) {
    con::out() << "no procesa";
    return false;
  }
  return true;
}

// The names the wipe messages give, whatever the work files are called.
void wipe_first(RunGuard& g) { g.wipe(0, "qvx01.qvx"); }
void wipe_second(RunGuard& g) { g.wipe(1, "qvx02.qvx"); }

RunFiles others_of(const base& book, const RunParameters& p) { return {book.ponerlibro(), p.confirmation}; }

void announce_encoding(int n) {
  con::progress::pass(n);
  con::line("procesando..CODIFICANDO CLAVE " + std::to_string(n) + "...Espere un Momento Porfavor");
}

void announce_decoding(int n) {
  con::progress::pass(n);
  con::line("Decodificando Clave " + std::to_string(n));
}

// A pass step with its announcement and its texts.
Step pass_step(int n, std::function<void()> say, const RunParameters& p) {
  Step s;
  s.pass = n;
  s.say = std::move(say);
  const char* const* given = n <= 8 ? &p.text[n - 1] : n == 9 ? p.abc9 : p.abc10;
  for (int i = 0; i < (n <= 8 ? 1 : 3); ++i) s.texts[i] = given[i];
  s.left_out = (n == 9 && !p.run9) || (n == 10 && !p.run10);
  return s;
}

Step action(std::function<void()> act, Role wipes = Role::origin) {
  Step s;
  s.say = std::move(act);
  s.wipes = wipes;
  return s;
}

// Pass 23 by parameter on the command line, asked in the menus. `kept` is
// the name its output ends up under.
Confirmation confirmation(const RunParameters& p, Mode mode, const char* kept) {
  return {mode == Mode::interactive, mode == Mode::command_line ? p.confirmation : nullptr, kept};
}

// What a run does between its passes; the steps only call them.
struct Actions {
  std::function<void()> wipe_first;
  std::function<void()> wipe_second;
};

std::vector<Step> encoding_steps(const codifica& c, const RunParameters& p, Mode mode) {
  std::vector<Step> steps;
  for (int n = 1; n <= 22; ++n) {
    steps.push_back(pass_step(
        n,
        [&c, n, mode] {
          announce_encoding(n);
          if (n == 2 && mode == Mode::command_line) {
            con::eol();
            show_record(c);
          }
        },
        p));
  }
  Step last;
  last.pass = 23;
  last.say = [] {
    con::progress::pass(23);
    con::line("procesando..CODIFICANDO CONFIRMACION CLAVE 23...Espere un Momento Porfavor");
  };
  last.confirmation = confirmation(p, mode, c.pdestino());
  steps.push_back(last);
  return steps;
}

std::vector<Step> decoding_steps(const RunParameters& p, Mode mode, const WorkFiles& w, const Actions& a) {
  std::vector<Step> steps;
  Step first;
  first.pass = 23;
  first.say = [] {
    con::progress::pass(23);
    con::line("Decodificando Clave 23 DE CONFIRMACION ");
  };
  first.confirmation = confirmation(p, mode, w.second.c_str());
  steps.push_back(first);
  for (int n = 22; n >= 1; --n) {
    if (n == 10) steps.push_back(action(a.wipe_first, Role::first));
    if (n == 1) steps.push_back(action(a.wipe_second, Role::second));
    steps.push_back(pass_step(n, [n] { announce_decoding(n); }, p));
  }
  return steps;
}

constexpr const char* kCheckMatched =
    "Comprobacion correcta: registro, textos y confirmacion son los de la codificacion";
constexpr const char* kCheckFailed =
    "Error de comprobacion: el registro, los textos o el fichero de confirmacion no son los de la "
    "codificacion, o el fichero codificado ha cambiado. No se ha escrito el Destino ";

bool is_standard(const char* name) { return name && std::string_view(name) == "-"; }

// Places the output, once, after the last stage. With a check file,
// decoding puts its output in place only when the MAC of what it produced
// matches, and encoding writes the check file once the destination is in
// place. A run that failed on its own is reported as such, whatever its MAC.
bool place_checked(coder& c, RunOutput& output, const RunVerdict& verdict, RunCheck* check) {
  if (!check || !verdict.complete()) return output.place(verdict, c.destino);
  crypto::HashValue mac;
  const bool computed = check->mac.finish(mac);
  if (c.dir == Direction::decode) {
    if (!computed || !check::same_mac(mac, check->file.mac)) {
      check->failed = true;
      con::error_line(kCheckFailed + c.destino);
      output.place(verdict, c.destino, false);
      return false;
    }
    const bool placed = output.place(verdict, c.destino);
    if (placed) con::line(kCheckMatched);
    return placed;
  }
  RunVerdict with_mac = verdict;
  if (!computed) with_mac.add(Outcome::failed);
  if (!output.place(with_mac, c.destino)) return false;
  check->file.mac = mac;
  const check::FileBytes bytes = check::serialize(check->file);
  if (put_beside(check->name, bytes.data(), bytes.size())) return true;
  // An older check file there belongs to another encoding: it would fail.
  std::error_code ec;
  std::filesystem::remove(fs_path(check->name), ec);
  con::error_line("Error no se ha escrito el fichero de comprobacion " + check->name);
  return false;
}

Output output_of(const coder& c, Mode mode, const RunCheck* check) {
  if (mode != Mode::command_line || !is_standard(c.pdestino())) return Output::file;
  return check && c.dir == Direction::decode ? Output::standard_held : Output::standard;
}

template <class Coder>
bool run(Coder& c, const RunParameters& p, const WorkFiles& w, const RunFiles& others, Mode mode,
         RunCheck* check = nullptr) {
  constexpr bool decoding = std::is_same_v<Coder, decodifica>;
  RunGuard* g = nullptr;  // the steps' actions run once the guard stands
  const Actions a{[&] { wipe_first(*g); }, [&] { wipe_second(*g); }};
  std::vector<Step> steps;
  if constexpr (decoding)
    steps = decoding_steps(p, mode, w, a);
  else
    steps = encoding_steps(c, p, mode);
  std::function<void(const unsigned char*, std::size_t)> plain;  // the check's MAC
  if (check) plain = [check](const unsigned char* data, std::size_t n) { check->mac.update(data, n); };
  StdinSpool spool;
  const bool from_stdin = mode == Mode::command_line && is_standard(c.porigen());
  const auto read_stdin = [&] {
    return spool.fill(c, fs_name(fs_path(w.first).parent_path()), decoding ? nullptr : &steps, plain);
  };
  RunGuard guard(c, w, others, output_of(c, mode, check), from_stdin ? read_stdin : std::function<bool()>());
  g = &guard;
  if (!guard.ready()) return false;
  con::progress::run_start(from_stdin ? spool.file().name.c_str() : c.porigen(), decoding);
  RunTargets targets{w, {&guard.work(0), &guard.work(1)}, &guard.output(), from_stdin ? &spool.file() : nullptr};
  targets.plain = plain;
  const RunVerdict verdict = run_plan(c, steps, targets, plan_rules());
  // Once, after the last stage; the work files go only after it.
  const bool placed = place_checked(c, guard.output(), verdict, check);
  if constexpr (decoding) {
    wipe_first(guard);
  } else {
    con::line("Espere un momento, Borrando ficheros temporales.");
    wipe_first(guard);
    wipe_second(guard);
  }
  con::progress::run_end();
  spool.drop();  // while the stop signals are still caught
  return placed && !guard.wipes_failed();
}

bool encode(codifica& c, const RunParameters& p, const WorkFiles& w, const RunFiles& others, Mode mode,
            RunCheck* check = nullptr) {
  return run(c, p, w, others, mode, check);
}

bool decode(decodifica& c, const RunParameters& p, const WorkFiles& w, const RunFiles& others, Mode mode,
            RunCheck* check = nullptr) {
  return run(c, p, w, others, mode, check);
}

}  // namespace

bool encode_from_command_line(const base& book, const char* source, const char* destination,
                              const RunParameters& params, const WorkFiles& work, RunCheck* check) {
  codifica c(source, destination);
  return opening(book, c, Mode::command_line) &&
         encode(c, params, work, others_of(book, params), Mode::command_line, check);
}

bool decode_from_command_line(const base& book, const char* source, const char* destination,
                              const RunParameters& params, const WorkFiles& work, RunCheck* check) {
  decodifica c(source, destination);
  return opening(book, c, Mode::command_line) &&
         decode(c, params, work, others_of(book, params), Mode::command_line, check);
}

void encode_interactive(const base& book, const WorkFiles& work) {
  codifica c;
  if (opening(book, c, Mode::interactive)) encode(c, kDefaults, work, others_of(book, kDefaults), Mode::interactive);
}

void decode_interactive(const base& book, const WorkFiles& work) {
  decodifica c;
  if (opening(book, c, Mode::interactive)) decode(c, kDefaults, work, others_of(book, kDefaults), Mode::interactive);
}

}  // namespace qvx

namespace qvx {

std::string describe_run(const KeyRecord& record, Direction d, uint64_t size, const RunParameters& params) {
  const Actions none{[] {}, [] {}};
  const WorkFiles w;
  codifica e("source", "destination");
  decodifica dd("source", "destination");
  coder& c = d == Direction::encode ? static_cast<coder&>(e) : dd;
  static_cast<KeyRecord&>(c) = record;
  const std::vector<Step> steps = d == Direction::encode ? encoding_steps(e, params, Mode::command_line)
                                                         : decoding_steps(params, Mode::command_line, w, none);
  const std::vector<Sweep> plan = make_plan(c, steps, size, plan_rules());
  return describe(steps, plan) + describe_stages(c, steps, plan, size, plan_rules());
}

}  // namespace qvx
