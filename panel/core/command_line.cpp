#include "command_line.h"

#include "contract/command_layout.h"
#include "path_text.h"

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

std::string quote_argument(std::string_view argument) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quote.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string engine_text(std::string_view field) {
  std::string unescaped;
  unescaped.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i)
    if (!(field[i] == '\\' && i + 1 < field.size() && field[i + 1] == '"')) unescaped += field[i];
  return convert_path(unescaped);
}

std::vector<EngineArgument> engine_arguments(const EngineRun& run) {
  namespace c = qvx::cmdline;
  auto text = [](std::string_view t) { return engine_text(t.empty() ? c::kAbsent : t); };
  std::vector<EngineArgument> a(c::kLast);
  a[c::kBook - 1] = {text(run.book), true};
  a[c::kRecord - 1] = {std::to_string(run.number)};
  a[c::kOperation - 1] = {std::string(1, run.operation)};
  a[c::kSource - 1] = {text(run.source), true};
  a[c::kDestination - 1] = {text(run.destination), true};
  a[c::kConfirmation - 1] = {text(run.confirmation), !run.confirmation.empty() && run.confirmation != c::kAbsent};
  for (int i = 1; i <= c::kTexts; ++i)
    a[c::text_position(i) - 1] = {text(c::panel_keeps_absent(i) ? std::string_view() : run.parameters[i - 1])};
  return a;
}

std::string engine_command_line(const std::vector<EngineArgument>& arguments) {
  namespace c = qvx::cmdline;
  std::string line;
  for (std::size_t k = 1; k <= arguments.size(); ++k) {
    if (k > 1) line += ' ';
    const std::string& t = arguments[k - 1].text;
    line += k == c::kRecord || k == c::kOperation ? t : quote_argument(t);
  }
  return line;
}

std::string engine_command_line(const EngineRun& run) { return engine_command_line(engine_arguments(run)); }

bool texts_go_by_file(const std::vector<EngineArgument>& arguments) {
  bool wide = false;
  for (std::size_t k = qvx::cmdline::text_position(1); k <= arguments.size(); ++k) {
    for (unsigned char b : arguments[k - 1].text) {
      if (b == '\n' || b == '\r') return false;
      wide = wide || b >= 0x80;
    }
  }
  return wide;
}

std::string texts_file_contents(const std::vector<EngineArgument>& arguments) {
  std::string contents;
  for (std::size_t k = qvx::cmdline::text_position(1); k <= arguments.size(); ++k)
    contents += arguments[k - 1].text + '\n';
  return contents;
}

bool beyond_latin1(std::string_view text) {
  for (wchar_t c : path_wide(text))
    if (static_cast<unsigned long>(c) > 0xFF) return true;
  return false;
}

}  // namespace qvxpanel
