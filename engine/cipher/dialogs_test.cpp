#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cipher/coder.h"
#include "testutil.h"

namespace qvx {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

constexpr const char* kAskOrigin = "Introduzca el fichero ORIGEN para Codificar : _";
constexpr const char* kAskDestination = "Introduzca el fichero de DESTINO para Codificar : _";
constexpr const char* kAskOriginD = "Introduzca el fichero ORIGEN para Decodificar : _";
constexpr const char* kAskDestinationD = "Introduzca el fichero de DESTINO para Decodificar : _";

class Dialog : public ::testing::Test {
 protected:
  Dialog() : plain(dir.file("plano.txt")), other(dir.file("otro.bin")) {
    testing::write_file(plain, std::string("datos"));
    testing::write_file(other, std::string("no tocar"));
  }
  // The menu's answer line is still pending when the dialog starts.
  static std::string answers(const std::string& lines) { return "1 resto de la linea\n" + lines; }

  TempDir dir;
  std::string plain, other;
};

TEST_F(Dialog, EncodingChoosesANewDestination) {
  const std::string fresh = dir.file("nuevo.bin");
  codifica c;
  EXPECT_EQ(c.compruebaregistro(), 0);
  ConsoleCapture cap(answers(plain + "\n" + fresh + "\n"));
  c.abrirficherocod();
  EXPECT_EQ(cap.text(), std::string(kAskOrigin) + "\nel fichero para codificar es:_" + plain + "\n" +
                            kAskDestination + "\nel fichero DESTINO es:_" + fresh + "\n");
  EXPECT_EQ(c.compruebaregistro(), 1);
  EXPECT_STREQ(c.porigen(), plain.c_str());
  EXPECT_STREQ(c.pdestino(), fresh.c_str());
  EXPECT_FALSE(std::filesystem::exists(fresh));  // asking creates nothing
}

TEST_F(Dialog, MissingOriginLeavesTheCoderIncomplete) {
  const std::string missing = dir.file("no_existe.bin");
  for (bool decoding : {false, true}) {
    ConsoleCapture cap(answers(missing + "\n" + other + "\n"));
    const std::string tail = "\n el Archivo " + missing +
                             " no Existe \n Error no se ha abierto el archivo para codificar\n";
    if (decoding) {
      decodifica d;
      d.abrirficherodecod();
      EXPECT_EQ(cap.text(), kAskOriginD + tail);
      EXPECT_EQ(d.compruebaregistro(), 0);
      EXPECT_EQ(d.porigen(), nullptr);
      EXPECT_TRUE(d.origen.empty());
    } else {
      codifica c;
      c.abrirficherocod();
      EXPECT_EQ(cap.text(), kAskOrigin + tail);
      EXPECT_EQ(c.compruebaregistro(), 0);
      EXPECT_EQ(c.porigen(), nullptr);
    }
  }
}

TEST_F(Dialog, ExistingDestinationIsOverwrittenOnlyWhenConfirmed) {
  const std::string asked = std::string(kAskOrigin) + "\nel fichero para codificar es:_" + plain + "\n" +
                            kAskDestination + "\n el Fichero de Destino: " + other +
                            " existe , \xBFlo Reescribe?(s/n): ";
  {
    ConsoleCapture cap(answers(plain + "\n" + other + "\nn\n"));
    codifica c;
    c.abrirficherocod();
    EXPECT_EQ(cap.text(), asked + "\n no hay fichero de destino, repita la operacion\n");
    EXPECT_EQ(c.compruebaregistro(), 0);
    EXPECT_EQ(c.pdestino(), nullptr);
    EXPECT_TRUE(c.destino.empty());
  }
  {
    ConsoleCapture cap(answers(plain + "\n" + other + "\n  S\n"));
    codifica c;
    c.abrirficherocod();
    EXPECT_EQ(cap.text(), asked + "\nel fichero DESTINO es:_" + other + "\n");
    EXPECT_EQ(c.compruebaregistro(), 1);
  }
  EXPECT_EQ(testing::as_string(testing::read_file(other)), "no tocar");
}

TEST_F(Dialog, SameNameIsRefusedWhenDecodingAndAcceptedWhenEncoding) {
  {
    ConsoleCapture cap(answers(plain + "\n" + plain + "\n"));
    decodifica d;
    d.abrirficherodecod();
    EXPECT_EQ(cap.text(), std::string(kAskOriginD) + "\nel fichero para Decodificar es:_" + plain + "\n" +
                              kAskDestinationD +
                              "\n no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros\n");
    EXPECT_EQ(d.compruebaregistro(), 0);
    EXPECT_NE(d.porigen(), nullptr);
    EXPECT_EQ(d.pdestino(), nullptr);
  }
  {
    ConsoleCapture cap(answers(plain + "\n" + plain + "\ns\n"));
    codifica c;
    c.abrirficherocod();
    EXPECT_EQ(c.compruebaregistro(), 1);
    EXPECT_STREQ(c.porigen(), c.pdestino());
  }
}

TEST_F(Dialog, EndOfInputAtAnyQuestionLeavesTheCoderIncomplete) {
  const std::string inputs[] = {
      "",                                          // before the leftover line
      answers(""),                                 // at the origin
      answers(plain + "\n"),                       // at the destination
      answers(plain + "\n" + other + "\n"),        // at the overwrite question
  };
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in);
    ConsoleCapture cap(in);
    codifica c;
    c.abrirficherocod();
    EXPECT_EQ(c.compruebaregistro(), 0);
    decodifica d;
    d.abrirficherodecod();
    EXPECT_EQ(d.compruebaregistro(), 0);
  }
}

}  // namespace
}  // namespace qvx
