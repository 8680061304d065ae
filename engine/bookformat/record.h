// One master key: a name, ten keys and the two numbers the cipher grows its
// block lengths and digit terms from.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

constexpr std::size_t kNameCapacity = 19;  // characters, without the NUL
constexpr std::size_t kKeyCapacity = 64;

struct KeyRecord {
  std::string nombre;
  std::string clave1, clave2, clave3, clave4, clave5, clave6, clave7, clave8, clave9, clave10;
  double engorde = 0.0;
  double desorden = 0.0;
  int32_t signo = 0;     // sign of the desorden as stored: 0 positive, 1 negative
  int32_t posicion = 0;  // decimal-point position of the desorden as stored

  // Key k, 1 to 10.
  std::string& clave(int k);
  const std::string& clave(int k) const;

  void clear() { *this = KeyRecord{}; }
};

}  // namespace qvx
