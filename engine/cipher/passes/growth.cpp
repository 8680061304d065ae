// Passes 11 and 12 change the data's shape, not its byte values. Pass 11
// (growth) puts g1 filler bytes after every complete block of L bytes; pass 12
// (disorder) turns every pair of L-byte blocks. Where the filler stands and
// how far a pair turns follow from the key record and the file size alone, so
// decoding never looks at the filler's values.
//
// L can exceed 4 GiB (a negative posicion): pass 11 holds nothing, and a
// pass 12 window too long to hold is read with seeks instead.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

#include "cipher/passes/coder.h"
#include "cipher/passes/pass_stages.h"
#include "cipher/passes/pass_table.h"
#include "console/console.h"

namespace qvx {
namespace {

// Block length from ten digit values; 0 when the pass is to copy instead.
// The product wraps at 32 bits and is read unsigned: that is how stored
// records with a negative posicion have always been laid out.
uint64_t block_length(const Digits& d, int32_t signo, int32_t posicion) {
  const int factors = signo == 0 ? 5 : 4;
  uint32_t p = static_cast<uint32_t>(posicion);
  for (int i = 0; i < factors; ++i) p *= static_cast<uint32_t>(d.value(i));
  if (p == 0) return 0;
  uint64_t length = p;
  for (int i = 5; i < 10; ++i) length += static_cast<uint64_t>(d.value(i));
  return length;
}

uint32_t clock_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }
uint32_t (*g_clock)() = clock_seconds;
uint32_t seconds_now() { return g_clock(); }

// The filler's source. Decoding never reads the filler, so its values only
// have to look random; this keeps the course the filler has always followed
// (3 x g1 draws dropped, r0, g1 values, a reseed from the block position, the
// time and r0 after every block) but with a generator that is cheap to seed:
// reseeding the C library's generator after every block cost more than all
// the rest of the pass for short blocks.
class FillerSource {
 public:
  explicit FillerSource(uint32_t seed) { reseed(seed); }
  void reseed(uint32_t seed) { state_ = 0x9E3779B97F4A7C15ull ^ seed; }
  // 0 to 2^31 - 1, like rand().
  uint32_t draw() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 33);
  }

 private:
  uint64_t state_ = 0;
};

// The g1 (at most 9) filler bytes after the block that starts at `pos`.
void make_filler(FillerSource& source, unsigned g1, uint64_t pos, unsigned char* filler) {
  for (unsigned i = 0; i < 3 * g1; ++i) source.draw();
  const uint32_t r0 = source.draw();
  for (unsigned i = 0; i < g1; ++i) {
    const uint32_t w = source.draw() * 1421u + g1;
    const uint64_t s = uint64_t{w} + r0;
    filler[i] = s < (uint64_t{1} << 31) ? static_cast<unsigned char>(s) : 0;
  }
  source.reseed(static_cast<uint32_t>(pos + seconds_now() + r0));
}

void put_filler(Emitter& out, FillerSource& source, unsigned g1, uint64_t pos) {
  unsigned char filler[10];
  make_filler(source, g1, pos, filler);
  out.give_copy(filler, g1);
}

void ok_prefix(const char* words) {
  con::eol();
  con::out() << "\xB7" "OK!.." << words;
}

void cleanup_notice() {
  con::eol();
  con::out() << "Borrando Ficheros Temporales, Espere un Momento Porfavor......";
  con::eol();
}

// What both passes share: the block length, and the opening of the report
// (copy instead when the length is 0). False when nothing more is to be said.
class ShapeStage : public Stage {
 public:
  ShapeStage(const coder& c, const Digits& d, uint64_t n)
      : Stage(n), block_(block_length(d, c.signo, c.posicion)), d1_(static_cast<uint64_t>(d.value(0))) {}

 protected:
  // False when the pass does not go on to its own lines: `outcome` is then
  // the report's.
  bool opening(coder& c, const Flow& f, const char* words, Outcome& outcome) const {
    if (!f.opened) {
      outcome = c.report_open_failure(false);
      return false;
    }
    if (block_ == 0) {
      outcome = report_copy(c, f);
      return false;
    }
    c.start_line(words);
    return true;
  }

  // A restart where `want` of the output falls: at the start of the unit
  // (`in_unit` input bytes making `out_unit` output bytes, `units` of
  // them) it falls in, or, past the units, at `want` itself.
  uint64_t restart_in_units(uint64_t want, uint64_t& out_at, uint64_t in_unit, uint64_t out_unit, uint64_t units) {
    if (want < units * out_unit) {
      out_at = want / out_unit * out_unit;
      pos_ = want / out_unit * in_unit;
    } else {
      out_at = want;
      pos_ = units * in_unit + (want - units * out_unit);
    }
    return pos_;
  }

  const uint64_t block_;
  const uint64_t d1_;
  uint64_t pos_ = 0;  // input bytes seen
};

// Encoding pass 11: g1 filler bytes after every complete block.
class GrowthStage : public ShapeStage {
 public:
  GrowthStage(const coder& c, uint64_t n)
      : ShapeStage(c, c.engorde_digits(), n), blocks_(block_ ? n / block_ : 0), source_(seconds_now()) {}

