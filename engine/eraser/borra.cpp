#include "eraser/borra.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "console/console.h"
#include "platform/files.h"
#include "eraser/overwrite.h"
#include "platform/path.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

// Longer than any path an operating system accepts, so a cut word can never
// name some other, existing file.
constexpr std::size_t kPathInput = 32768;

// Opening a file by name for the erase; the writing itself goes through
// the file layer, straight to the descriptor, so that we decide when the
// data must be on the disk.
class RawFile {
 public:
  RawFile() = default;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  ~RawFile() { files::close(fd_); }

  // Opens an existing regular file for writing in place; never creates
  // one and never blocks on a FIFO. With `truncate` the file is emptied.
  bool open(const std::string& path, bool truncate) {
    fd_ = files::open_regular(path.c_str(), truncate ? files::Access::write_emptied : files::Access::write_in_place);
    return fd_ >= 0;
  }

  int fd() const { return fd_; }

  void close() {
    files::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Only plain files are erased: overwriting a device or deleting a directory
// is never what the user meant.
bool is_plain_file(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs_path(path), ec);
}

void report_not_overwritten(const std::string& path) {
  con::line(" Error no se ha podido sobrescribir el Archivo " + path);
}

void report_not_removed(const std::string& path) {
  con::eol();
  con::out() << "NO SE PUDO ELIMINAR EL RESTO DE ...." << path << " LO TIENE QUE REALIZAR A MANO !SOLO UN BYT!";
  con::eol();
}

// "dd/mm/yyyy  hh:mm" of a file's last change, local time.
std::string change_date(const fs::path& p) {
  std::error_code ec;
  const fs::file_time_type when = fs::last_write_time(p, ec);
  if (ec) return "--/--/----  --:--";
  // file_clock and system_clock differ only by an offset; "now" on both
  // sides gives it without needing a clock conversion library.
  const auto sys = std::chrono::system_clock::now() +
                   std::chrono::duration_cast<std::chrono::system_clock::duration>(
                       when - fs::file_time_type::clock::now());
  const std::time_t t = std::chrono::system_clock::to_time_t(sys);
  const std::tm* local = std::localtime(&t);
  char text[32] = "--/--/----  --:--";
  if (local) std::strftime(text, sizeof text, "%d/%m/%Y  %H:%M", local);
  return text;
}

}  // namespace

namespace eraser {

bool overwrite_with_zeros(const std::string& path) {
  RawFile f;
  if (!is_plain_file(path) || !f.open(path, false)) {
    con::out() << " el Archivo " << path << " no Existe";
    con::eol();
    con::out() << " Error no se ha abierto el archivo";
    con::out().flush();
    return false;
  }
  const bool ok = files::overwrite(f.fd());
  if (!ok) report_not_overwritten(path);
  return ok;
}

bool cut_to_one_byte(const std::string& path) {
  RawFile f;
  if (!is_plain_file(path) || !f.open(path, true)) {
    con::out() << " Error de 2a apertura en el Archivo " << path << " no Trunca El Fichero";
    con::eol();
    return false;
  }
  const bool ok = files::cut_to_one_byte(f.fd());
  if (!ok) report_not_overwritten(path);
  return ok;
}

Erased erase_held(HeldFile& f) {
  Erased e;
  // Wiped before and let go (Windows closes a file to remove it): nothing
  // of it is left to erase.
  if (f.fd < 0 && !f.named) return e;
  const bool overwritten = files::overwrite(f.fd);
  // Cut even when the overwrite failed: an empty file holds nothing.
  const bool cut = files::cut_to_one_byte(f.fd) || files::truncate(f.fd, 0);
  e.wiped = overwritten && cut;
  if (!e.wiped) report_not_overwritten(f.name);
  e.removed = held::unlink_name(f);
  if (!e.removed) report_not_removed(f.name);
  return e;
}

}  // namespace eraser

borra& borra::iniciarborra() {
  con::out() << "Introduzca el fichero para borrar : _";
  if (con::word(ruta, kPathInput) == con::Got::eof) {
    ruta.clear();
    pruta = false;
    return *this;
  }
  pruta = true;
  return *this;
}

int borra::dirfichero() const {
  std::error_code ec;
  const fs::path p = fs_path(ruta);
  const fs::file_status st = fs::status(p, ec);
  if (ruta.empty() || !fs::exists(st)) {
    con::line("NO SE ENCUENTRA EL ARCHIVO");
    return 1;
  }
  con::eol();
  con::out() << change_date(p) << "  ";
  if (fs::is_directory(st)) {
    con::out() << "   <DIR>         ";
  } else {
    const uintmax_t size = fs::file_size(p, ec);
    char text[32];
    std::snprintf(text, sizeof text, "%16ju ", ec ? uintmax_t{0} : size);
    con::out() << text;
  }
  con::out() << ruta;
  con::eol();
  return 1;
}

int borra::borrarfichero() const {
  return (eraser::overwrite_with_zeros(ruta) && eraser::cut_to_one_byte(ruta)) ? 1 : 0;
}

int borra::eliminaresto() const {
  std::error_code ec;
  const fs::path p = fs_path(ruta);
  const fs::file_status st = fs::symlink_status(p, ec);
  if (st.type() == fs::file_type::not_found) return 1;  // nothing left to delete
  bool gone = false;
  if (!ec && st.type() != fs::file_type::directory) gone = fs::remove(p, ec) && !ec;
  if (!gone) report_not_removed(ruta);
  return 1;
}

void eraser_dialogue() {
  borra target;
  target.iniciarborra();
  if (!target.pruta) {
    con::line("operacion Cancelada");
    return;
  }
  target.dirfichero();
  con::line("esta seguro de querer borrar el fichero seleccionado");
  char c = 0;
  if (con::ch(c) != con::Got::ok || (c != 's' && c != 'S')) {
    con::line("operacion Cancelada");
    return;
  }
  if (target.borrarfichero() != 0) {
    con::line(" No queda ni Rastro del contenido Original del Fichero seleccionado");
    target.eliminaresto();
  } else {
    con::line("no se ha borrado el fichero");
  }
}

}  // namespace qvx
