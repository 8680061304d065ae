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
#include "eraser/overwrite.h"
#include "port/path.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qvx {
namespace {

namespace fs = std::filesystem;

// Longer than any path an operating system accepts, so a cut word can never
// name some other, existing file.
constexpr std::size_t kPathInput = 32768;
constexpr std::size_t kZeroBlock = 64 * 1024;

// The file calls that differ between POSIX and Windows, kept in one place.
// Writing goes straight to the descriptor so that we decide when the data
// must be on the disk.
class RawFile {
 public:
  RawFile() = default;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  ~RawFile() { close(); }

  // Opens an existing file for writing in place; never creates one.
  // With `truncate` the file is emptied.
  bool open(const std::string& path, bool truncate) {
#if defined(_WIN32)
    fd_ = ::_open(path.c_str(), _O_WRONLY | _O_BINARY | (truncate ? _O_TRUNC : 0));
#else
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (truncate ? O_TRUNC : 0));
#endif
    return fd_ >= 0;
  }

  // Size by seeking to the end; the position goes back to the start.
  bool size(uint64_t& bytes) {
#if defined(_WIN32)
    const int64_t end = ::_lseeki64(fd_, 0, SEEK_END);
    const bool back = end >= 0 && ::_lseeki64(fd_, 0, SEEK_SET) == 0;
#else
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    const bool back = end >= 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
#endif
    if (!back) return false;
    bytes = static_cast<uint64_t>(end);
    return true;
  }

  bool write_all(const char* data, std::size_t n) {
    while (n > 0) {
#if defined(_WIN32)
      const int done = ::_write(fd_, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
      if (done <= 0) return false;
#else
      const ssize_t done = ::write(fd_, data, n);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;
#endif
      data += done;
      n -= static_cast<std::size_t>(done);
    }
    return true;
  }

  // A plain file (not a device, a directory or a pipe)?
  bool is_regular() {
#if defined(_WIN32)
    struct _stat64 st;
    return ::_fstat64(fd_, &st) == 0 && (st.st_mode & _S_IFREG) != 0;
#else
    struct stat st;
    return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
#endif
  }

  // Forces what was written onto the storage device.
  bool sync() {
#if defined(_WIN32)
    return ::_commit(fd_) == 0;
#else
    return ::fsync(fd_) == 0;
#endif
  }

  bool close() {
    if (fd_ < 0) return true;
#if defined(_WIN32)
    const bool ok = ::_close(fd_) == 0;
#else
    const bool ok = ::close(fd_) == 0;
#endif
    fd_ = -1;
    return ok;
  }

 private:
  int fd_ = -1;
};

constexpr std::array<char, kZeroBlock> kZeros = [] {
  std::array<char, kZeroBlock> a{};
  for (char& c : a) c = '0';
  return a;
}();

// The overwrite itself: every byte becomes '0' and is forced to the disk
// before anything lets the blocks go. System calls only, so the stop-signal
// handler of a run can use it as well.
bool zero_and_sync(RawFile& f) {
  uint64_t left = 0;
  bool ok = f.size(left);
  while (ok && left > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, kZeros.size()));
    ok = f.write_all(kZeros.data(), n);
    left -= n;
  }
  return ok && f.sync();
}

// Empties the file and leaves the single byte "0", on the disk.
bool open_and_cut(RawFile& f, const char* path) {
  return f.open(path, true) && f.write_all("0", 1) && f.sync();
}

// Only plain files are erased: overwriting a device or deleting a directory
// is never what the user meant.
bool is_plain_file(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs_path(path), ec);
}

void report_not_overwritten(const std::string& path) {
  con::line(" Error no se ha podido sobrescribir el Archivo " + path);
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
  bool ok = zero_and_sync(f);
  ok = f.close() && ok;
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
  bool ok = f.write_all("0", 1) && f.sync();
  ok = f.close() && ok;
  if (!ok) report_not_overwritten(path);
  return ok;
}

void wipe_quietly(const char* path) {
  {
    RawFile f;
    if (!f.open(path, false)) return;
    if (!f.is_regular()) return;
    zero_and_sync(f);
  }
  {
    RawFile f;
    open_and_cut(f, path);
  }
#if defined(_WIN32)
  ::_unlink(path);
#else
  ::unlink(path);
#endif
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
  if (!gone) {
    con::eol();
    con::out() << "NO SE PUDO ELIMINAR EL RESTO DE ...." << ruta
               << " LO TIENE QUE REALIZAR A MANO !SOLO UN BYT!";
    con::eol();
  }
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
