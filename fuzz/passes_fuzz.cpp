// Every pass family as a round trip: an arbitrary key record (any engorde
// and desorden, non-finite ones included), texts, confirmation bytes and
// data; decoding what a pass encoded must give the data back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>

#include "cipher/passes/coder.h"
#include "cipher/passes/pass_table.h"
#include "console/console.h"
#include "sandbox.h"

namespace {

using namespace qvx;
using Bytes = std::vector<unsigned char>;

// Any double, NaN and infinities included, half of the time.
double any_double(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return in.ConsumeFloatingPoint<double>();
  uint64_t bits = in.ConsumeIntegral<uint64_t>();
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::optional<std::string> maybe_text(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return std::nullopt;
  return in.ConsumeRandomLengthString(300);
}

const char* c_str(const std::optional<std::string>& t) { return t ? t->c_str() : nullptr; }

void write(const char* name, const Bytes& b) { qvxfuzz::put_file(name, b.data(), b.size()); }

// What decoding is compared on must come from decoding alone, not be the
// encoder's input left in place.
void unwritten(const char* name) { std::remove(name); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static qvxfuzz::Sandbox sandbox;
  sandbox.clear();
  FuzzedDataProvider in(data, size);

  KeyRecord record;
  record.nombre = in.ConsumeRandomLengthString(19);
  for (int k = 1; k <= 10; ++k) record.clave(k) = in.ConsumeRandomLengthString(64);
  record.engorde = any_double(in);
  record.desorden = any_double(in);
  // As a slot can give them: one digit, and two characters read by atoi.
  record.signo = in.ConsumeIntegralInRange<int32_t>(0, 9);
  record.posicion = in.ConsumeIntegralInRange<int32_t>(-9, 99);
  const int pass = in.ConsumeIntegralInRange(1, 23);
  const std::optional<std::string> texts[3] = {maybe_text(in), maybe_text(in), maybe_text(in)};
  const bool confirmed = in.ConsumeBool();
  const std::string confirmation = in.ConsumeRandomLengthString(4096);
  const std::string rest = in.ConsumeRemainingBytesAsString();
  const Bytes plain(rest.begin(), rest.end());

  std::istringstream no_input;
  std::ostringstream shown;
  con::bind(no_input, shown);

  codifica enc("src", "dst");
  decodifica dec("dst", "dst");
  static_cast<KeyRecord&>(enc) = record;
  static_cast<KeyRecord&>(dec) = record;
  const char* w1 = "qvx01.qvx";
  const char* w2 = "qvx02.qvx";
  const char* compared;

  // Decoding writes back where encoding read (pass 1: into the destination).
  const char* read = file_of(enc, route(Direction::encode, pass).from, w1, w2);
  const char* restored = file_of(dec, route(Direction::decode, pass).to, w1, w2);
  if (pass <= 10) {
    write(read, plain);
    compared = restored;
    if (pass <= 8) {
      (enc.*kEncode1to8[pass - 1])(c_str(texts[0]), w1, w2);
      unwritten(compared);
      (dec.*kDecode1to8[pass - 1])(c_str(texts[0]), w1, w2);
    } else if (pass == 9) {
      enc.codifica_clave9(c_str(texts[0]), c_str(texts[1]), c_str(texts[2]), w1, w2);
      unwritten(compared);
      dec.decodifica_clave9(c_str(texts[0]), c_str(texts[1]), c_str(texts[2]), w1, w2);
    } else {
      enc.codifica_clave10(c_str(texts[0]), c_str(texts[1]), c_str(texts[2]), w1, w2);
      unwritten(compared);
      dec.decodifica_clave10(c_str(texts[0]), c_str(texts[1]), c_str(texts[2]), w1, w2);
    }
  } else if (pass <= 12) {
    // Growth and disorder go together: 11 then 12, undone as 12 then 11.
    write(w2, plain);
    compared = w2;
    enc.codifica_clave11(w1, w2);
    enc.codifica_clave12(w1, w2);
    unwritten(w1);
    dec.decodifica_clave12(w1, w2);
    dec.decodifica_clave11(w1, w2);
  } else if (pass <= 22) {
    write(read, plain);
    compared = restored;
    (enc.*kEncode11to22[pass - 11])(w1, w2);
    unwritten(compared);
    (dec.*kDecode11to22[pass - 11])(w1, w2);
  } else {
    // Encoding writes the destination, decoding reads it as its origin.
    qvxfuzz::put_file("conf", confirmation.data(), confirmation.size());
    write(w2, plain);
    compared = w2;
    enc.codifica_clave23(confirmed ? "conf" : nullptr, w1, w2);
    unwritten(compared);
    dec.decodifica_clave23(confirmed ? "conf" : nullptr, w1, w2);
  }
  con::restore();
  if (qvxfuzz::get_file(compared) != plain) {
    std::fprintf(stderr, "pass %d does not round-trip %zu bytes\n", pass, plain.size());
    std::abort();
  }
  return 0;
}
