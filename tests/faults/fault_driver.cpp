// Replays engine runs with one file system call failing at a time (the
// fault layer, fault_layer.cpp, preloaded into the engine) and checks how
// every one ends:
//   - the destination is absent, or holds its old contents, or is complete
//     and correct (it decodes back to the source);
//   - no work file and no temporary output is left, unless the run said
//     that a wipe failed and exits 8, and even then nothing left holds data;
//   - the status tells the truth: 4 or 3 only with the output in place and
//     complete, and with nothing left behind;
//   - an interrupted call (EINTR), a busy one (EAGAIN) or a short count is
//     only a reason to try again: such a run must succeed;
//   - the source is never changed, and the engine never dies of a signal.
//
// A normal run of each scenario is traced first; its calls are grouped by
// kind and by the file they touch, and each group is replayed at its first,
// last and a few middle calls (all of them with --full), once per error.
//
//   fault_driver ENGINE LAYER [--full] [--middle N] [--verbose]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "books.h"
#include "run_engine.h"

namespace {

using namespace qvx::testing;
using qvx::KeyRecord;
namespace fs = std::filesystem;

struct Options {
  std::string engine, layer;
  bool full = false;
  int middle = 1;  // calls tried between the first and the last of a group
  bool verbose = false;
};

// What is injected into each kind of call. Transient errors must be
// retried by the engine.
struct KindErrors {
  const char* kind;
  std::vector<const char*> errors;
};
const std::vector<KindErrors> kKinds = {
    {"read", {"EIO", "EINTR", "EAGAIN", "short"}},
    {"write", {"EIO", "ENOSPC", "EINTR", "EAGAIN", "short"}},
    {"fsync", {"EIO", "ENOSPC"}},
    {"ftruncate", {"EIO"}},
    {"rename", {"EIO", "ENOSPC"}},
    {"unlink", {"EIO"}},
    {"open", {"EIO", "ENOSPC"}},
    {"close", {"EIO", "ENOSPC"}},
    {"linkat", {"EIO", "ENOSPC"}},
    {"flock", {"EINTR", "ENOLCK"}},
};

bool transient(const std::string& e) { return e == "EINTR" || e == "EAGAIN" || e == "short"; }

struct Scenario {
  std::string name;
  char op;                // 'c' or 'd'
  std::size_t size;       // plain bytes
  bool spills;            // the record's pass 12 holds more than memory may
  bool old_destination;   // the destination exists before the run
  bool sync;              // --sync: the output's and its folder's syncs too
  // The second half of the source is read slowly: the segment that makes
  // the first half ends first and takes over part of the other's.
  bool slow_second_half = false;
};

const std::vector<Scenario> kScenarios = {
    {"encode, small", 'c', 40000, false, false, false},
    {"decode, small, sync", 'd', 40000, false, true, true},
    {"encode, spilled, sync", 'c', 8600000, true, true, true},
    {"decode, spilled", 'd', 8600000, true, false, false},
    {"encode, taken over", 'c', 24000000, false, true, false, true},
};

const char* const kOld = "older contents of the destination, which a failed run must leave alone\n";

// The engine in `dir` with `env` added to ours.
RunResult run_engine(const Options& o, const fs::path& dir, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, int timeout = 120) {
  Launch how;
  how.exe = o.engine;
  how.env = env;
  return run_engine_in(dir, args, "", timeout, how);
}

// One traced call of the normal run.
struct Call {
  std::string kind;
  long n;
  std::size_t bytes;
  std::string file;  // what it touched, as a role ("source", "work file 1", ...)
};

class Driver {
 public:
  explicit Driver(const Options& o) : o_(o) {}

