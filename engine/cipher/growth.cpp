// Passes 11 and 12 change the data's shape, not its byte values. Pass 11
// (growth) puts g1 filler bytes after every complete block of L bytes; pass 12
// (disorder) turns every pair of L-byte blocks. Where the filler stands and
// how far a pair turns follow from the key record and the file size alone, so
// decoding never looks at the filler's values.
//
// L can exceed 4 GiB (a negative posicion), so blocks and windows are never
// held in memory: the input is positioned and runs are streamed.
#include <ctime>

#include "cipher/coder.h"
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

uint32_t seconds_now() { return static_cast<uint32_t>(std::time(nullptr)); }

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

// The filler after the block that starts at `pos`.
void put_filler(OutFile& out, FillerSource& source, unsigned g1, uint64_t pos) {
  for (unsigned i = 0; i < 3 * g1; ++i) source.draw();
  const uint32_t r0 = source.draw();
  for (unsigned i = 0; i < g1; ++i) {
    const uint32_t w = source.draw() * 1421u + g1;
    const uint64_t s = uint64_t{w} + r0;
    out.put(s < (uint64_t{1} << 31) ? static_cast<unsigned char>(s) : 0);
  }
  source.reseed(static_cast<uint32_t>(pos + seconds_now() + r0));
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

// Bytes that reached the file so far; a full disk shows here, and the size
// checks compare against it.
uint64_t landed(OutFile& out) {
  out.flush();
  return out.written();
}

// Pass 12 in either direction. Each 2L window is written from byte `turn`
// on, then its first `turn` bytes; encoding turns by L + h1, decoding by
// L - h1, which adds up to a full turn. When h1 >= L both swap the halves.
int disorder(coder& c, const char* from, const char* to) {
  const bool encoding = c.dir == Direction::encode;
  c.paso = 12;
  InFile in(from);
  const uint64_t n = in.size();
  if (!encoding) c.tamano = n;
  OutFile out(to);
  const Digits h = c.desorden_digits();
  const uint64_t block = block_length(h, c.signo, c.posicion);
  if (!c.begin_pass(in, out, from, to, block != 0)) return 1;
  // Decoding announces itself with the encoding words too.
  c.start_line("Codificando el fichero :_");

  const uint64_t h1 = static_cast<uint64_t>(h.value(0));
  const uint64_t turn = h1 >= block ? block : encoding ? block + h1 : block - h1;
  const uint64_t window = 2 * block;
  const uint64_t windows = n / block / 2;
  for (uint64_t pos = 0; pos < windows * window; pos += window) {
    in.seek(pos + turn);
    copy_bytes(in, out, window - turn);
    in.seek(pos);
    copy_bytes(in, out, turn);
  }
  in.seek(windows * window);
  copy_bytes(in, out, n - windows * window);

  const uint64_t m = landed(out);
  ok_prefix(encoding ? "Codificado clave 12 " : "DECodificada clave 12 ");
  con::out() << " con " << m << " bytes " << " Desordenada en " << windows << " veces";
  con::eol();
  c.size_check(m);
  if (encoding) cleanup_notice();
  out.close();
  return 1;
}

}  // namespace

int codifica::codifica_clave11(const char* first, const char* second) {
  paso = 11;
  InFile in(second);
  const uint64_t n = in.size();
  tamano = n;
  OutFile out(first);
  const Digits g = engorde_digits();
  const uint64_t block = block_length(g, signo, posicion);
  if (!begin_pass(in, out, second, first, block != 0)) return 1;
  start_line("Codificando el fichero :_");

  const unsigned g1 = static_cast<unsigned>(g.value(0));
  FillerSource source(seconds_now());
  const uint64_t blocks = n / block;
  uint64_t filler = 0;
  for (uint64_t pos = 0; pos < blocks * block; pos += block) {
    copy_bytes(in, out, block);
    put_filler(out, source, g1, pos);
    filler += g1;
  }
  copy_bytes(in, out, n - blocks * block);

  // The size this pass meant to write: pass 12 measures what really landed
  // and the size check tells a short write apart.
  const uint64_t m = out.position();
  tamano = m;
  ok_prefix("Codificado clave 11 ");
  con::out() << " con " << m << " bytes " << " aumentado en " << filler << " bytes";
  con::eol();
  cleanup_notice();
  out.close();
  return 1;
}

int codifica::codifica_clave12(const char* first, const char* second) {
  return disorder(*this, first, second);
}

int decodifica::decodifica_clave12(const char* first, const char* second) {
  return disorder(*this, second, first);
}

int decodifica::decodifica_clave11(const char* first, const char* second) {
  paso = 11;
  InFile in(first);
  const uint64_t s = in.size();
  OutFile out(second);
  const Digits g = engorde_digits();
  const uint64_t block = block_length(g, signo, posicion);
  if (!begin_pass(in, out, first, second, block != 0)) return 1;
  start_line("DECodificando el fichero :_");

  // Every group is L data bytes and g1 filler bytes; the tail is shorter
  // than L, so the group count follows from the size alone.
  const uint64_t g1 = static_cast<uint64_t>(g.value(0));
  const uint64_t group = block + g1;
  const uint64_t groups = s / group;
  for (uint64_t pos = 0; pos < groups * group; pos += group) {
    in.seek(pos);
    copy_bytes(in, out, block);
  }
  in.seek(groups * group);
  copy_bytes(in, out, s - groups * group);
  const uint64_t removed = groups * g1;

  const uint64_t m = landed(out);
  ok_prefix("DECodificada clave 11 ");
  con::out() << " con " << m << " bytes " << " Y " << removed << " !!bytes DE PALO!!";
  con::eol();
  size_check(m + removed);
  tamano = m;
  out.close();
  return 1;
}

}  // namespace qvx
