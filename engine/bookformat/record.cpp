#include "bookformat/record.h"

namespace qvx {

namespace {
using Field = std::string KeyRecord::*;
constexpr Field kKeys[10] = {&KeyRecord::clave1, &KeyRecord::clave2, &KeyRecord::clave3,
                             &KeyRecord::clave4, &KeyRecord::clave5, &KeyRecord::clave6,
                             &KeyRecord::clave7, &KeyRecord::clave8, &KeyRecord::clave9,
                             &KeyRecord::clave10};
}  // namespace

std::string& KeyRecord::clave(int k) { return this->*kKeys[k - 1]; }
const std::string& KeyRecord::clave(int k) const { return this->*kKeys[k - 1]; }

}  // namespace qvx