  uint64_t out_size() const override { return in_size() + blocks_ * d1_; }

  // A restart replays the filler's draws of every block before it: only
  // where that costs little next to the data (at most a draw per 16 bytes,
  // or a few thousand in all).
  bool restartable() const override { return restart_work(out_size()) <= std::max<uint64_t>(in_size() / 16, 4096); }

  Outcome report(coder& c, const Flow& f) override {
    c.paso = 11;
    c.tamano = in_size();
    Outcome outcome = Outcome::complete;
    if (!opening(c, f, "Codificando el fichero :_", outcome)) return outcome;
    // The size this pass meant to write: pass 12 measures what really
    // landed and the size check tells a short write apart.
    const uint64_t m = f.accepted;
    c.tamano = m;
    ok_prefix("Codificado clave 11 ");
    // Filler follows every complete block taken.
    const uint64_t filler = std::min(block_ ? taken() / block_ : 0, blocks_) * d1_;
    con::out() << " con " << m << " bytes " << " aumentado en " << filler << " bytes";
    con::eol();
    cleanup_notice();
    // The lines are the same either way; a pass whose output fell short
    // has not encoded, whatever the next one measures.
    return f.complete ? outcome : Outcome::failed;
  }

 protected:
  void consume(unsigned char* data, std::size_t n) override {
    const uint64_t grown = blocks_ * block_;
    while (n > 0) {
      if (pos_ >= grown) {
        out_.give(data, n);
        pos_ += n;
        return;
      }
      const auto take = static_cast<std::size_t>(std::min<uint64_t>(n, block_ - pos_ % block_));
      out_.give(data, take);
      pos_ += take;
      data += take;
      n -= take;
      if (pos_ % block_ == 0) put_filler(out_, source_, static_cast<unsigned>(d1_), pos_ - block_);
    }
  }

  // The draws replayed: a draw costs about what a byte of a chain on two
  // threads does (measured with printable keys, whose chain costs most).
  uint64_t restart_work(uint64_t want) const override {
    const uint64_t blocks = block_ ? std::min(want / (block_ + d1_), blocks_) : 0;
    return blocks * (4 * d1_ + 1);
  }

  uint64_t restart_at(uint64_t want, uint64_t& out_at) override {
    const uint64_t in_at = restart_in_units(want, out_at, block_, block_ + d1_, blocks_);
    unsigned char filler[10];
    for (uint64_t b = 0; block_ && b < std::min(in_at / block_, blocks_); ++b)
      make_filler(source_, static_cast<unsigned>(d1_), b * block_, filler);
    return in_at;
  }

 private:
  const uint64_t blocks_;
  FillerSource source_;
};

// Decoding pass 11: every group is L data bytes and g1 filler bytes; the
// tail is shorter than L, so the group count follows from the size alone.
class ShrinkStage : public ShapeStage {
 public:
  ShrinkStage(const coder& c, uint64_t n)
      : ShapeStage(c, c.engorde_digits(), n), groups_(block_ ? n / (block_ + d1_) : 0) {}

  uint64_t out_size() const override { return in_size() - groups_ * d1_; }

  Outcome report(coder& c, const Flow& f) override {
    c.paso = 11;
    Outcome outcome = Outcome::complete;
    if (!opening(c, f, "DECodificando el fichero :_", outcome)) return outcome;
    const uint64_t m = f.landed;
    const uint64_t removed = groups_ * d1_;
    ok_prefix("DECodificada clave 11 ");
    con::out() << " con " << m << " bytes " << " Y " << removed << " !!bytes DE PALO!!";
    con::eol();
    outcome = c.size_check(m + removed);
    c.tamano = m;
    return outcome;
  }

 protected:
  void consume(unsigned char* data, std::size_t n) override {
    const uint64_t group = block_ + d1_;
    while (n > 0) {
      if (pos_ >= groups_ * group) {
        out_.give(data, n);
        pos_ += n;
        return;
      }
      const uint64_t at = pos_ % group;
      const bool data_part = at < block_;
      const auto take = static_cast<std::size_t>(std::min<uint64_t>(n, (data_part ? block_ : group) - at));
      if (data_part) out_.give(data, take);
      pos_ += take;
      data += take;
      n -= take;
    }
  }

  bool restartable() const override { return true; }
  uint64_t restart_at(uint64_t want, uint64_t& out_at) override {
    return restart_in_units(want, out_at, block_ + d1_, block_, groups_);
  }

 private:
  const uint64_t groups_;
};

// Pass 12 in either direction. Each 2L window is written from byte `turn`
// on, then its first `turn` bytes; encoding turns by L + h1, decoding by
// L - h1, which adds up to a full turn. When h1 >= L both swap the halves.
class DisorderStage : public ShapeStage {
 public:
  DisorderStage(const coder& c, uint64_t n)
      : ShapeStage(c, c.desorden_digits(), n),
        encoding_(c.dir == Direction::encode),
        turn_(d1_ >= block_ ? block_ : encoding_ ? block_ + d1_ : block_ - d1_),
        windows_(block_ ? n / block_ / 2 : 0) {}

