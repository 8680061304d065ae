// Throughput of whole encoding and decoding runs through the built engine,
// against the floor that 23 passes and two wipes through work files impose:
// 25 plain copies of the same file. Prints wall seconds, MiB/s, the ratio to
// the floor and the peak resident memory of the engine, per size and
// direction; the two work-file wipes (overwrite, fsync, truncate, delete)
// are timed on their own so their share is visible.
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
#include <vector>

#include "eraser/borra.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s QVX7 KEYBOOK [MiB ...]\n", argv[0]);
    return 2;
  }
  const std::string engine = std::filesystem::absolute(argv[1]).string();
  const std::string book = std::filesystem::absolute(argv[2]).string();
  std::vector<uint64_t> sizes;
  for (int i = 3; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {64, 512};

  char tmpl[] = "/var/tmp/qvxbench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  std::printf("%-6s %-7s %9s %9s %8s %10s\n", "MiB", "run", "seconds", "MiB/s", "x floor", "peak KiB");
  int failures = 0;
  for (uint64_t mib : sizes) {
    const std::string plain = dir + "/plain.bin", enc = dir + "/enc.bin", dec = dir + "/dec.bin";
    make_random_file(plain, mib << 20);
    Run floor;
    for (int i = 0; i < 25; ++i) {
      Run c = run({"/bin/cp", plain, dir + "/copy.bin"}, dir);
      floor.seconds += c.seconds;
    }
    std::filesystem::remove(dir + "/copy.bin");
    std::printf("%-6llu %-7s %9.2f %9.1f %8.2f %10s\n", static_cast<unsigned long long>(mib), "25 x cp",
                floor.seconds, static_cast<double>(mib) * 25 / floor.seconds, 1.0, "-");
    // The wipes alone: two files of the run's size, overwritten, synced, deleted.
    double wipes = 0;
    for (int i = 0; i < 2; ++i) {
      make_random_file(dir + "/wipe.bin", mib << 20);
      auto t0 = std::chrono::steady_clock::now();
      qvx::borra e((dir + "/wipe.bin").c_str());
      if (e.borrarfichero()) e.eliminaresto();
      wipes += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    std::printf("%-6llu %-7s %9.2f %9s %8.2f %10s\n", static_cast<unsigned long long>(mib), "2 wipes", wipes,
                "-", wipes / floor.seconds, "-");
    Run e = run({engine, book, "1", "c", plain, enc}, dir);
    Run d = run({engine, book, "1", "d", enc, dec}, dir);
    for (auto [name, r] : {std::pair{"encode", e}, std::pair{"decode", d}})
      std::printf("%-6llu %-7s %9.2f %9.1f %8.2f %10ld\n", static_cast<unsigned long long>(mib), name,
                  r.seconds, static_cast<double>(mib) / r.seconds, r.seconds / floor.seconds, r.peak_kib);
    const bool ok = e.status == 4 && d.status == 3 && same_files(plain, dec) && !same_files(plain, enc);
    std::printf("%-6llu round trip %s\n", static_cast<unsigned long long>(mib), ok ? "ok" : "FAILED");
    failures += ok ? 0 : 1;
    for (const char* f : {"/plain.bin", "/enc.bin", "/dec.bin"}) std::filesystem::remove(dir + f);
  }
  std::filesystem::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
