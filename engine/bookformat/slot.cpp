#include "bookformat/slot.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "bookformat/digits.h"

namespace qvx {
namespace {

// A text field up to its first NUL, as the C strings it came from.
std::string_view c_text(const std::string& s) {
  std::size_t n = s.find('\0');
  return n == std::string::npos ? std::string_view(s) : std::string_view(s).substr(0, n);
}

// text, NUL, filler up to the width; an over-long text is cut to width - 1.
void put_field(unsigned char* at, std::size_t width, std::string_view text, char filler) {
  std::size_t n = std::min(text.size(), width - 1);
  std::memcpy(at, text.data(), n);
  at[n] = '\0';
  std::memset(at + n + 1, filler, width - n - 1);
}

std::string number_text(double v, bool with_sign_and_point) {
  Digits d = ecvt10(v);
  std::string t = d.text;
  if (with_sign_and_point) {
    t += '.';
    t += d.negative ? '1' : '0';
    t += std::to_string(d.decpt);
  }
  return t;
}

// Bytes from `from` up to and including the first NUL; `consumed` counts
// them, or is one past the slot when no NUL follows.
std::string read_to_nul(const unsigned char* s, std::size_t from, std::size_t& consumed) {
  const unsigned char* p = s + from;
  const void* nul = std::memchr(p, 0, kSlotSize - from);
  std::size_t len = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p)
                        : kSlotSize - from;
  consumed = len + 1;
  return std::string(reinterpret_cast<const char*>(p), len);
}

}  // namespace

Slot write_slot(const KeyRecord& r, std::vector<std::string>& messages) {
  Slot s{};
  std::string_view name = c_text(r.nombre);
  if (name.size() > kNameCapacity) messages.emplace_back("error de longitud en nombre");
  put_field(s.data(), kNameWidth, name, '_');
  for (int k = 1; k <= 10; ++k) {
    std::string_view key = c_text(r.clave(k));
    if (key.size() > kKeyCapacity) messages.push_back("error de longitud en clave" + std::to_string(k));
    put_field(s.data() + kNameWidth + (k - 1) * kKeyWidth, kKeyWidth, key, '_');
  }
  std::string e = r.engorde == 0.0 ? "0" : number_text(r.engorde, false);
  if (e.size() > kEngordeWidth - 1) messages.emplace_back("error de longitud  en engorde");
  put_field(s.data() + kEngordeOffset, kEngordeWidth, e, ',');
  std::string d = r.desorden == 0.0 ? "0" : number_text(r.desorden, true);
  // 18, not the field's 20: the digits, sign and position without the
  // point, as stored books were checked (a finite value never exceeds it).
  if (d.size() - (r.desorden == 0.0 ? 0 : 1) > 18) messages.emplace_back("error de longitud  en desorden");
  put_field(s.data() + kDesordenOffset, kDesordenWidth, d, '-');
  return s;
}

void read_slot(const unsigned char* bytes, std::size_t available, KeyRecord& r,
               std::vector<std::string>& messages) {
  Slot s{};
  std::memcpy(s.data(), bytes, std::min(available, kSlotSize));
  std::size_t consumed = 0;
  auto text_field = [&](std::size_t at, std::size_t width, std::string& into) {
    std::string t = read_to_nul(s.data(), at, consumed);
    if (consumed > width) messages.emplace_back("Error en Lectura");
    if (t.size() > width - 1) t.resize(width - 1);
    into = std::move(t);
  };
  text_field(0, kNameWidth, r.nombre);
  for (int k = 1; k <= 10; ++k) text_field(kNameWidth + (k - 1) * kKeyWidth, kKeyWidth, r.clave(k));

  std::string e = read_to_nul(s.data(), kEngordeOffset, consumed);
  if (consumed > kEngordeWidth) messages.emplace_back("Error en Lectura");
  r.engorde = std::strtod(e.c_str(), nullptr);
  if (r.engorde == 0.0) messages.emplace_back("Error en conversion");

  std::string d = read_to_nul(s.data(), kDesordenOffset, consumed);
  // Once or twice for a damaged desorden (kDesordenFirstCheck).
  if (consumed > kDesordenFirstCheck) messages.emplace_back("Error en Lectura");
  r.desorden = std::strtod(d.c_str(), nullptr);
  if (r.desorden == 0.0) messages.emplace_back("Error en conversion");
  if (consumed > kDesordenWidth) messages.emplace_back("Error en Lectura");

  // Sign digit and point position sit right after the ten digits and the
  // point (+ 11), wherever the text's own point fell: a record written by
  // write_slot always has it there.
  const unsigned char* tail = s.data() + kDesordenOffset + 11;
  char sign[2] = {static_cast<char>(tail[0]), '\0'};
  r.signo = std::atoi(sign);
  char pos[3] = {static_cast<char>(tail[1]), static_cast<char>(tail[2]), '\0'};
  r.posicion = std::atoi(pos);
}

Slot deleted_slot() {
  Slot s;
  s.fill('n');
  s[kSlotSize - 1] = '\0';
  return s;
}

bool looks_deleted(const unsigned char* bytes, std::size_t available) {
  return available >= 3 && bytes[0] == 'n' && bytes[1] == 'n' && bytes[2] == 'n';
}

bool is_free_slot(const unsigned char* bytes, std::size_t available) {
  if (available < kSlotSize - 1) return false;
  return std::all_of(bytes, bytes + kSlotSize - 1, [](unsigned char c) { return c == 'n'; });
}

std::vector<std::string_view> slot_rows(const unsigned char* bytes, std::size_t available) {
  static constexpr std::size_t kRows[] = {kNameWidth, kKeyWidth,     kKeyWidth,     kKeyWidth, kKeyWidth,
                                          kKeyWidth,  kKeyWidth,     kKeyWidth,     kKeyWidth, kKeyWidth,
                                          kKeyWidth,  kEngordeWidth, kDesordenWidth};
  std::vector<std::string_view> rows;
  std::size_t at = 0;
  for (std::size_t row : kRows) {
    const std::size_t shown = at < available ? std::min(row, available - at) : 0;
    rows.emplace_back(reinterpret_cast<const char*>(bytes) + (shown ? at : 0), shown);
    at += row;
  }
  return rows;
}

std::string record_view(const KeyRecord& r) {
  std::ostringstream v;
  v << "\nNombre de la Clave Maestra: " << r.nombre.c_str();
  for (int k = 1; k <= 10; ++k) v << "\nclave" << k << ": " << r.clave(k).c_str();
  v << "\nengorde: " << std::fixed << std::setprecision(0) << r.engorde;
  v << "\ndesorden: " << std::fixed << std::setprecision(3) << r.desorden << '\n';
  return v.str();
}

std::string desorden_text(const KeyRecord& r) {
  Digits d = ecvt10(r.desorden);
  std::string t(1, r.signo != 0 ? '-' : '+');
  if (r.posicion > 10) {
    t += d.text;
    t.append(static_cast<std::size_t>(r.posicion - 10), '0');
    t += '.';
  } else if (r.posicion >= 0) {
    t += d.text.substr(0, static_cast<std::size_t>(r.posicion));
    t += '.';
    t += d.text.substr(static_cast<std::size_t>(r.posicion));
  } else {
    // Below 0.1 the point stands before leading zeros: -0.001234 is "-.001234000000".
    t += '.';
    t.append(static_cast<std::size_t>(-r.posicion), '0');
    t += d.text;
  }
  return t;
}

}  // namespace qvx
