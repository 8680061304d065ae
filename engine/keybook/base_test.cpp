#include "keybook/base.h"

#include <gtest/gtest.h>

#include "books.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

TEST(Base, StatesAndConstructors) {
  base none;
  EXPECT_EQ(none.compruebabase(), 0);
  EXPECT_EQ(none.compruebaregistro(), 0);
  EXPECT_EQ(none.ponerlibro(), nullptr);
  base named("k.kb", 3);
  EXPECT_EQ(named.compruebabase(), 1);
  EXPECT_EQ(named.ponerregistro(), 3);
  EXPECT_STREQ(named.ponerlibro(), "k.kb");
  EXPECT_EQ(base("").compruebabase(), 0);
}

TEST(Base, OpeningExistingMissingAndDeclined) {
  TempDir dir;
  const std::string book = dir.file("k.kb");
  write_book(book, {sample_record("uno")});
  {
    ConsoleCapture cap(book + "\n");
    base b;
    b.abrirfichero();
    EXPECT_EQ(cap.text(), "Introduzca el libro de claves para abrir : _\nel fichero Abierto es:_" + book + "\n");
    EXPECT_EQ(b.compruebabase(), 1);
  }
  const std::string fresh = dir.file("new.kb");
  {
    ConsoleCapture cap("n\n");
    base b;
    b.abrirfichero2(fresh.c_str());
    EXPECT_EQ(cap.text(), " el Archivo " + fresh + " no Existe, \xBFLo Creo Nuevo? (S/N) :\n Error no se ha abierto el archivo\n");
    EXPECT_EQ(b.compruebabase(), 0);
    EXPECT_FALSE(std::filesystem::exists(fresh));
  }
  {
    ConsoleCapture cap("S\n");
    base b;
    b.abrirfichero2(fresh.c_str());
    EXPECT_EQ(cap.text(), " el Archivo " + fresh + " no Existe, \xBFLo Creo Nuevo? (S/N) :\nel fichero Creado es:_" + fresh + "\n");
    EXPECT_EQ(b.compruebabase(), 1);
    EXPECT_EQ(std::filesystem::file_size(fresh), 0u);
    cap.clear();
    EXPECT_EQ(b.tamanyo(), 0u);
    EXPECT_EQ(cap.text(), "reg: 0\n0");
  }
  {
    // Input ends before a name was typed, or before the answer: no book.
    ConsoleCapture cap("");
    base b;
    b.abrirfichero();
    EXPECT_EQ(b.compruebabase(), 0);
    ConsoleCapture cap2("");
    b.abrirfichero2(dir.file("other.kb").c_str());
    EXPECT_EQ(b.compruebabase(), 0);
  }
}

TEST(Base, SelectingRecords) {
  TempDir dir;
  const std::string book = dir.file("k.kb");
  KeyRecord one = sample_record("uno");
  write_book(book, {one, std::nullopt, sample_record("tres", 3)});
  ConsoleCapture cap;
  base b(book.c_str());
  EXPECT_EQ(b.tamanyo(), 2115u);
  EXPECT_EQ(b.registros, 3u);
  cap.clear();

  EXPECT_EQ(b.activar(1, 3), 1);
  EXPECT_EQ(b.registro, 1);
  EXPECT_EQ(b.nombre, "uno");
  EXPECT_EQ(b.clave3, one.clave3);
  EXPECT_EQ(b.engorde, 7345250000.0);  // the ten stored digits
  EXPECT_EQ(b.signo, 1);
  EXPECT_EQ(b.posicion, 4);
  EXPECT_EQ(cap.text(),
            "\nNombre de la Clave Maestra: uno"
            "\nclave1: Tq8#mZr2Lw!x9Vb0\nclave2: k3Jd0PzQ0\nclave3: ww94lLmnxQ20"
            "\nclave4: PalomaBlanca770\nclave5: r4nd0mKeyTextForPassFive0\nclave6: zzXy810"
            "\nclave7: Q!x7Mb2#nn0\nclave8: s3cr3tos0\nclave9: NueveNueve90\nclave10: DiezDiezDiez100"
            "\nengorde: 7345250000\ndesorden: 1234567800.140\nnumero :_1 activado satisfactoriamente\n");

  // Out of range keeps the active record; a deleted one leaves none.
  cap.clear();
  EXPECT_EQ(b.activar(0, 3), 0);
  EXPECT_EQ(b.activar(4, 3), 0);
  EXPECT_EQ(b.registro, 1);
  EXPECT_EQ(cap.text(),
            "\nlo siento registro no existente; Repita la Operacion\n"
            "\nlo siento registro no existente; Repita la Operacion\n");
  cap.clear();
  EXPECT_EQ(b.activar(2, 3), 0);
  EXPECT_EQ(b.registro, 0);
  EXPECT_EQ(cap.text(), "\nImposible Seleccionar Un Registro Borrado Operacion Cancelada");
}

TEST(Base, PartialTailIsNotARecord) {
  TempDir dir;
  const std::string book = dir.file("k.kb");
  write_book(book, {sample_record("uno")});
  Bytes bytes = read_file(book);
  bytes.resize(1000, 'x');
  write_file(book, bytes);
  ConsoleCapture cap;
  base b(book.c_str());
  EXPECT_EQ(record_count(b.tamanyo()), 1u);
  EXPECT_EQ(b.activar(2, 1), 0);
  EXPECT_EQ(b.activar(1, 1), 1);
}

}  // namespace
}  // namespace qvx
