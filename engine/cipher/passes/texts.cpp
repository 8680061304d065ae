#include "cipher/passes/texts.h"

#include <string_view>

namespace qvx {
namespace {

struct Builtin {
  int pass;
  int letter;
  std::size_t length;  // every file encoded so far was made with this length
  std::string_view text;
};

constexpr Builtin kBuiltin[] = {
    {1, 0, 131,
         "El viento del Norte trae lluvia fina sobre los tejados de la villa vieja, y 7 gatos "
         "duermen junto a la estufa mientras cae la tarde"},
    {2, 0, 163,
         "Quien guarda un secreto en papel lo guarda dos veces; la tinta recuerda lo que la "
         "memoria olvida y 12 sellos de cera cierran el arca del archivero Mayor del pueblo"},
    {3, 0, 217,
         "Por el camino de los molinos pasan 123 carros cargados de trigo dorado, el molinero "
         "cuenta los sacos uno a uno y anota cada numero en su libro de cuentas, que guarda "
         "bajo llave en el arcon de roble junto a la chimenea"},
    {4, 0, 183,
         "En la biblioteca del puerto hay 400 estantes de madera oscura donde los marineros "
         "dejan cartas para sus familias, y el bibliotecario las ordena por fecha de llegada "
         "cada lunes al alba"},
    {5, 0, 271,
         "La Torre del Reloj marca las horas con 9 campanadas graves que se oyen desde el rio "
         "hasta las colinas, los pastores ajustan sus pasos al sonido y las ovejas vuelven al "
         "redil antes de que se ponga el sol detras de los montes azules que rodean todo el "
         "valle de Santa Marina"},
    {6, 0, 262,
         "Un cartografo paciente dibujo durante 9 inviernos el mapa completo de la costa, con "
         "cada cala, cada faro y cada roca sumergida y cuando termino el trabajo lo enrollo en "
         "un tubo de cobre y lo entrego al capitan del puerto para que ningun barco volviera a "
         "perderse"},
    {7, 0, 247,
         "Las abejas del huerto de Dona Elvira Ruiz producen miel de romero y tomillo, ella "
         "recoge 15 panales cada verano y reparte los tarros entre los vecinos del barrio "
         "alto, que a cambio le traen higos, nueces y pan recien hecho de la tahona de la "
         "plaza"},
    {8, 0, 111,
         "Tres llaves de hierro abren el cofre del escribano y solo 2 personas en todo el "
         "reino saben donde estan ocultas"},
    {9, 0, 149,
         "Sobre la mesa del taller hay 8 relojes desmontados y el relojero los revisa con la "
         "lupa mientras silba una cancion antigua de su tierra natal del Sur"},
    {9, 1, 385,
         "Al amanecer los pescadores salen del puerto en 4 barcas pintadas de azul y "
         "blanco\tcada una con el nombre de una santa escrito en la proa y regresan al "
         "mediodia con las redes llenas de sardinas y boquerones que las mujeres venden en la "
         "lonja entre gritos y risas mientras las gaviotas vuelan en circulos sobre los "
         "tejados del mercado esperando su parte del botin de la manana y la tarde"},
    {9, 2, 232,
         "El jardinero del palacio planta cada otono 300 bulbos de tulipan en los parterres "
         "del patio central y en primavera los visitantes llegan de todas las provincias para "
         "ver los colores rojo amarillo y violeta que cubren el suelo entero"},
    {10, 0, 55,
         "Cuatro caminos se cruzan en la plaza de la fuente vieja"},
    {10, 1, 37,
         "Once velas arden en la capilla del 16"},
    {10, 2, 161,
         "El herrero del pueblo forja 20 herraduras cada semana para los caballos de la posta "
         "y las cuelga en la pared de la fragua hasta que el correo las recoge el lunes"},
};

constexpr bool lengths_hold() {
  for (const Builtin& b : kBuiltin)
    if (b.text.size() != b.length) return false;
  return true;
}
// Encoded files depend on every byte of these texts, lengths included.
static_assert(lengths_hold(), "a built-in text lost its length");

}  // namespace

std::string builtin_text(int pass, int letter) {
  for (const Builtin& b : kBuiltin)
    if (b.pass == pass && b.letter == letter) return std::string(b.text);
  return std::string();
}

}  // namespace qvx
