// The engine's command line: help screens, dispatch and exit statuses.
#include <gtest/gtest.h>

#include "MAIN_vuriv_2025/cli.h"
#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;

std::string help_text() {
  std::string s = "ARGUMENTOS:\n"
                  "Num 1: Libro de Claves o Fichero de claves a abrir.\n"
                  "Num 2: Numero de posicion de la clave.(Int)\n"
                  "Num 3: 'c' o 'C' para codificar y 'd' o 'D' para Decodificar\n"
                  "Num 4: Fichero Origen\n"
                  "Num 5: Fichero Destino. (Lo sobreescribe si existe si no lo crea)\n"
                  "Num 6: Fichero de confirmacion o Clave 23.\n"
                  "       (Si no lo encuentra o no existe no procesa la clave 23)\n"
                  "Num 7: Parametro de Personalizacion para Clave 1 . (300 Kb maximo.)\n"
                  "Num 8: Parametro de Personalizacion para Clave 2 . (300 Kb maximo.)\n"
                  "Num 9: Parametro de Personalizacion para Clave 3 . (300 Kb maximo.)\n"
                  "Num 10: Parametro de Personalizacion para Clave 4 . (300 Kb maximo.)\n"
                  "Num 11: Parametro de Personalizacion para Clave 5 . (300 Kb maximo.)\n"
                  "Num 12: Parametro de Personalizacion para Clave 6 . (300 Kb maximo.)\n"
                  "Num 13: Parametro de Personalizacion para Clave 7 . (300 Kb maximo.)\n"
                  "Num 14: Parametro de Personalizacion para Clave 8 . (300 Kb maximo.)\n"
                  "Num 15: Parametro de Personalizacion A para Clave 9 . (300 Kb maximo.)\n"
                  "Num 16: Parametro de Personalizacion B para Clave 9 . (404 Kb maximo.)\n"
                  "Num 17: Parametro de Personalizacion C para Clave 9 . (304 Kb maximo.)\n"
                  "Num 18: Parametro de Personalizacion A para Clave 10 . (300 Kb maximo.)\n"
                  "Num 19: Parametro de Personalizacion B para Clave 10 . (300 Kb maximo.)\n"
                  "Num 20: Parametro de Personalizacion C para Clave 10 . (300 Kb maximo.)\n"
                  "\n\n_______________________________pulse retorno para Continuar..."
                  "\nRETORNOS DEL PROGRAMA UTILIZADO CON PARAMETROS\n" +
                  std::string(70, '_') + "\n" +
                  ".-Retorna 0 en caso de no hacer nada.- (Pantalla de ? Ayuda)\n"
                  ".-Retorna 1 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-\n"
                  "            (finaliza el programa-llamado con mas de dos parametros)\n"
                  ".-Retorna 2 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-\n"
                  "            y seleccionar en el el numero de clave del parametro 2.- (finaliza)\n"
                  ".-Retorna 3 en caso de Decodificar con parametros .-\n"
                  ".-Retorna 4 en caso de Codificar con parametros .-\n"
                  ".-Retorna 5 en caso de ejecutarse el programa normal en consola .-\n"
                  "            (llamado el programa sin parametros)\n"
                  ".-Retorna 6 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-\n"
                  "            (el programa entra en pantalla secundaria de Claves)\n"
                  "            llamado con uno o dos parametros\n"
                  ".-Retorna 7 en caso de abrir un Fichero de Claves Maestras con el parametro 1.-\n"
                  "            y seleccionar en el el numero de clave del parametro 2.- \n"
                  "            (el programa entra en pantalla secundaria de Claves)\n"
                  "            llamado con uno o dos parametros\n"
                  "Nota: Si se pasa parametro como 0 no lo utiliza y coje el que tiene por defecto el programa\n"
                  "\n\n_________________________pulse retorno para Continuar..."
                  "\nNota: Parametros Obligatorios Hasta el 5\n"
                  "Nota: Si no se pasan parametros de Personalizacion se cojen los que tiene por defecto el programa\n"
                  " Nota: Si el parametro 1 o fichero de Claves no existe, crea un fichero de Claves vacio\n"
                  " Nota: Si el parametro 2 o Numero de Clave no existe o no la encuentra no lo selecciona\n"
                  " Nota: Si se llama al programa con uno o dos parametros entra en el Menu Secundario de Claves\n"
                  " Nota: Si se llama al programa con mas de dos parametros el programa\n"
                  "  termina al finalizar las ordenes de comando\n"
                  " Nota: Si se llama al programa sin parametros se ejecuta en modo consola\n"
                  " (utilizando los 14 parametros de personalizacion por defecto del programa)\n"
                  " y entrando en la pantalla principal del programa en modo consola\n"
                  "Nota: Para codificar y decodificar correctamente con parametros \n"
                  " son obligatorios los cinco primeros parametros\n"
                  " Nota: Del parametro 7 al 20 son las 14 Constantes de Personalizacion del QVX version 4\n"
                  " Importante: Al codificar con parametros del 7 al 20 (Constantes de \n"
                  "  Personalizacion),para decodificar correctamente tienen que ser pasados \n"
                  "  los parametros, exactamente igual que al codificar (o a la inversa)";
  return s;
}

