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

}  // namespace qvx
