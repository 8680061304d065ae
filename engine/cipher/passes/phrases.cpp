#include "cipher/passes/phrases.h"

#include <string_view>

#include "cipher/passes/exchange.h"

namespace qvx {

namespace {

// Letters, digits and spaces only; each of the length its pass's row gives.
constexpr std::string_view kPhrases[10] = {
    "En un lugar de la sierra guardaba el molinero 7 sacos de trigo y una llave de hierro bajo la "
    "piedra del horno viejo del patio",
    "La niebla de la manana cubre el puerto y 3 barcas salen al alba para volver con la marea "
    "cuando suena la campana real",
    "Cuarenta y 2 olivos crecen junto al camino del rio donde el pastor cuenta sus 30 ovejas antes "
    "de que caiga la noche",
    "Bajo el puente de piedra pasa el agua clara del deshielo y los ninos lanzan 9 barquitos de "
    "papel que nadie vuelve a ver jamas",
    "El relojero del barrio desmonta cada manana 5 relojes de bolsillo y anota en su cuaderno los "
    "minutos que pierde cada cual",
    "Sobre la mesa del estudio quedaron 18 cartas sin abrir un tintero seco y el mapa de una isla "
    "que no sale en ningun atlas",
    "Cuando el tren de las 6 cruza la llanura los girasoles parecen girar para mirarlo y el "
    "maquinista saluda con su gorra azul 4",
    "La abuela guarda en el arcon 4 mantas de lana una caja de botones y las recetas escritas a "
    "lapiz que nadie sabe leer ya",
    "En la plaza mayor el afinador de pianos prueba 1 nota cada hora y los vecinos apuestan cual "
    "sera la siguiente nota en sonar",
    "Al final del verano 10 golondrinas se posan en el cable del telegrafo y el cartero las cuenta "
    "antes de salir con el correo 31",
};

constexpr bool lengths_match() {
  for (std::size_t i = 0; i < kExchangeTable.size(); ++i)
    if (kPhrases[i].size() != kExchangeTable[i].phrase_length) return false;
  return true;
}
static_assert(lengths_match(), "a built-in phrase has the wrong length");

}  // namespace

std::string builtin_phrase(int pass) { return std::string(kPhrases[pass - 13]); }

}  // namespace qvx
