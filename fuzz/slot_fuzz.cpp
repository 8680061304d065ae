// A key-book slot from arbitrary bytes, read by the engine and by the
// panel: both must see the same record, and nothing derived from it (view,
// desorden text, a rewrite) may misbehave.
#include <cmath>
#include <cstring>
#include <sstream>

#include "console/console.h"
#include "keybook/base.h"
#include "bookformat/digits.h"
#include "bookformat/slot.h"
#include "keybook_access.h"
#include "sandbox.h"

namespace {

bool same_number(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static qvxfuzz::Sandbox sandbox;
  using namespace qvx;

  // The engine on the bytes as given (a short slot reads as NUL-padded).
  KeyRecord r;
  std::vector<std::string> messages;
  read_slot(data, size, r, messages);

  qvx::Slot padded{};
  std::memcpy(padded.data(), data, std::min(size, kSlotSize));
  qvxfuzz::put_file("book.kb", padded.data(), padded.size());
  auto scan = qvxpanel::load_by_number("book.kb", 1);
  if (!scan || scan->slot != 1) std::abort();
  const qvxpanel::RecordTexts& t = scan->texts;
  if (t.nombre != r.nombre) std::abort();
  for (int k = 1; k <= 10; ++k)
    if (t.claves[static_cast<std::size_t>(k - 1)] != r.clave(k)) std::abort();
  const qvx::KeyRecord p = qvxpanel::to_record(t);
  if (!same_number(p.engorde, r.engorde) || !same_number(p.desorden, r.desorden)) std::abort();

  // What the engine derives from a record read: all defined for any value.
  const Digits e = ecvt10(r.engorde);
  const Digits d = ecvt10(r.desorden);
  if (e.text.size() != 10 || d.text.size() != 10) std::abort();
  (void)desorden_text(r);
  std::istringstream in;
  std::ostringstream out;
  con::bind(in, out);
  con::out() << r;
  con::restore();

  // Written back, the texts read again unchanged.
  std::vector<std::string> write_messages;
  const qvx::Slot again = write_slot(r, write_messages);
  KeyRecord r2;
  std::vector<std::string> m2;
  read_slot(again.data(), again.size(), r2, m2);
  if (r2.nombre != r.nombre) std::abort();
  for (int k = 1; k <= 10; ++k)
    if (r2.clave(k) != r.clave(k)) std::abort();
  return 0;
}
