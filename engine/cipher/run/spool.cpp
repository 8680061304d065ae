#include "cipher/run/spool.h"

#include <memory>

#include "cipher/passes/keystream.h"
#include "cipher/passes/pass_stages.h"
#include "console/console.h"
#include "platform/bytestream.h"
#include "platform/standard.h"

namespace qvx {
namespace {

class SpoolSink : public Sink {
 public:
  explicit SpoolSink(OutFile& out) : out_(out) {}
  void take(unsigned char* data, std::size_t n) override { out_.write(data, n); }

 private:
  OutFile& out_;
};

}  // namespace

bool StdinSpool::fill(const coder& c, const std::string& dir, std::vector<Step>* steps,
                      const std::function<void(const unsigned char*, std::size_t)>& plain) {
  if (!held::create_temporary(f_, dir)) {
    c.report_open_failure(c.dir == Direction::decode);
    return false;
  }
  if (!held::add(f_)) {
    drop();
    c.report_open_failure(c.dir == Direction::decode);
    return false;
  }
  OutFile out;
  out.open(f_);
  SpoolSink file(out);
  std::vector<std::unique_ptr<Stage>> stages;
  if (steps) {
    for (Step& s : *steps) {
      if (s.pass < 1 || s.pass > 10) continue;
      s.applied = true;
      // Built for no particular size: these passes never look at it.
      if (!s.left_out) stages.push_back(additive_stage(c, s.pass, s.texts, 0));
    }
  }
  // As in a sweep from a file: the ten terms summed into one keystream.
  if (plan_rules().combine) combine_terms(stages);
  for (std::size_t i = 0; i + 1 < stages.size(); ++i) stages[i]->connect(stages[i + 1].get());
  if (!stages.empty()) stages.back()->connect(&file);
  Sink& head = stages.empty() ? static_cast<Sink&>(file) : *stages.front();

  standard::set_binary(standard::kInput);
  auto buf = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  bool failed = false;
  for (;;) {
    const std::size_t got = standard::read_some(standard::kInput, buf.get(), kBlock, failed);
    if (got == 0) break;
    if (steps && plain) plain(buf.get(), got);
    head.take(buf.get(), got);
  }
  for (auto& s : stages) s->end();
  const bool written = out.close();
  if (failed) con::error_line("Error no se ha podido leer la entrada estandar");
  else if (!written) c.report_open_failure(c.dir == Direction::decode);
  return !failed && written;
}

void StdinSpool::drop() {
  if (f_.fd < 0) return;
  held::wipe_quietly(f_);
  held::release(f_);
}

StdinSpool::~StdinSpool() { drop(); }

}  // namespace qvx
