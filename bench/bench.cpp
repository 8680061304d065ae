// Throughput of whole encoding and decoding runs through the built engine,
// against 25 plain copies of the same file (the floor of the old design: 23
// passes and two wipes through work files) and against the tools a user
// could pick instead (ccrypt, gpg, openssl, age) when they are installed.
// Prints wall seconds, MiB/s, the speed as a multiple of the 25 copies and
// of ccrypt, and the engine's peak resident memory, for a record with
// printable keys and one with high-byte keys; then the planner's plan for
// each record.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "cipher/run/pipeline.h"
#include "bookformat/slot.h"

namespace {

struct Run {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

Run run(const std::vector<std::string>& args, const std::string& cwd) {
  auto t0 = std::chrono::steady_clock::now();
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  Run r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.peak_kib = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
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
      {"ccrypt -e", "ccrypt", "ccrypt -e -K benchsecret < \"$IN\" > \"$OUT\""},
      {"gpg -c", "gpg",
       "GNUPGHOME='" + home +
           "' gpg --batch --yes --quiet --pinentry-mode loopback --passphrase benchsecret -c -o \"$OUT\" \"$IN\""},
      {"openssl enc", "openssl", "openssl enc -aes-256-ctr -pbkdf2 -pass pass:benchsecret -in \"$IN\" -out \"$OUT\""},
      {"age -r", "age",
       "test -f '" + dir + "/age.key' || age-keygen -o '" + dir + "/age.key' 2>/dev/null; age -r \"$(age-keygen -y '" +
           dir + "/age.key')\" -o \"$OUT\" \"$IN\""},
  };
}

bool installed(const char* program) {
  const std::string probe = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

Run shell(const std::string& command, const std::string& in, const std::string& out, const std::string& cwd) {
  return run({"/bin/sh", "-c", "IN='" + in + "' OUT='" + out + "'; " + command}, cwd);
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
  const std::string book = dir + "/bench.kb";
  std::ofstream out(book, std::ios::binary);
  for (const qvx::KeyRecord* r : {&printable, &high}) {
    const qvx::Slot s = qvx::write_slot(*r, messages);
    out.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size()));
  }
  return book;
}

void base_plans(const std::string& book, uint64_t size) {
  std::ifstream f(book, std::ios::binary);
  std::vector<unsigned char> slot(qvx::kSlotSize);
  for (int n = 1; f.read(reinterpret_cast<char*>(slot.data()), static_cast<std::streamsize>(slot.size())); ++n) {
    qvx::KeyRecord r;
    std::vector<std::string> messages;
    qvx::read_slot(slot.data(), slot.size(), r, messages);
    for (auto d : {qvx::Direction::encode, qvx::Direction::decode}) {
      std::printf("plan, record %d, %s %llu bytes:\n%s", n, d == qvx::Direction::encode ? "encoding" : "decoding",
                  static_cast<unsigned long long>(size), qvx::describe_run(r, d, size).c_str());
    }
  }
}

void row(uint64_t mib, const std::string& name, double seconds, double floor, double ccrypt, long peak_kib) {
  std::printf("%-5llu %-22s %8.2f %8.1f %8.2f ", static_cast<unsigned long long>(mib), name.c_str(), seconds,
              static_cast<double>(mib) / seconds, floor / seconds);
  if (ccrypt > 0)
    std::printf("%9.2f ", ccrypt / seconds);
  else
    std::printf("%9s ", "-");
  if (peak_kib >= 0)
    std::printf("%9ld\n", peak_kib);
  else
    std::printf("%9s\n", "-");
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

  char tmpl[] = "/var/tmp/qvxbench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string book = make_book(std::filesystem::absolute(argv[2]).string(), dir);
  const std::vector<Tool> tools = other_tools(dir);
  std::printf("records: 1 = the sample book's record 1 (printable keys), 2 = the same with high-byte keys\n");
  std::printf("%-5s %-22s %8s %8s %8s %9s %9s\n", "MiB", "run", "seconds", "MiB/s", "x 25cp", "x ccrypt", "peak KiB");
  int failures = 0;
  for (uint64_t mib : sizes) {
    const std::string plain = dir + "/plain.bin", enc = dir + "/enc.bin", dec = dir + "/dec.bin";
    make_random_file(plain, mib << 20);
    double floor = 0;
    for (int i = 0; i < 25; ++i) floor += run({"/bin/cp", plain, dir + "/copy.bin"}, dir).seconds;
    std::filesystem::remove(dir + "/copy.bin");
    row(mib, "25 x cp", floor, floor, 0, -1);

    double ccrypt = 0;
    for (const Tool& t : tools) {
      if (!installed(t.probe)) {
        std::printf("%-5llu %-22s not installed\n", static_cast<unsigned long long>(mib), t.name);
        continue;
      }
      const Run r = shell(t.command, plain, dir + "/tool.out", dir);
      std::filesystem::remove(dir + "/tool.out");
      if (r.status != 0) {
        std::printf("%-5llu %-22s failed (status %d)\n", static_cast<unsigned long long>(mib), t.name, r.status);
        continue;
      }
      if (std::string(t.probe) == "ccrypt") ccrypt = r.seconds;
      row(mib, t.name, r.seconds, floor, ccrypt, -1);
    }

    for (const char* record : {"1", "2"}) {
      for (const std::string* qvx : {&engine, &baseline}) {
        if (qvx->empty()) continue;
        const std::string who = std::string(qvx == &baseline ? "baseline " : "") + "record " + record;
        const Run e = run({*qvx, book, record, "c", plain, enc}, dir);
        const Run d = run({*qvx, book, record, "d", enc, dec}, dir);
        row(mib, who + " encode", e.seconds, floor, ccrypt, e.peak_kib);
        row(mib, who + " decode", d.seconds, floor, ccrypt, d.peak_kib);
        const bool ok = e.status == 4 && d.status == 3 && same_files(plain, dec) && !same_files(plain, enc);
        if (!ok) std::printf("%-5llu %s round trip FAILED\n", static_cast<unsigned long long>(mib), who.c_str());
        failures += ok ? 0 : 1;
        std::filesystem::remove(enc);
        std::filesystem::remove(dec);
      }
    }
    for (const char* f : {"/plain.bin", "/enc.bin", "/dec.bin"}) std::filesystem::remove(dir + f);
  }

  // How the planner runs each record at the largest size.
  base_plans(book, sizes.back() << 20);
  // gpg leaves an agent with sockets in its home; stop it before cleaning up.
  if (installed("gpgconf")) std::system(("GNUPGHOME='" + dir + "/gnupg' gpgconf --kill all >/dev/null 2>&1").c_str());
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return failures == 0 ? 0 : 1;
}
