// Throughput of whole encoding and decoding runs through the built engine,
// against one plain copy of the same file (dd bs=1M: one read and one write
// through user space) and against the tools a user could pick instead (age,
// openssl, ccrypt, gpg) when they are installed. Every run of a round comes
// after the others, round after round (three rounds, interleaved), and the
// median of each is printed: wall seconds, MiB/s, the time as a multiple of
// the copy's, user and system seconds and peak resident memory. Records: the
// sample book's record 1 (printable keys) and the same with high-byte keys.
// Also: the engine writing over an existing destination (a rename over a
// file, which ext4 flushes), the engine's passes on two threads as two
// segments (with and without the take-over) and as two halves (the same
// code, in a child of this program),
// another engine (BENCH_BASELINE), and
// finally how the planner runs each record. BENCH_SIZES, BENCH_ROUNDS,
// BENCH_ONLY=engine (no other tools: for big files), BENCH_EACH (every run
// on standard error) and BENCH_PLAN_ONLY (only the plans) adjust it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "bookformat/slot.h"
#include "cipher/run/pipeline.h"
#include "cipher/run/planner.h"
#include "cipher/passes/simd.h"

namespace {

struct Run {
  double seconds = 0;
  double user = 0;
  double system = 0;
  long peak_kib = 0;
  int status = -1;
};

// Runs `body` in a child in `cwd` with its standard output thrown away.
Run in_child(const std::string& cwd, const std::function<int()>& body) {
  ::sync();  // what the run before left to write back is not this run's
  std::fflush(stdout);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    _exit(body());
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  Run r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.user = static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
  r.system = static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
  r.peak_kib = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

Run program(const std::vector<std::string>& args, const std::string& cwd) {
  return in_child(cwd, [&] {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    return 127;
  });
}

void make_random_file(const std::string& path, uint64_t size) {
  std::ofstream f(path, std::ios::binary);
  std::mt19937_64 g(size);
  std::vector<uint64_t> block(1 << 16);
  for (uint64_t done = 0; done < size;) {
    for (auto& w : block) w = g();
    uint64_t n = std::min<uint64_t>(size - done, block.size() * 8);
    f.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    done += n;
  }
}

bool same_files(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (;;) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (fa.gcount() == 0) return true;
    if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
  }
}

// Another tool a user could pick instead, run through the shell.
struct Tool {
  const char* name;
  const char* probe;    // the program that must be installed
  std::string command;  // with $IN and $OUT
};

std::vector<Tool> other_tools(const std::string& dir) {
  const std::string home = dir + "/gnupg";
  std::filesystem::create_directories(home);
  std::filesystem::permissions(home, std::filesystem::perms::owner_all);
  return {
      {"age -r", "age",
       "test -f '" + dir + "/age.key' || age-keygen -o '" + dir + "/age.key' 2>/dev/null; age -r \"$(age-keygen -y '" +
           dir + "/age.key')\" -o \"$OUT\" \"$IN\""},
      {"openssl enc -aes-256-ctr", "openssl",
       "openssl enc -aes-256-ctr -pbkdf2 -pass pass:benchsecret -in \"$IN\" -out \"$OUT\""},
      {"ccrypt -e", "ccrypt", "ccrypt -e -K benchsecret < \"$IN\" > \"$OUT\""},
      {"gpg -c", "gpg",
       "GNUPGHOME='" + home +
           "' gpg --batch --yes --quiet --pinentry-mode loopback --passphrase benchsecret -c -o \"$OUT\" \"$IN\""},
  };
}

bool installed(const char* program) {
  const std::string probe = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

Run shell(const std::string& command, const std::string& in, const std::string& out, const std::string& cwd) {
  return program({"/bin/sh", "-c", "IN='" + in + "' OUT='" + out + "'; " + command}, cwd);
}

// The sample book's record 1, and the same record with keys whose bytes
// from 0x80 on make blocks of gigabytes in passes 13 to 22.
std::string make_book(const std::string& demo, const std::string& dir) {
  std::ifstream f(demo, std::ios::binary);
  std::vector<unsigned char> slot(qvx::kSlotSize);
  f.read(reinterpret_cast<char*>(slot.data()), static_cast<std::streamsize>(slot.size()));
  qvx::KeyRecord printable;
  std::vector<std::string> messages;
  qvx::read_slot(slot.data(), slot.size(), printable, messages);
  qvx::KeyRecord high = printable;
  high.nombre = "AltaBytes";
  for (int k = 1; k <= 10; ++k) {
    std::string key;
    for (int i = 0; i < 24; ++i) key.push_back(static_cast<char>(i % 3 == 0 ? 0x41 + (i + k) % 26 : 0x80 + (i * 37 + k * 11) % 127));
    high.clave(k) = key;
  }
  // Record 1 with one high byte in key 10: a first block of 4 GiB in pass
  // 22, which a file of 5 GiB holds whole, so the run spills.
  qvx::KeyRecord spill = printable;
  spill.nombre = "Trasvase";
  spill.clave(10)[1] = static_cast<char>(0x80);
  const std::string book = dir + "/bench.kb";
  std::ofstream out(book, std::ios::binary);
  for (const qvx::KeyRecord* r : {&printable, &high, &spill}) {
    const qvx::Slot s = qvx::write_slot(*r, messages);
    out.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size()));
  }
  return book;
}