  int run_all() {
    bool ok = true;
    for (const Scenario& s : kScenarios) ok = scenario(s) && ok;
    std::printf("\n%-22s %-10s %7s %7s %7s %7s %7s\n", "scenario", "kind", "calls", "tried", "placed", "failed",
                "BAD");
    for (const auto& row : rows_)
      std::printf("%-22s %-10s %7ld %7d %7d %7d %7d\n", row.scenario.c_str(), row.kind.c_str(), row.calls,
                  row.tried, row.placed, row.failed, row.bad);
    int tried = 0, bad = 0;
    for (const auto& row : rows_) {
      tried += row.tried;
      bad += row.bad;
    }
    std::printf("\n%d injected faults, %d ended badly\n", tried, bad);
    return ok && bad == 0 ? 0 : 1;
  }

 private:
  struct Row {
    std::string scenario, kind;
    long calls = 0;
    int tried = 0, placed = 0, failed = 0, bad = 0;
  };

  bool scenario(const Scenario& s) {
    // Encodings for the decoding scenarios, made once per size.
    const Bytes plain = random_bytes(s.size, s.size);
    TempDir home;
    const fs::path run_dir = home.path() / "run";
    fs::create_directory(run_dir);
    const std::string book = (run_dir / "k.kb").string();
    write_book(book, {spilling(s.spills)});
    Bytes source = plain;
    if (s.op == 'd') {
      write_file((run_dir / "plain.bin").string(), plain);
      const RunResult enc = run_engine(o_, run_dir, {"k.kb", "1", "c", "plain.bin", "src.bin"}, {});
      fs::remove(run_dir / "plain.bin");
      if (enc.status != 4) return fail(s, "the encoding for the decoding scenario failed");
      source = read_file((run_dir / "src.bin").string());
    } else {
      write_file((run_dir / "src.bin").string(), plain);
    }
    std::vector<std::string> args = {"k.kb", "1", std::string(1, s.op), "src.bin", "dst.bin"};
    if (s.sync) args.insert(args.begin(), "--sync");
    auto reset = [&] {
      for (const auto& e : fs::directory_iterator(run_dir)) {
        const std::string name = e.path().filename().string();
        if (name != "k.kb" && name != "src.bin") fs::remove_all(e.path());
      }
      if (s.old_destination) write_file((run_dir / "dst.bin").string(), kOld);
    };

    std::vector<std::string> env = {"LD_PRELOAD=" + o_.layer};
    if (s.slow_second_half) env.push_back("QVX_FAULT_SLOW=" + std::to_string(source.size() / 2) + ":2000");
    const auto with = [&](const std::string& more) {
      std::vector<std::string> e = env;
      e.push_back(more);
      return e;
    };

    // The normal run, traced.
    reset();
    const std::string trace_path = (home.path() / "trace").string();
    const RunResult normal = run_engine(o_, run_dir, args, with("QVX_FAULT_TRACE=" + trace_path));
    if (normal.status != (s.op == 'c' ? 4 : 3)) return fail(s, "the normal run failed:\n" + normal.out);
    std::vector<Call> calls = read_trace(trace_path, run_dir);
    if (calls.empty()) return fail(s, "the fault layer saw no call (is it loaded?)");
    bool spilled = false;
    // Data in a work file (a wipe's single "0" is no data).
    for (const Call& c : calls)
      spilled = spilled || (c.kind == "write" && c.bytes > 1 && c.file.rfind("work file", 0) == 0);
    if (spilled != s.spills) return fail(s, spilled ? "spilled unexpectedly" : "did not spill");
    // A third reader of the source: the spare stages of a segment that
    // took over.
    const long source_closes = std::count_if(calls.begin(), calls.end(), [](const Call& c) {
      return c.kind == "close" && c.file == "source";
    });
    if (s.slow_second_half && source_closes < 3) return fail(s, "no segment took over part of the other's");

    // Replays.
    for (const KindErrors& k : kKinds) {
      Row row{s.name, k.kind};
      std::map<std::string, std::vector<long>> groups;  // by file touched
      for (const Call& c : calls)
        if (c.kind == k.kind) groups[c.file].push_back(c.n);
      for (const Call& c : calls) row.calls += c.kind == k.kind;
      for (const auto& [file, ns] : groups) {
        const bool output = file == "temporary output" || file == "destination";
        for (long n : pick(ns)) {
          // A close that fails after the output was written and before it
          // is put in place: the data may not be there.
          const bool must_fail = k.kind == std::string("close") && output && written_before(calls, file, n);
          for (const char* e : k.errors) {
            reset();
            const std::string fault = std::string(k.kind) + ":" + std::to_string(n) + ":" + e;
            const RunResult r = run_engine(o_, run_dir, args, with("QVX_FAULT=" + fault), 120);
            ++row.tried;
            std::string why;
            Outcome got = judge(s, r, run_dir, plain, source, transient(e), why);
            if (must_fail && got == Outcome::placed)
              got = bad(why, "the output was put in place after its close failed");
            if (got == Outcome::placed) ++row.placed;
            if (got == Outcome::failed) ++row.failed;
            if (got == Outcome::bad) {
              ++row.bad;
              std::printf("BAD  %-16s %-24s (%s): %s\n", s.name.c_str(), fault.c_str(), file.c_str(), why.c_str());
              if (o_.verbose) std::printf("%s\n", r.out.c_str());
            } else if (o_.verbose) {
              std::printf("ok   %-16s %-24s (%s): %s\n", s.name.c_str(), fault.c_str(), file.c_str(),
                          got == Outcome::placed ? "placed" : "failed");
            }
            std::fflush(stdout);
          }
        }
      }
      rows_.push_back(row);
    }
    return true;
  }

