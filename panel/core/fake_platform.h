// A scripted platform for the panel's tests: it records every message box,
// console write and launch, and answers from queues the test fills.
#pragma once

#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bookformat/slot.h"
#include "command_line.h"
#include "keybook_dialogs.h"
#include "platform.h"

namespace qvxpanel::testing {

struct Box {
  std::string text;
  std::string title;
  Icon icon;
  Buttons buttons;
};

class FakePlatform : public Platform {
 public:
  std::vector<Box> boxes;
  std::deque<Answer> answers;  // for OK/Cancel boxes; OK when empty
  std::deque<std::optional<std::string>> files;  // open and save dialogs in order
  std::vector<std::string> proposed;

  std::vector<std::string> console;  // "open:<title>", "write:<text>", "close"
  std::string standard;

  struct Launch {
    std::string program, parameters;  // parameters: the arguments as one command line
    EngineCall call;
  };
  std::vector<Launch> launches;
  bool starts = true;
  std::optional<int> status;  // what the engine ends with; unknown when unset
  std::string refusal;
  int error_number = 0;
  int error_after_launch = 0;

  std::optional<std::string> cwd = "C:\\qvx";
  std::tm now{};
  int refreshes = 0;

  std::function<bool(KeyBookDialog&)> keybook_script;
  std::function<bool(AddDialog&)> add_script;
  std::function<bool(ChangeDialog&)> change_script;
  std::function<bool(SearchDialog&)> search_script;
  std::function<bool(LogDialog&)> log_script;
  int abouts = 0;

  FakePlatform() {
    now.tm_year = 125;
    now.tm_mon = 2;
    now.tm_mday = 7;
    now.tm_wday = 5;
    now.tm_hour = 9;
    now.tm_min = 5;
    now.tm_sec = 3;
  }

  Answer message_box(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override {
    boxes.push_back({std::string(text), std::string(title), icon, buttons});
    if (buttons == Buttons::ok || answers.empty()) return Answer::ok;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> open_file(std::string_view p) override { return next_file(p); }
  std::optional<std::string> save_file(std::string_view p) override { return next_file(p); }
  void console_open(std::string_view title) override { console.push_back("open:" + std::string(title)); }
  void console_write(std::string_view text) override { console.push_back("write:" + std::string(text)); }
  void console_close() override { console.push_back("close"); }
  void standard_output(std::string_view text) override { standard += text; }
  EngineResult run_engine(const std::string& program, const EngineCall& call) override {
    launches.push_back({program, engine_command_line(call.arguments), call});
    if (error_after_launch != 0) error_number = error_after_launch;  // errno is only ever set
    return {starts, status, refusal};
  }
  std::optional<std::string> working_directory() override { return cwd; }
  std::tm local_time() override { return now; }
  int last_error() override { return error_number; }
  void clear_last_error() override { error_number = 0; }
  void refresh() override { ++refreshes; }

  // Each dialog gets its start-up handler, as the window system would give it.
  bool run(ModalDialog& d) override {
    d.on_init_dialog();
    if (auto* k = dynamic_cast<KeyBookDialog*>(&d)) return keybook_script ? keybook_script(*k) : false;
    if (auto* a = dynamic_cast<AddDialog*>(&d)) return add_script ? add_script(*a) : false;
    if (auto* c = dynamic_cast<ChangeDialog*>(&d)) return change_script ? change_script(*c) : false;
    if (auto* s = dynamic_cast<SearchDialog*>(&d)) return search_script ? search_script(*s) : false;
    if (auto* l = dynamic_cast<LogDialog*>(&d)) return log_script ? log_script(*l) : false;
    return false;
  }
  void show_about() override { ++abouts; }

  std::vector<std::string> box_texts() const {
    std::vector<std::string> t;
    for (const Box& b : boxes) t.push_back(b.text);
    return t;
  }

 private:
  std::optional<std::string> next_file(std::string_view p) {
    proposed.emplace_back(p);
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
  }
};

// Key books for the tests, written with the engine's slot layout.
inline RecordTexts record_named(const std::string& name, std::string engorde = "7",
                                std::string desorden = "-12.5") {
  RecordTexts r;
  r.nombre = name;
  for (std::size_t k = 0; k < r.claves.size(); ++k) r.claves[k] = name + "-key" + std::to_string(k + 1);
  r.engorde = std::move(engorde);
  r.desorden = std::move(desorden);
  return r;
}

inline std::string slot_bytes(const qvx::Slot& s) { return std::string(s.begin(), s.end()); }

inline std::string slot_of(const RecordTexts& r) {
  std::vector<std::string> messages;
  return slot_bytes(qvx::write_slot(to_record(r), messages));
}

inline std::string deleted() { return slot_bytes(qvx::deleted_slot()); }

inline void write_book(const std::string& path, const std::vector<std::string>& slots) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  for (const std::string& s : slots) f << s;
}

}  // namespace qvxpanel::testing