TEST(CommandLine, HelpScreens) {
  for (const char* ask : {"?", "h", "H", "a", "A", "*", " x", "help"}) {
    TempDir dir;
    RunResult r = run_engine_in(dir.path(), {ask}, "\n\n");
    EXPECT_EQ(r.status, 0) << ask;
    EXPECT_EQ(r.out, help_text()) << ask;
    EXPECT_TRUE(r.files.empty()) << ask;
  }
  // The screens wait for Enter; without any input they still end.
  TempDir dir;
  RunResult r = run_engine_in(dir.path(), {"?"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, help_text());
}

// Only these two exact words, alone, are options; "-h" or "--helpx" is still
// a key-book name.
TEST(CommandLine, HelpAndVersionOptions) {
  TempDir dir;
  RunResult help = run_engine_in(dir.path(), {"--help"}, "S\n");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Uso: qvx7 ", 0), 0u);
  EXPECT_NE(help.out.find("\n  8  "), std::string::npos);
  RunResult version = run_engine_in(dir.path(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "qvx7 (QUORVEX) " QVX_VERSION "\n");
  RunResult book = run_engine_in(dir.path(), {"--helpx"}, "n\nS\n");
  EXPECT_EQ(book.status, 6);
  EXPECT_EQ(book.out.rfind("\nFichero: --helpx Creado...", 0), 0u);
  EXPECT_TRUE(list_dir(dir.path()).empty());
}

TEST(CommandLine, RecordThatCannotBeSelectedDoesNothing) {
  TempDir dir;
  write_book(dir.file("k.kb"), {sample_record("uno"), std::nullopt, sample_record("tres", 3)});
  write_file(dir.file("plain.txt"), std::string("hola"));
  const auto before = list_dir(dir.path());
  struct Case { const char* record; const char* expect; };
  const Case cases[] = {
      {"0", "\nlo siento registro no existente; Repita la Operacion\n"},
      {"x", "\nlo siento registro no existente; Repita la Operacion\n"},
      {"4", "\nlo siento registro no existente; Repita la Operacion\n"},
      {"2", "\nImposible Seleccionar Un Registro Borrado Operacion Cancelada"},
  };
  for (const Case& c : cases) {
    RunResult r = run_engine_in(dir.path(), {"k.kb", c.record, "c", "plain.txt", "out.bin"});
    EXPECT_EQ(r.status, 0) << c.record;
    EXPECT_EQ(r.out, std::string("reg: 3\n2115") + c.expect) << c.record;
    EXPECT_EQ(r.files, before) << c.record;
  }
  // A missing book has no records; nothing is created.
  RunResult r = run_engine_in(dir.path(), {"none.kb", "1", "c", "plain.txt", "out.bin"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "reg: 0\n0\nlo siento registro no existente; Repita la Operacion\n");
  EXPECT_EQ(r.files, before);
  // An empty book name.
  r = run_engine_in(dir.path(), {"", "1", "c", "plain.txt", "out.bin"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\nError no se puede realizar la operacion hasta que abra un libro de claves\n");
}

TEST(CommandLine, UnknownOperationTouchesNoFile) {
  TempDir dir;
  write_book(dir.file("k.kb"), {sample_record("uno")});
  write_file(dir.file("plain.txt"), std::string("hola"));
  const auto before = list_dir(dir.path());
  RunResult r = run_engine_in(dir.path(), {"k.kb", "1", "X", "plain.txt", "out.bin"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.files, before);
  EXPECT_NE(r.out.find("numero :_1 activado satisfactoriamente\n"), std::string::npos);
  EXPECT_EQ(as_string(read_file(dir.file("plain.txt"))), "hola");
}

}  // namespace
}  // namespace qvx