  // Whether, in the normal run, the file of a close was written before it
  // and not yet renamed into place. (A close after the rename cannot take
  // the output back; what it wrote had reached the disk and passed a
  // close before.)
  static bool written_before(const std::vector<Call>& calls, const std::string& file, long close_n) {
    bool written = false;
    for (const Call& c : calls) {
      if (c.kind == "close" && c.n == close_n) return written;
      if (c.kind == "rename") return false;
      written = written || (c.kind == "write" && c.file == file);
    }
    return written;
  }

  // A record whose pass 12 turns windows of more than 4 MiB (its desorden
  // has 72 integer digits), or one that keeps every pass in memory.
  static KeyRecord spilling(bool spills) {
    KeyRecord r = sample_record("faults");
    if (spills) r.desorden = 9.999999999e71;
    return r;
  }

  std::vector<long> pick(const std::vector<long>& ns) const {
    if (o_.full || ns.size() <= static_cast<std::size_t>(o_.middle) + 2) return ns;
    std::set<long> chosen{ns.front(), ns.back()};
    for (int i = 1; i <= o_.middle; ++i) chosen.insert(ns[ns.size() * i / (o_.middle + 1)]);
    return {chosen.begin(), chosen.end()};
  }

  // The trace's files as roles, so that groups do not depend on the
  // temporary names of one run.
  static std::vector<Call> read_trace(const std::string& path, const fs::path& dir) {
    std::vector<Call> calls;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      Call c;
      words >> c.kind >> c.n >> c.bytes;
      std::string file;
      std::getline(words, file);
      if (!file.empty() && file[0] == ' ') file.erase(0, 1);
      c.file = role(fs::path(file).filename().string(), file.find(dir.string()) == 0 || file.find('/') == std::string::npos);
      calls.push_back(c);
    }
    return calls;
  }

  static std::string role(const std::string& name, bool ours) {
    if (!ours) return "other";
    if (name == "src.bin") return "source";
    if (name == "dst.bin") return "destination";
    if (name == "k.kb") return "key book";
    if (name.find("qvx01") != std::string::npos) return "work file 1";
    if (name.find("qvx02") != std::string::npos) return "work file 2";
    if (name.find("qvx03") != std::string::npos || name.find("#") != std::string::npos) return "temporary output";
    return name.empty() ? "unnamed" : name;
  }

  enum class Outcome { placed, failed, bad };

