// Texts shown by more than one part of the panel (Latin-1 bytes).
#pragma once

#include <string_view>

namespace qvxpanel::texts {

constexpr std::string_view kError = "ERROR";
constexpr std::string_view kBookOpenError = "Se ha producido un error al intentar abrir el fichero de claves";
constexpr std::string_view kBookWriteError = "No se ha podido escribir en el Libro de Claves: ";
constexpr std::string_view kNoBook =
    "Error no se puede realizar la operacion hasta que abra un libro de claves";
constexpr std::string_view kNotOpened = " Error no se ha abierto el fichero";
constexpr std::string_view kNoSuchRecord =
    "El registro no se encuentra o no existe; Repita la operaci\xF3n";
constexpr std::string_view kBadNumber =
    "\xA1" "Atenci\xF3n! no es un n\xFAmero valido, Introduzcalo de nuevo por favor";
constexpr std::string_view kProposedName = "*.*";

}  // namespace qvxpanel::texts