  uint64_t hold() const override { return windows_ > 0 ? turn_ : 0; }

  void run_from(InFile& in) override {
    const uint64_t window = 2 * block_;
    const auto pass_on = [&](unsigned char* piece, std::size_t got, uint64_t) { out_.give_copy(piece, got); };
    for (uint64_t pos = 0; pos < windows_ * window; pos += window)
      if (!read_run(in, pos + turn_, window - turn_, pass_on) || !read_run(in, pos, turn_, pass_on)) return;
    read_run(in, windows_ * window, in_size() - windows_ * window, pass_on);
  }

  Outcome report(coder& c, const Flow& f) override {
    c.paso = 12;
    if (!encoding_) c.tamano = in_size();
    Outcome outcome = Outcome::complete;
    // Decoding announces itself with the encoding words too.
    if (!opening(c, f, "Codificando el fichero :_", outcome)) return outcome;
    const uint64_t m = f.landed;
    ok_prefix(encoding_ ? "Codificado clave 12 " : "DECodificada clave 12 ");
    con::out() << " con " << m << " bytes " << " Desordenada en " << windows_ << " veces";
    con::eol();
    outcome = c.size_check(m);
    if (encoding_) cleanup_notice();
    return outcome;
  }

 protected:
  void consume(unsigned char* data, std::size_t n) override {
    const uint64_t window = 2 * block_;
    while (n > 0) {
      if (pos_ >= windows_ * window) {
        out_.give(data, n);
        pos_ += n;
        return;
      }
      const uint64_t at = pos_ % window;
      if (at == 0 && n >= window && window <= Emitter::kSize) {
        const std::size_t whole = turn_whole(data, n);
        data += whole;
        n -= whole;
        continue;
      }
      if (at < turn_) {
        // The window's first `turn` bytes wait for the rest of it.
        if (!held_) held_ = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(turn_));
        const auto take = static_cast<std::size_t>(std::min<uint64_t>(n, turn_ - at));
        std::memcpy(held_.get() + at, data, take);
        pos_ += take;
        data += take;
        n -= take;
        continue;
      }
      const auto take = static_cast<std::size_t>(std::min<uint64_t>(n, window - at));
      out_.give(data, take);
      pos_ += take;
      data += take;
      n -= take;
      if (pos_ % window == 0) out_.give_copy(held_.get(), static_cast<std::size_t>(turn_));
    }
  }

  bool restartable() const override { return true; }
  uint64_t restart_at(uint64_t want, uint64_t& out_at) override {
    return restart_in_units(want, out_at, 2 * block_, 2 * block_, windows_);
  }

 private:
  // The whole windows at the start of `data`, each turned with two copies
  // straight into the output; returns the bytes used.
  std::size_t turn_whole(const unsigned char* data, std::size_t n) {
    const auto window = static_cast<std::size_t>(2 * block_);
    const auto turn = static_cast<std::size_t>(turn_);
    const uint64_t left = windows_ - pos_ / window;
    std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(n / window, left));
    const std::size_t used = count * window;
    while (count > 0) {
      std::size_t room = 0;
      unsigned char* to = out_.room(std::min(count * window, Emitter::kSize), room);
      const std::size_t fit = room / window;
      if (fit == 0) {
        out_.flush();
        continue;
      }
      for (std::size_t w = 0; w < fit; ++w, data += window, to += window) {
        std::memcpy(to, data + turn, window - turn);
        std::memcpy(to + window - turn, data, turn);
      }
      out_.commit(fit * window);
      count -= fit;
    }
    pos_ += used;
    return used;
  }

  const bool encoding_;
  const uint64_t turn_;
  const uint64_t windows_;
  std::unique_ptr<unsigned char[]> held_;
};

}  // namespace

void set_filler_clock(uint32_t (*seconds)()) { g_clock = seconds ? seconds : clock_seconds; }

std::unique_ptr<Stage> growth_stage(const coder& c, uint64_t n) {
  if (c.dir == Direction::encode) return std::make_unique<GrowthStage>(c, n);
  return std::make_unique<ShrinkStage>(c, n);
}

std::unique_ptr<Stage> disorder_stage(const coder& c, uint64_t n) { return std::make_unique<DisorderStage>(c, n); }

namespace {

int one_stage(coder& c, int pass, const char* first, const char* second,
              std::unique_ptr<Stage> (*make)(const coder&, uint64_t)) {
  const Route r = route(c.dir, pass);
  return run_one_stage(c, file_of(c, r.from, first, second), file_of(c, r.to, first, second),
                       [&](uint64_t n) { return make(c, n); });
}

}  // namespace

int codifica::codifica_clave11(const char* first, const char* second) {
  return one_stage(*this, 11, first, second, growth_stage);
}

int codifica::codifica_clave12(const char* first, const char* second) {
  return one_stage(*this, 12, first, second, disorder_stage);
}

int decodifica::decodifica_clave12(const char* first, const char* second) {
  return one_stage(*this, 12, first, second, disorder_stage);
}

int decodifica::decodifica_clave11(const char* first, const char* second) {
  return one_stage(*this, 11, first, second, growth_stage);
}

}  // namespace qvx
