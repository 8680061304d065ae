#include "MAIN_vuriv_2025/menus.h"

#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <string>
#include <string_view>

#include "console/console.h"
#include "eraser/borra.h"

namespace qvx {
namespace {

constexpr std::size_t kChoiceMax = 2000;
constexpr std::size_t kBookNameMax = 719;  // the header shows at most this much of the path
constexpr std::size_t kConfirmDiscardMax = 300;

constexpr std::string_view kMainOptions[] = {
    "  C = MENU de CLAVES // FICHERO de CLAVES",
    "  O = CODIFICA",
    "  D = DECODIFICA",
    "  V = VER clave maestra seleccionada",
    "  I = IMPRIME AL FINAL de un fichero (en formato texto) la clave seleccionada",
    "  B = BORRADOR UNIVERSAL",
    "  S = SALIR del programa",
};

constexpr std::string_view kBookOptions[] = {
    "  F = ABRIR O CREAR fichero de CLAVES",
    "  A = ALTAS de claves maestras",
    "  B = BAJAS de claves maestras",
    "  M = MODIFICACIONES de claves maestras",
    "  L = LISTADOS de claves maestras",
    "  U = BUSQUEDAS en las claves maestras",
    "  E = SELECCIONA No DE CLAVE EN LIBRO ACTIVO PARA CODIFICAR/DECODIFICAR ",
    "  S = SALIR A MENU PRINCIPAL codificar/decodificar",
};

// Record numbers from the command line are read the way atoi reads them.

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_yes(char c) { return c == 's' || c == 'S'; }

// Right-aligned text padded in front with `fill`; the stream's own fill is
// put back so no later number comes out padded.
void field(std::string_view text, int width, char fill) {
  std::ostream& o = con::out();
  const char old = o.fill(fill);
  o << std::right << std::setw(width) << text;
  o.fill(old);
}

// "<title><book>No Reg:<n>", the line both headers share.
void title_line(std::string_view title, const base& book) {
  const char* libro = book.ponerlibro();
  std::string_view name = libro ? std::string_view(libro) : std::string_view();
  field(title, 50, '_');
  field(name.substr(0, kBookNameMax), 20, '_');
  con::out() << "No Reg:" << book.ponerregistro();
  con::eol();
}

void main_header(const base& book) {
  con::eol();
  field(".Version 7.0.__/__.64 Bytes._____", 80, '_');
  con::eol();
  title_line("____QUORVEX___ENCRIPTION__", book);
  field("Claves, cOdificar, Decodificar, Ver_clave, Imprimir, Borrador_universal, Salir", 80, '.');
  con::eol();
  con::repeat('_', 80);
  con::eol();
}

void book_header(const base& book, bool from_command_line) {
  title_line(from_command_line ? "____QUORVEX__4.0__BASE_DE_CLAVES__" : "____QUORVEX____BASE_DE_CLAVES__",
             book);
  field("Fichero,Altas, Bajas, Modific, Listados, bUsqueda, sEleccionElegida, Salir", 80, '.');
  con::eol();
  con::repeat('*', 80);
  con::eol();
}

template <std::size_t N>
void option_list(const std::string_view (&lines)[N]) {
  con::cls();
  con::eol();
  for (std::string_view l : lines) {
    con::out() << l;
    con::eol();
  }
}

// The menu's choice: the first character of the next word. The end of input
// counts as leaving, so no loop can spin on a closed input.
char read_choice() {
  std::string w;
  if (con::word(w, kChoiceMax) != con::Got::ok || w.empty()) return 'S';
  return w[0];
}

// A prompt for a number. Anything but a number ends the action, so nothing
// runs on a value the user did not type.
bool ask_number(std::string_view prompt, int32_t& n) {
  con::eol();
  con::out() << prompt;
  return con::number(n) == con::Got::ok;
}

uint64_t count_records(base& book) { return record_count(book.tamanyo()); }

int activate(base& book, int32_t n) { return book.activar(static_cast<uint32_t>(n), count_records(book)); }

// A new record entered at the console. When the input ends before the last
// field, the book gets back the record it had (`before`) and nothing may be
// written; a last number that ends the input is complete.
bool enter_record(base& book, const base& before) {
  if (con::at_eof()) return false;
  if (read_new_record(book)) return true;
  book = before;
  return false;
}

// Selects slot n after an entry was written there. A typed record stays in
// the book only once it is in its slot: when the write was refused or
// failed, the book gets back the record it had before the entry, so the
// active record always equals its slot on disk.
void activate_entered(base& book, const base& before, bool written, uint64_t n) {
  const uint64_t count = count_records(book);
  if (!written || n > count) book = before;
  book.activar(static_cast<uint32_t>(n), count);
}

// --- key-book actions ---

void select_record(base& book) {
  int32_t n = 0;
  if (!ask_number("Seleccione el numero del registro para activar y procesar: _", n)) return;
  activate(book, n);
}

void add_records(base& book, bool from_command_line) {
  int32_t how_many = 0;
  if (!ask_number("Introduzca numero de altas: ", how_many)) return;
  for (int32_t i = 0; i < how_many; ++i) {
    const base before = book;
    if (!enter_record(book, before)) return;
    // A deleted slot is reused before the book grows.
    if (const int free_slot = book.buscar(); free_slot != 0) {
      activate_entered(book, before, book.modificaciones(free_slot) == 1, static_cast<uint64_t>(free_slot));
      continue;
    }
    const uint64_t n = count_records(book) + 1;
    book.altas(n);
    if (!from_command_line) {
      con::eol();
      con::out() << "se pasa regi: " << n;
    }
    // Counted again: if the append failed, slot n does not exist and the
    // selection refuses instead of taking another record.
    activate_entered(book, before, true, n);
  }
}

void list_records(const base& book) {
  int32_t first = 0;
  int32_t how_many = 0;
  if (!ask_number("Introduzca n\xBA de registro inicial: ", first)) return;
  if (!ask_number("Introduzca numero de listados: ", how_many)) return;
  con::eol();
  book.listados(first, how_many);
}

// The slot a number names, shown before the question; a listing from 0 or
// below would start at record 1 and show a record the number does not name.
void show_slot(const base& book, int32_t n) { book.listados(n, n >= 1 ? 1 : 0); }

void delete_record(const base& book) {
  int32_t n = 0;
  if (!ask_number("Introduzca numero de registro a borrar: ", n)) return;
  con::eol();
  show_slot(book, n);
  con::eol();
  con::out() << "esta seguro de querer borrar el registro num_ :" << n << "(s/n): ";
  con::discard_line(kConfirmDiscardMax);
  char answer = 0;
  if (con::ch(answer) != con::Got::ok || !is_yes(answer)) return;
  if (book.bajas(n, static_cast<long>(kSlotSize)) == 1)
    con::line("!!!SATISFACTORIAMENTE ELIMINADO\xB7\xB7\xB7");
  else
    con::line("no se ha podido eliminar intentelo de nuevo");
}

void change_record(base& book) {
  int32_t n = 0;
  if (!ask_number("Introduzca numero de registro a modificar: ", n)) return;
  show_slot(book, n);
  con::out() << "esta seguro de querer modificar el registro num_ :" << n << "(s/n): ";
  char answer = 0;
  if (con::ch(answer) != con::Got::ok || !is_yes(answer)) return;
  const base before = book;
  if (!enter_record(book, before)) return;
  const bool written = book.modificaciones(n) == 1;
  // A negative n reaches the selection as a number past any book.
  activate_entered(book, before, written, static_cast<uint32_t>(n));
}

void search_records(const base& book) {
  con::eol();
  con::out() << "entre patron a \xBF" "buscar?: ";
  std::string pattern;
  if (con::word(pattern, kPatternMax) != con::Got::ok) return;
  book.busqueda(pattern);
}

// The key-book menu's letters. Each guarded action needs an open book; the
// refusal's wording differs per letter, as users have always seen it.
struct BookOption {
  char key;
  std::string_view refusal;  // empty: no book needed
  void (*act)(base& book, bool from_command_line);
};

constexpr BookOption kBookActions[] = {
    {'E', kNoBookOpen, [](base& b, bool) { select_record(b); }},
    {'F', {}, [](base& b, bool) { b.abrirfichero(); }},
    {'A', "Error  no se puede realizar la operacion hasta que abra un libro de claves", add_records},
    {'L', "Error en archivo no se puede realizar la operacion hasta que abra un libro de claves",
     [](base& b, bool) { list_records(b); }},
    {'B', kNoBookOpen, [](base& b, bool) { delete_record(b); }},
    {'M', kNoBookOpen, [](base& b, bool) { change_record(b); }},
    {'U', kNoBookOpen, [](base& b, bool) { search_records(b); }},
};

// One key-book choice; false when the menu is to be left.
bool book_action(base& book, char choice, bool from_command_line) {
  const char key = upper(choice);
  if (key == 'S') {
    con::cls();
    return false;
  }
  for (const BookOption& o : kBookActions) {
    if (o.key != key) continue;
    if (!o.refusal.empty() && !book.compruebabase())
      con::out() << o.refusal;
    else
      o.act(book, from_command_line);
    return true;
  }
  option_list(kBookOptions);
  return true;
}

// The command line named the book, and maybe the record, to start with.
void open_from_command_line(base& book, const char* book_arg, const char* record_arg) {
  book.abrirfichero2(book_arg);
  if (!record_arg) return;
  const int n = record_number(record_arg);
  const int r = activate(book, n);
  con::out() << (r == n && n != 0 ? "Correcto Activando Registro N:_ " : "Error Activando Registro N:_ ")
             << record_arg;
}

enum class Entered { from_main_menu, from_command_line };

// From the command line the menu opens the named book (and selects the
// named record) on its first screen; from the main menu it asks for a book
// whenever none is open.
void book_menu(base& book, Entered from, const char* book_arg, const char* record_arg) {
  const bool from_command_line = from == Entered::from_command_line;
  if (from_command_line) {
    con::eol();
    con::cls();
  }
  bool first_turn = true;
  do {
    if (!from_command_line && !book.compruebabase()) book.abrirfichero();
    con::eol();
    book_header(book, from_command_line);
    if (from_command_line && first_turn) open_from_command_line(book, book_arg, record_arg);
    first_turn = false;
  } while (book_action(book, read_choice(), from_command_line));
}

// --- main-menu actions ---

bool main_action(base& book, const WorkFiles& work, char choice) {
  switch (upper(choice)) {
    case 'C':
      con::cls();
      book_menu(book, Entered::from_main_menu, nullptr, nullptr);
      break;
    case 'O': encode_interactive(book, work); break;
    case 'D': decode_interactive(book, work); break;
    case 'V':
      if (book_and_record_ready(book)) {
        con::out() << static_cast<const KeyRecord&>(book);
        book.recuerda();
      }
      break;
    case 'I':
      if (book_and_record_ready(book)) book.imprime();
      break;
    case 'B': eraser_dialogue(); break;
    case 'S':
      con::cls();
      return false;
    default:
      option_list(kMainOptions);
      break;
  }
  return true;
}

}  // namespace

void main_menu(base& book, const WorkFiles& work) {
  do {
    con::eol();
    main_header(book);
  } while (main_action(book, work, read_choice()));
  con::eol();
  con::out() << "pulse retorno para salir...";
  con::discard_line();
  con::wait_enter();
}

void keybook_menu(base& book, const char* book_arg, const char* record_arg) {
  book_menu(book, Entered::from_command_line, book_arg, record_arg);
}

}  // namespace qvx
