#include "MAIN_vuriv_2025/options.h"

#include <cstring>

#include "contract/command_layout.h"
#include "console/console.h"
#include "platform/files.h"

namespace qvx {
namespace {

// Parameters 7 to 20 hold at most their own capacities (300 Kb and so on);
// a file far beyond them is no texts file.
constexpr uint64_t kTextsMax = 16u << 20;

bool is(const char* word, const char* option) { return std::strcmp(word, option) == 0; }

bool read_texts_file(const char* path, std::string& bytes, std::string& error) {
  uint64_t size = 0;
  const int fd = files::open_regular(path, size);
  if (fd < 0) {
    error = std::string("Error no se puede abrir el fichero de textos ") + path + " (tiene que ser un fichero normal)";
    return false;
  }
  if (files::readable_by_others(fd))
    con::warning(std::string("Aviso: otros usuarios pueden leer el fichero de textos ") + path +
                      " (chmod 600 " + path + ")");
  bool failed = size > kTextsMax;
  if (!failed) {
    bytes.resize(static_cast<std::size_t>(size));
    const std::size_t got =
        files::read_at(fd, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), 0, failed);
    failed = failed || got != bytes.size();
  }
  files::close(fd);
  if (failed) error = std::string("Error no se puede leer el fichero de textos ") + path;
  return !failed;
}

}  // namespace

bool split_texts(const std::string& bytes, std::vector<std::string>& lines, std::string& error) {
  lines.clear();
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t end = bytes.find('\n', at);
    const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    else if (end > at && bytes[end - 1] == '\r') --end;
    std::string text = bytes.substr(at, end - at);
    if (text.find('\0') != std::string::npos) {
      error = "la linea " + std::to_string(lines.size() + 1) + " tiene un byte 0";
      return false;
    }
    if (lines.size() == cmdline::kTexts) {
      error = "tiene mas de " + std::to_string(cmdline::kTexts) + " lineas (parametros 7 a 20)";
      return false;
    }
    lines.push_back(std::move(text));
    at = next;
  }
  return true;
}

int option_words(int argc, char** argv) {
  int k = 1;
  while (k < argc) {
    if (is(argv[k], "--script") || is(argv[k], "--check") || is(argv[k], "--sync"))
      k += 1;
    else if (is(argv[k], "--texts"))
      k += 2;
    else
      break;
  }
  return std::min(k, std::max(argc, 1)) - 1;
}

OptionLine take_options(int argc, char** argv) {
  OptionLine line;
  Options& o = line.options;
  int k = 1;
  for (; k < argc; ++k) {
    bool* flag = is(argv[k], "--script") ? &o.script
                 : is(argv[k], "--check")  ? &o.check
                 : is(argv[k], "--sync")   ? &o.sync
                                           : nullptr;
    if (flag) {
      if (*flag) line.error = std::string("Error opcion repetida: ") + argv[k];
      *flag = true;
    } else if (is(argv[k], "--texts")) {
      if (o.texts) line.error = "Error opcion repetida: --texts";
      if (k + 1 >= argc) {
        line.error = "Error --texts necesita el nombre de un fichero";
        break;
      }
      o.texts = argv[++k];
    } else {
      break;
    }
  }
  if (argc > 0) line.argv.push_back(argv[0]);
  for (; k < argc; ++k) line.argv.push_back(argv[k]);
  const int positional = line.argc();
  if (line.error.empty() && o.any() && positional < cmdline::kDestination)
    line.error = std::string("Error las opciones --script, --check") + (o.sync ? ", --sync" : "") +
                 " y --texts solo sirven para codificar o decodificar (parametros 1 a 5)";
  if (line.error.empty() && o.texts) {
    std::string bytes;
    if (positional > cmdline::kConfirmation) {
      line.error = "Error con --texts los parametros 7 a 20 no se dan en la linea de ordenes";
    } else if (read_texts_file(o.texts, bytes, line.error) && !split_texts(bytes, line.texts, line.error)) {
      line.error = std::string("Error en el fichero de textos ") + o.texts + ": " + line.error;
    }
  }
  if (line.error.empty() && o.texts) {
    static char absent[] = "0";
    if (positional == cmdline::kDestination) line.argv.push_back(absent);
    for (std::string& t : line.texts) line.argv.push_back(t.data());
  }
  line.argv.push_back(nullptr);
  return line;
}

}  // namespace qvx
