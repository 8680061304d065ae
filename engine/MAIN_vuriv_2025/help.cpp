#include "MAIN_vuriv_2025/help.h"

#include <string>

#include "console/console.h"

namespace qvx {
namespace {

void say(const std::string& text) {
  con::out() << text;
  con::eol();
}

void pause_then_clear(const char* prompt) {
  con::eol();
  con::eol();
  con::out() << prompt;
  con::out().flush();
  con::wait_enter();
  con::cls();
}

void arguments_screen() {
  say("ARGUMENTOS:");
  say("Num 1: Libro de Claves o Fichero de claves a abrir.");
  say("Num 2: Numero de posicion de la clave.(Int)");
  say("Num 3: 'c' o 'C' para codificar y 'd' o 'D' para Decodificar");
  say("Num 4: Fichero Origen");
  say("Num 5: Fichero Destino. (Lo sobreescribe si existe si no lo crea)");
  say("Num 6: Fichero de confirmacion o Clave 23.");
  say("       (Si no lo encuentra o no existe no procesa la clave 23)");
  for (int k = 7; k <= 14; ++k)
    say("Num " + std::to_string(k) + ": Parametro de Personalizacion para Clave " +
        std::to_string(k - 6) + " . (300 Kb maximo.)");
  struct Triple { int num; char letter; int pass; const char* limit; };
  static constexpr Triple kTriples[] = {
      {15, 'A', 9, "300"}, {16, 'B', 9, "404"},  {17, 'C', 9, "304"},
      {18, 'A', 10, "300"}, {19, 'B', 10, "300"}, {20, 'C', 10, "300"},
  };
  for (const Triple& t : kTriples)
    say("Num " + std::to_string(t.num) + ": Parametro de Personalizacion " + t.letter +
        " para Clave " + std::to_string(t.pass) + " . (" + t.limit + " Kb maximo.)");
  pause_then_clear("_______________________________pulse retorno para Continuar...");
}

void returns_screen() {
  con::eol();
  say("RETORNOS DEL PROGRAMA UTILIZADO CON PARAMETROS");
  say(std::string(70, '_'));
  say(".-Retorna 0 en caso de no hacer nada.- (Pantalla de ? Ayuda)");
  say(".-Retorna 1 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-");
  say("            (finaliza el programa-llamado con mas de dos parametros)");
  say(".-Retorna 2 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-");
  say("            y seleccionar en el el numero de clave del parametro 2.- (finaliza)");
  say(".-Retorna 3 en caso de Decodificar con parametros .-");
  say(".-Retorna 4 en caso de Codificar con parametros .-");
  say(".-Retorna 5 en caso de ejecutarse el programa normal en consola .-");
  say("            (llamado el programa sin parametros)");
  say(".-Retorna 6 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-");
  say("            (el programa entra en pantalla secundaria de Claves)");
  say("            llamado con uno o dos parametros");
  say(".-Retorna 7 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-");
  say("            y seleccionar en el el numero de clave del parametro 2.- ");
  say("            (el programa entra en pantalla secundaria de Claves)");
  say("            llamado con uno o dos parametros");
  say("Nota: Si se pasa parametro como 0 no lo utiliza y coje el que tiene por defecto el programa");
  pause_then_clear("_________________________pulse retorno para Continuar...");
}

void notes_screen() {
  con::eol();
  say("Nota: Parametros Obligatorios Hasta el 5");
  say("Nota: Si no se pasan parametros de Personalizacion se cojen los que tiene por defecto el programa");
  say(" Nota: Si el parametro 1 o fichero de Claves no existe, crea un fichero de Claves vacio");
  say(" Nota: Si el parametro 2 o Numero de Clave no existe o no la encuentra no lo selecciona");
  say(" Nota: Si se llama al programa con uno o dos parametros entra en el Menu Secundario de Claves");
  say(" Nota: Si se llama al programa con mas de dos parametros el programa");
  say("  termina al finalizar las ordenes de comando");
  say(" Nota: Si se llama al programa sin parametros se ejecuta en modo consola");
  say(" (utilizando los 14 parametros de personalizacion por defecto del programa)");
  say(" y entrando en la pantalla principal del programa en modo consola");
  say("Nota: Para codificar y decodificar correctamente con parametros ");
  say(" son obligatorios los cinco primeros parametros");
  say(" Nota: Del parametro 7 al 20 son las 14 Constantes de Personalizacion del QVX version 4");
  say(" Importante: Al codificar con parametros del 7 al 20 (Constantes de ");
  say("  Personalizacion),para decodificar correctamente tienen que ser pasados ");
  con::out() << "  los parametros, exactamente igual que al codificar (o a la inversa)";
  con::out().flush();
}

}  // namespace

void show_help() {
  arguments_screen();
  returns_screen();
  notes_screen();
}

void show_usage() {
  for (const char* text : {
           "Uso: qvx7 [LIBRO [REGISTRO [c|d ORIGEN DESTINO [CONFIRMACION [TEXTO...]]]]]",
           "     qvx7 [OPCIONES] LIBRO REGISTRO c|d ORIGEN DESTINO [CONFIRMACION [TEXTO...]]",
           "     qvx7 --help | --version",
           "",
           "  sin parametros (o 3 o 4)   menu principal en consola",
           "  LIBRO                      menu del libro de claves (ofrece crearlo si no existe)",
           "  LIBRO REGISTRO             menu del libro de claves con ese registro seleccionado",
           "  LIBRO REGISTRO c|d ...     codifica o decodifica sin menus ni teclado",
           "  ? h H a A *                las tres pantallas de ayuda (en la shell: '?')",
           "",
           "Parametros:",
           "  1      libro de claves",
           "  2      numero de registro",
           "  3      c o C codifica, d o D decodifica",
           "  4      fichero origen",
           "  5      fichero destino (se crea o se sobreescribe)",
           "  6      fichero de confirmacion, clave 23 (si no se abre, no procesa la clave 23)",
           "  7-14   parametros de personalizacion de las claves 1 a 8",
           "  15-17  parametros A, B y C de la clave 9",
           "  18-20  parametros A, B y C de la clave 10",
           "  Un parametro \"0\" no se usa y la clave toma el suyo por defecto; si el",
           "  ultimo dado de 15-17 o de 18-20 es \"0\", la clave 9 o la 10 no se procesa.",
           "  Para decodificar: el mismo registro y los mismos parametros 6 a 20.",
           "",
           "Opciones, antes de los parametros (solo para codificar o decodificar):",
           "  --script         nada en la salida estandar (salvo los datos con -), cada",
           "                   error en una linea en la salida de errores, y los estados",
           "                   0 hecho, 1 nada hecho, 8 fallo, 9 comprobacion fallida",
           "  --check          al codificar escribe tambien DESTINO.qvxchk, que dice al",
           "                   decodificar si registro, textos y confirmacion son los de",
           "                   la codificacion; al decodificar exige ORIGEN.qvxchk (sin",
           "                   la opcion se comprueba si esta junto al origen)",
           "  --sync           no termina hasta que el destino (y su comprobacion) estan",
           "                   en el disco",
           "  --texts FICHERO  los parametros 7 a 20 de FICHERO, uno por linea (asi no",
           "                   se ven con ps); no se dan entonces en la linea de ordenes",
           "  ORIGEN -         lee la entrada estandar",
           "  DESTINO -        escribe en la salida estandar; los mensajes van entonces",
           "                   a la salida de errores",
           "",
           "Ficheros de trabajo: qvx01.qvx y qvx02.qvx en el directorio actual; con seis",
           "o mas parametros, junto al origen (ORIGENqvx01.qvx y ORIGENqvx02.qvx). Se",
           "sobreescriben y se borran al terminar. Otra ejecucion que necesite los mismos",
           "ficheros de trabajo espera (\"Esperando a que termine otro proceso ...\").",
           "",
           "El destino se escribe junto a el, privado hasta que esta completo; un enlace",
           "en su lugar se sustituye y no se sigue; uno de otro usuario no se reescribe.",
           "Si su carpeta no admite un fichero nuevo no se procesa: elija otro destino.",
           "",
           "Si el destino no se pone en su sitio, la ultima linea es \"Error no se ha",
           "escrito el Destino ...\" y el estado 8; un destino anterior queda como estaba.",
           "Una senal de parada que llega con el destino ya en su sitio borra los ficheros",
           "de trabajo y termina el programa por esa senal, aunque el destino este completo.",
           "",
           "Estados de salida:",
           "  0  nada hecho: ayuda, sin libro, o registro no seleccionable",
           "  2  operacion desconocida en el parametro 3",
           "  3  decodificado",
           "  4  codificado",
           "  5  se salio del menu principal",
           "  6  se salio del menu del libro de claves",
           "  7  se salio del menu del libro de claves con un registro seleccionado",
           "  8  la codificacion o decodificacion fallo: el destino no se puso en su sitio,",
           "     o no se pudo borrar un fichero de trabajo (el destino ya completo queda)",
           "  9  la comprobacion fallo: registro, textos o confirmacion distintos, o el",
           "     fichero codificado ha cambiado; no se escribio el destino",
           "",
           "Entorno: QVX_CHARSET=latin1 deja el texto en Latin-1 tambien en un terminal UTF-8.",
       })
    say(text);
}

void show_version() { say("qvx7 (QUORVEX) " QVX_VERSION); }

}  // namespace qvx