// From this size on record 3's pass 22 holds a block of 4 GiB (a spill).
constexpr uint64_t kSpillFrom = uint64_t{4200} << 20;

qvx::KeyRecord record_of(const std::string& book, int n) {
  std::ifstream f(book, std::ios::binary);
  std::vector<unsigned char> slot(qvx::kSlotSize);
  f.seekg(static_cast<std::streamoff>((n - 1) * qvx::kSlotSize));
  f.read(reinterpret_cast<char*>(slot.data()), static_cast<std::streamsize>(slot.size()));
  qvx::KeyRecord r;
  std::vector<std::string> messages;
  qvx::read_slot(slot.data(), slot.size(), r, messages);
  return r;
}

void plans(const std::string& book, uint64_t size) {
  std::printf("kernels: %s\n", qvx::simd::in_use());
  for (int n = 1; n <= (size >= kSpillFrom ? 3 : 2); ++n) {
    const qvx::KeyRecord r = record_of(book, n);
    for (auto d : {qvx::Direction::encode, qvx::Direction::decode}) {
      std::printf("plan, record %d, %s %llu bytes:\n%s", n, d == qvx::Direction::encode ? "encoding" : "decoding",
                  static_cast<unsigned long long>(size), qvx::describe_run(r, d, size).c_str());
    }
  }
}

