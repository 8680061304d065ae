#include "command_line.h"

#include "contract/command_layout.h"

namespace qvxpanel {

std::string convert_path(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto copy = [&](char c) { out += c == '\\' ? '/' : c; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 'Z' && i + 1 < text.size() && text[i + 1] == ':') {
      // The character after the drive is copied without a second look.
      i += 2;
      if (i < text.size()) copy(text[i]);
      continue;
    }
    copy(text[i]);
  }
  return out;
}

std::string escape_quotes(std::string_view text, int& inserted) {
  std::string out;
  out.reserve(text.size());
  inserted = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"' && (i == 0 || text[i - 1] != '\\')) {
      out += '\\';
      ++inserted;
    }
    out += text[i];
  }
  return out;
}

std::string engine_command_line(const EngineRun& run) {
  auto quoted = [](std::string_view t) {
    std::string q = "\"";
    q += t.empty() ? qvx::cmdline::kAbsent : t;
    q += '"';
    return q;
  };
  std::string line = quoted(run.book);
  line += ' ';
  line += std::to_string(run.number);
  line += ' ';
  line += run.operation;
  for (const std::string* t : {&run.source, &run.destination, &run.confirmation}) {
    line += ' ';
    line += quoted(*t);
  }
  for (std::size_t k = 1; k <= run.parameters.size(); ++k) {
    line += ' ';
    line += quoted(qvx::cmdline::panel_keeps_absent(static_cast<int>(k)) ? std::string_view() : run.parameters[k - 1]);
  }
  return line;
}

}  // namespace qvxpanel