  Outcome judge(const Scenario& s, const RunResult& r, const fs::path& dir, const Bytes& plain, const Bytes& source,
                bool must_succeed, std::string& why) {
    const int success = s.op == 'c' ? 4 : 3;
    if (r.timed_out) return bad(why, "timed out");
    if (r.signal) return bad(why, "killed by signal " + std::to_string(r.signal));
    if (read_file((dir / "src.bin").string()) != source) return bad(why, "the source changed");

    // The destination: absent, old, complete, or damaged.
    const fs::path dst = dir / "dst.bin";
    enum { absent, old, complete, damaged } dest = absent;
    if (fs::exists(fs::symlink_status(dst))) {
      const Bytes now = read_file(dst.string());
      if (s.old_destination && as_string(now) == kOld)
        dest = old;
      else
        dest = holds_plain(s, dir, now, plain) ? complete : damaged;
    }
    if (dest == damaged) return bad(why, "the destination is neither old nor complete");

    // Leftovers: anything the run made besides the destination.
    std::vector<std::string> left;
    bool left_data = false;
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (name == "k.kb" || name == "src.bin" || name == "dst.bin") continue;
      std::error_code ec;
      const auto size = fs::is_regular_file(e.path(), ec) ? fs::file_size(e.path(), ec) : 0;
      left.push_back(name + " (" + std::to_string(size) + " bytes)");
      left_data = left_data || size > 1;
    }
    const bool said_trace = r.out.find("Queda Un Rastro") != std::string::npos ||
                            r.out.find("NO SE PUDO ELIMINAR") != std::string::npos ||
                            r.out.find("no se ha podido sobrescribir") != std::string::npos;
    std::string names;
    for (const auto& n : left) names += " " + n;

    if (r.status == success) {
      if (dest != complete) return bad(why, "status " + std::to_string(r.status) + " without the output in place");
      if (!left.empty()) return bad(why, "status " + std::to_string(r.status) + " and left" + names);
      return Outcome::placed;
    }
    if (must_succeed) return bad(why, "a call to try again failed the run (status " + std::to_string(r.status) + ")");
    if (left_data) return bad(why, "left data behind:" + names);
    if (!left.empty() && (r.status != 8 || !said_trace))
      return bad(why, "left" + names + " with status " + std::to_string(r.status) + (said_trace ? "" : ", unreported"));
    if (r.status != 8 && r.status != 0) return bad(why, "status " + std::to_string(r.status));
    if (dest == complete && !said_trace) return bad(why, "the output is in place, yet status " + std::to_string(r.status));
    return dest == complete ? Outcome::placed : Outcome::failed;
  }

  static Outcome bad(std::string& why, const std::string& text) {
    why = text;
    return Outcome::bad;
  }

  // Decoded output equals the plain file; encoded output decodes to it.
  bool holds_plain(const Scenario& s, const fs::path& dir, const Bytes& got, const Bytes& plain) {
    if (s.op == 'd') return got == plain;
    const fs::path check = dir.parent_path() / "check";
    fs::remove_all(check);
    fs::create_directory(check);
    fs::copy_file(dir / "k.kb", check / "k.kb");
    write_file((check / "enc.bin").string(), got);
    const RunResult r = run_engine(o_, check, {"k.kb", "1", "d", "enc.bin", "back.bin"}, {});
    const bool same = r.status == 3 && read_file((check / "back.bin").string()) == plain;
    fs::remove_all(check);
    return same;
  }

  bool fail(const Scenario& s, const std::string& why) {
    std::printf("SETUP %s: %s\n", s.name.c_str(), why.c_str());
    rows_.push_back(Row{s.name, "(setup)", 0, 0, 0, 0, 1});
    return false;
  }

  Options o_;
  std::vector<Row> rows_;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--full")
      o.full = true;
    else if (a == "--verbose")
      o.verbose = true;
    else if (a == "--middle" && i + 1 < argc)
      o.middle = std::atoi(argv[++i]);
    else
      positional.push_back(a);
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "usage: %s ENGINE FAULT_LAYER [--full] [--middle N] [--verbose]\n", argv[0]);
    return 2;
  }
  o.engine = fs::absolute(positional[0]).string();
  o.layer = fs::absolute(positional[1]).string();
  return Driver(o).run_all();
}
