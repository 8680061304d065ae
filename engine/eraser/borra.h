// The universal eraser: overwrite a file in place, cut it to one byte, then
// delete what is left.
#pragma once

#include <string>

namespace qvx {

class borra {
 public:
  std::string ruta;    // path of the file to erase
  bool pruta = false;  // a path has been set

  borra() = default;
  explicit borra(const char* path) : ruta(path ? path : ""), pruta(path != nullptr) {}

  // Asks for the path at the console.
  borra& iniciarborra();
  // Shows the file (name, size, date) so the user sees what goes; returns 1.
  int dirfichero() const;
  // Overwrites every byte with '0', then cuts the file to the single byte
  // "0"; 1 when both steps succeeded, else 0.
  int borrarfichero() const;
  // Deletes the one byte borrarfichero left; returns 1.
  int eliminaresto() const;
};

// The main menu's eraser dialogue: ask, show, confirm, erase.
void eraser_dialogue();

}  // namespace qvx
