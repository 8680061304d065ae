#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <type_traits>
#include <string>

#include "cipher/passes/coder.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using testing::ConsoleCapture;

struct Outcome {
  std::string console;
  std::optional<std::string> origin, destination;  // the names in force
  bool complete;
};

std::optional<std::string> in_force(const char* name) {
  return name ? std::optional<std::string>(name) : std::nullopt;
}

// The menu's answer line is still pending when the dialog starts: it must
// be dropped, not taken for the origin.
template <class Coder>
Outcome ask(const std::string& lines, bool with_menu_line = true) {
  ConsoleCapture cap(with_menu_line ? "1 resto de la linea\n" + lines : lines);
  Coder c;
  if constexpr (std::is_same_v<Coder, codifica>)
    c.abrirficherocod();
  else
    c.abrirficherodecod();
  return {cap.text(), in_force(c.porigen()), in_force(c.pdestino()), c.compruebaregistro() == 1};
}

class Dialog : public ::testing::Test {
 protected:
  Dialog() : plain(dir.file("plano.txt")), other(dir.file("otro.bin")), fresh(dir.file("nuevo.bin")) {
    testing::write_file(plain, std::string("datos"));
    testing::write_file(other, std::string("no tocar"));
  }
  std::string chosen(const char* verb, const char* lower_verb) const {
    return std::string("Introduzca el fichero ORIGEN para ") + verb + " : _\nel fichero para " +
           lower_verb + " es:_" + plain + "\nIntroduzca el fichero de DESTINO para " + verb + " : _";
  }

  testing::TempDir dir;
  std::string plain, other, fresh;
};

TEST_F(Dialog, NewDestinationCompletesTheCoderAndCreatesNothing) {
  const Outcome o = ask<codifica>(plain + "\n" + fresh + "\n");
  EXPECT_EQ(o.console, chosen("Codificar", "codificar") + "\nel fichero DESTINO es:_" + fresh + "\n");
  EXPECT_TRUE(o.complete);
  EXPECT_EQ(o.origin, plain);
  EXPECT_EQ(o.destination, fresh);
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_TRUE(ask<decodifica>(plain + "\n" + fresh + "\n").complete);
}

TEST_F(Dialog, MissingOriginUsesTheEncodingWordsInBothDirections) {
  const std::string missing = dir.file("no_existe.bin");
  const std::string tail =
      " : _\n el Archivo " + missing + " no Existe \n Error no se ha abierto el archivo para codificar\n";
  Outcome o = ask<codifica>(missing + "\n" + other + "\n");
  EXPECT_EQ(o.console, "Introduzca el fichero ORIGEN para Codificar" + tail);
  EXPECT_FALSE(o.complete);
  EXPECT_FALSE(o.origin);
  o = ask<decodifica>(missing + "\n" + other + "\n");
  EXPECT_EQ(o.console, "Introduzca el fichero ORIGEN para Decodificar" + tail);
  EXPECT_FALSE(o.origin);
}

TEST_F(Dialog, ExistingDestinationNeedsAnS) {
  const std::string asked = chosen("Codificar", "codificar") + "\n el Fichero de Destino: " + other +
                            " existe , \xBFlo Reescribe?(s/n): ";
  Outcome o = ask<codifica>(plain + "\n" + other + "\nn\n");
  EXPECT_EQ(o.console, asked + "\n no hay fichero de destino, repita la operacion\n");
  EXPECT_FALSE(o.complete);
  EXPECT_FALSE(o.destination);
  o = ask<codifica>(plain + "\n" + other + "\n  S\n");
  EXPECT_EQ(o.console, asked + "\nel fichero DESTINO es:_" + other + "\n");
  EXPECT_TRUE(o.complete);
  EXPECT_EQ(testing::as_string(testing::read_file(other)), "no tocar");
}

TEST_F(Dialog, SameNameIsRefusedWhenDecodingOnly) {
  Outcome o = ask<decodifica>(plain + "\n" + plain + "\n");
  EXPECT_EQ(o.console, chosen("Decodificar", "Decodificar") +
                           "\n no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros\n");
  EXPECT_FALSE(o.complete);
  EXPECT_EQ(o.origin, plain);
  o = ask<codifica>(plain + "\n" + plain + "\ns\n");
  EXPECT_TRUE(o.complete);
  EXPECT_EQ(o.destination, plain);
}

TEST_F(Dialog, EndOfInputAtAnyQuestionLeavesTheCoderIncomplete) {
  const std::string inputs[] = {"", "1\n", "1\n" + plain + "\n", "1\n" + plain + "\n" + other + "\n"};
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in);
    EXPECT_FALSE(ask<codifica>(in, false).complete);
    EXPECT_FALSE(ask<decodifica>(in, false).complete);
  }
}

}  // namespace
}  // namespace qvx