// The engine's run from this program, with the planner's rules given.
int run_here(const std::string& book, int record, qvx::Direction d, const std::string& from, const std::string& to,
             const qvx::PlanRules& rules) {
  qvx::set_plan_rules(rules);
  qvx::base b;
  static_cast<qvx::KeyRecord&>(b) = record_of(book, record);
  b.libro = true;
  b.fichero = book;
  b.registro = record;
  const qvx::RunParameters p;
  const qvx::WorkFiles w;
  const bool ok = d == qvx::Direction::encode ? qvx::encode_from_command_line(b, from.c_str(), to.c_str(), p, w)
                                              : qvx::decode_from_command_line(b, from.c_str(), to.c_str(), p, w);
  return ok ? (d == qvx::Direction::encode ? 4 : 3) : 1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// One line of the table: a run and what it did in every round.
struct Row {
  std::string name;
  std::vector<Run> runs;
  bool failed = false;
};

// A job of a round: it runs and tells whether what it made is right.
struct Job {
  std::string name;
  std::function<Run()> run;
  std::function<bool()> check;  // after the first round's run; null: none
};

void print(uint64_t mib, const Row& row, double copy) {
  std::vector<double> wall, user, sys;
  long peak = 0;
  for (const Run& r : row.runs) {
    wall.push_back(r.seconds);
    user.push_back(r.user);
    sys.push_back(r.system);
    peak = std::max(peak, r.peak_kib);
  }
  const double t = median(wall);
  std::printf("%-5llu %-36s %8.3f %8.1f %7.2f %7.2f %7.2f %9ld%s\n", static_cast<unsigned long long>(mib),
              row.name.c_str(), t, static_cast<double>(mib) / t, copy > 0 ? t / copy : 1.0, median(user),
              median(sys), peak, row.failed ? "  FAILED" : "");
}

std::string load() {
  std::ifstream f("/proc/loadavg");
  std::string a, b, c;
  f >> a >> b >> c;
  return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s QVX7 KEYBOOK [MiB ...]   (BENCH_BASELINE=another qvx7 to compare)\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
  const std::string engine = std::filesystem::absolute(argv[1]).string();
  const char* baseline_env = std::getenv("BENCH_BASELINE");
  const std::string baseline = baseline_env && *baseline_env ? std::filesystem::absolute(baseline_env).string() : "";
  std::vector<uint64_t> sizes;
  for (int i = 3; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {64, 512};
  const int rounds = std::max(1, std::atoi(std::getenv("BENCH_ROUNDS") ? std::getenv("BENCH_ROUNDS") : "3"));

  char tmpl[] = "/var/tmp/qvxbench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string book = make_book(std::filesystem::absolute(argv[2]).string(), dir);
  const std::vector<Tool> tools = other_tools(dir);
  std::printf("records: 1 = the sample book's record 1 (printable keys), 2 = the same with high-byte keys\n");
  std::printf("load average at the start: %s\n", load().c_str());
  std::printf("%-5s %-36s %8s %8s %7s %7s %7s %9s\n", "MiB", "run (median of the rounds)", "seconds", "MiB/s",
              "x copy", "user", "system", "peak KiB");
  int failures = 0;
  // BENCH_PLAN_ONLY: only how the planner runs each record.
  const bool plan_only = std::getenv("BENCH_PLAN_ONLY") != nullptr;
  // BENCH_ONLY=engine: the copy and the engine's own runs (for big files).
  const bool each = std::getenv("BENCH_EACH") != nullptr;  // every run on standard error
  const bool engine_only = std::getenv("BENCH_ONLY") && std::string(std::getenv("BENCH_ONLY")) == "engine";
  const std::string plain = dir + "/plain.bin", out = dir + "/out.bin";
  const auto enc = [&](const std::string& who, const char* record) { return dir + "/enc-" + who + record + ".bin"; };
  const auto remove = [](const std::string& f) { std::filesystem::remove(f); };
  for (uint64_t mib : plan_only ? std::vector<uint64_t>{} : sizes) {
    make_random_file(plain, mib << 20);
    std::vector<Job> jobs;
    jobs.push_back({"dd bs=1M copy",
                    [&] {
                      remove(out);
                      return program({"/bin/dd", "if=" + plain, "of=" + out, "bs=1M", "status=none"}, dir);
                    },
                    [&] { return same_files(plain, out); }});
    const auto engine_jobs = [&](const std::string& qvx, const std::string& who) {
      for (const char* record : {"1", "2", "3"}) {
        if (record[0] == '3' && (mib << 20) < kSpillFrom) continue;
        const std::string e = enc(who, record);
        jobs.push_back({who + "record " + record + " encode",
                        [&, qvx, record, e] {
                          remove(e);
                          return program({qvx, book, record, "c", plain, e}, dir);
                        },
                        [&, e] { return !same_files(plain, e); }});
        jobs.push_back({who + "record " + record + " decode",
                        [&, qvx, record, e] {
                          remove(out);
                          return program({qvx, book, record, "d", e, out}, dir);
                        },
                        [&] { return same_files(plain, out); }});
      }
      // The same encoding onto the file it made: the rename replaces it.
      const std::string e = enc(who, "1");
      jobs.push_back({who + "record 1 encode over existing",
                      [&, qvx, e] { return program({qvx, book, "1", "c", plain, e}, dir); }, nullptr});
    };
    engine_jobs(engine, "");
    // What --sync costs: a new destination, and one replaced.
    const std::string synced = enc("sync", "1");
    jobs.push_back({"record 1 encode --sync",
                    [&, synced] {
                      remove(synced);
                      return program({engine, "--sync", book, "1", "c", plain, synced}, dir);
                    },
                    nullptr});
    jobs.push_back({"record 1 encode --sync over existing",
                    [&, synced] { return program({engine, "--sync", book, "1", "c", plain, synced}, dir); }, nullptr});
    // The passes on two threads, as two segments of the output (the first
    // to end taking over part of the other's, or not) and as halves of
    // the chain, against the same code on one.
    using Rules = qvx::PlanRules;
    const std::vector<std::pair<std::string, Rules>> ways = {
        {"one thread ", Rules{qvx::kHoldBound, true, qvx::kOneThread}},
        {"two segments ", Rules{qvx::kHoldBound, true, 0}},
        {"no take-over ", Rules{qvx::kHoldBound, true, 0, true, true, true, qvx::kOneThread}},
        {"two halves ", Rules{qvx::kHoldBound, true, 0, true, true, false}}};
    for (const auto& [who, rules] : ways) {
      if (engine_only) break;
      for (const auto d : {qvx::Direction::encode, qvx::Direction::decode}) {
        const bool encoding = d == qvx::Direction::encode;
        jobs.push_back({who + "record 1 " + (encoding ? "encode" : "decode"),
                        [&, rules, d, encoding, who] {
                          const std::string e = enc(who, "1");
                          remove(encoding ? e : out);
                          return in_child(dir, [&] {
                            return encoding ? run_here(book, 1, d, plain, e, rules) : run_here(book, 1, d, e, out, rules);
                          });
                        },
                        encoding ? std::function<bool()>() : [&] { return same_files(plain, out); }});
      }
    }
    if (!baseline.empty()) engine_jobs(baseline, "baseline ");
    for (const Tool& t : engine_only ? std::vector<Tool>{} : tools) {
      if (!installed(t.probe)) {
        std::printf("%-5llu %-36s not installed\n", static_cast<unsigned long long>(mib), t.name);
        continue;
      }
      jobs.push_back({t.name,
                      [&, t] {
                        remove(out);
                        return shell(t.command, plain, out, dir);
                      },
                      [&] { return !same_files(plain, out); }});
    }

    std::vector<Row> rows(jobs.size());
    // Each round starts further down the list, so that no run always comes
    // after the same one (a slow writer before it leaves the system busier).
    // The first round keeps the order: decodings read what it encoded.
    for (int round = 0; round < rounds; ++round) {
      for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::size_t j = (k + static_cast<std::size_t>(round) * jobs.size() / static_cast<std::size_t>(rounds) +
                               static_cast<std::size_t>(round)) % jobs.size();
        const Run r = jobs[j].run();
        if (each)
          std::fprintf(stderr, "round %d  %-36s %7.3f s  user %.2f  system %.2f\n", round, jobs[j].name.c_str(),
                       r.seconds, r.user, r.system);
        rows[j].name = jobs[j].name;
        rows[j].runs.push_back(r);
        const bool status_ok = r.status == 0 || r.status == 3 || r.status == 4;
        if (!status_ok || (round == 0 && jobs[j].check && !jobs[j].check())) rows[j].failed = true;
      }
    }
    const double copy = median([&] {
      std::vector<double> v;
      for (const Run& r : rows[0].runs) v.push_back(r.seconds);
      return v;
    }());
    for (const Row& row : rows) {
      print(mib, row, copy);
      failures += row.failed ? 1 : 0;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path().extension() == ".bin") remove(entry.path().string());
  }
  std::printf("load average at the end: %s\n", load().c_str());

  // How the planner runs each record at the largest size, and at 5 GiB,
  // where the high-byte keys' blocks no longer cover the whole file.
  plans(book, sizes.back() << 20);
  if (sizes.back() < 5120) plans(book, uint64_t{5} << 30);
  // gpg leaves an agent with sockets in its home; stop it before cleaning up.
  if (installed("gpgconf")) std::system(("GNUPGHOME='" + dir + "/gnupg' gpgconf --kill all >/dev/null 2>&1").c_str());
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return failures == 0 ? 0 : 1;
}
