// The small file layer under the streams and the runs: descriptor calls
// that differ between POSIX and Windows, the opening rules that keep a run
// safe from a hostile neighbour, and the files a run holds from its start
// to its end.
//
// Rules kept here, so no caller has to remember them:
// - Nothing opens a FIFO in a way that could block, and only regular files
//   are read as data (a directory, a pipe, a device or a /proc file would
//   measure a size that has nothing to do with what it holds).
// - A run's own files (work files, temporary output) are created 0600,
//   never through a link, checked with fstat, locked, and used through the
//   descriptor for the whole run, so the name can be swapped under us
//   without our data going anywhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace qvx::files {

// Which file an open descriptor or a name refers to.
struct Identity {
  uint64_t dev = 0;
  uint64_t ino = 0;
  bool operator==(const Identity&) const = default;
};

// Identity of what `path` names (links followed); false when it names
// nothing that can be examined.
bool identity(const char* path, Identity& id);
bool identity(int fd, Identity& id);
// The same for the name itself: a symbolic link is not followed.
bool identity_of_name(const char* path, Identity& id);
// True when `path` names the file `id` (false for a null path).
bool same_file(const char* path, const Identity& id);

// How a user's file (a key book, a printout, a file to erase) is opened.
// (The POSIX and Windows files keep their flags in this order.)
enum class Access {
  read,
  update,          // read and write in place
  append,          // created 0600 when missing; never through a link, never another user's file
  write_in_place,  // existing only, not emptied
  write_emptied,   // existing only, emptied
};

// The one way a user's file is opened: only a regular file, without ever
// blocking on a FIFO (a directory, FIFO, socket or device is refused, -1).
int open_regular(const char* path, Access how);
// The same as a buffered stream, for a name given as a path (Windows: its
// wide form) or as the engine's bytes. Null on refusal.
std::FILE* open_regular_stream(const std::filesystem::path& path, Access how);
std::FILE* open_regular_stream(const std::string& path, Access how);
// 64-bit positions and sizes of such a stream.
bool seek(std::FILE* f, uint64_t offset);
bool size_of(std::FILE* f, uint64_t& size);

// Opens `path` for reading as data: a regular file (open_regular) whose
// size is its content; sets `size`. -1 also for a file that measures empty
// yet holds data (a kernel file).
int open_regular(const char* path, uint64_t& size);
// Opens `path` for writing, creating it 0600 or emptying it; never blocks
// on a FIFO. -1 on failure.
int open_output(const char* path);
// Creates `path` as a new, empty file that only its owner may read or write:
// 0600 on POSIX; on Windows an access list of the owner alone, not inherited
// from the folder. False when the name is taken or the file cannot be made.
// Key books (Access::append), and what the panel keeps beside them (its
// configuration, whose log may hold keys), are made so.
bool create_private(const std::filesystem::path& path);
#if defined(_WIN32)
// Wine gives the owner's group the owner's rights of such a list (0660); a
// program that can reach the Linux side sets how a new private file is made
// 0600 there. Called after each creation.
void set_private_file_finish(void (*finish)(const std::filesystem::path& path));
#endif
// True when `path` opens for reading (without blocking).
bool opens(const char* path);
// True when users other than the owner may read the open file (its group
// or world read bits; always false on Windows).
bool readable_by_others(int fd);

// Positional transfers: they never move a shared file position, so two
// descriptors of one file cannot disturb each other. They return the bytes
// moved (fewer only at the end or on an error) and set `failed` on errors.
// An interrupted or busy call (EINTR, EAGAIN) and a short count are tried
// again, never taken for the end or an error.
std::size_t read_at(int fd, unsigned char* dst, std::size_t n, uint64_t offset, bool& failed);
std::size_t write_at(int fd, const unsigned char* src, std::size_t n, uint64_t offset);
bool truncate(int fd, uint64_t size);
bool sync(int fd);
// Puts the folder's entries (a rename into it) on the disk. True on
// Windows, whose file system journals its names itself.
bool sync_folder(const std::string& dir);
bool size_of(int fd, uint64_t& size);
int duplicate(int fd);
// False when the system reports that written data may not have reached the
// file (the descriptor is released either way).
bool close(int fd);

// Every byte becomes '0' (0x30) and reaches the disk; an empty file is left
// alone, unsynced. System calls only: a signal handler may call it.
bool overwrite(int fd);
// Empties the file and leaves the single byte "0", on the disk (synced only
// when the file held something).
bool cut_to_one_byte(int fd);

// Would opening `path` for writing be refused to us? (Never for root.)
bool write_protected(const std::string& path);
// True when `path` is a file (not a link) that another user owns: never
// written for us, not even by root (a neighbour may plant one in a shared
// folder). False on Windows.
bool owned_by_another(const std::string& path);
// True when `path` is a symbolic link or another user's file: what an
// appended printout or a new book never goes into. False on Windows.
bool foreign(const std::string& path);
// Gives the file at `fd` the mode our own old file `target` has, or the one
// a plain new file would get (the umask's), also in place of a link or
// another user's file; nothing on Windows, whose files have no modes.
void give_mode_of(int fd, const std::string& target);

}  // namespace qvx::files

namespace qvx {

// A file the current run holds open from its start to its end.
struct HeldFile {
  std::string name;           // as the passes name it
  int fd = -1;
  files::Identity id;
  bool named = false;         // `name` still refers to it (false once wiped)
  bool unnamed = false;       // made without a name (it has none until give_name)
  int retired = -1;           // the wiped file, kept locked until the run ends
};

enum class Claim {
  ok,
  unsafe,  // a link, FIFO, directory, device, hard-linked or another user's file
  failed,  // could not be created or opened
};

namespace held {

// While a file is registered, the stop-signal handler wipes it. There is
// room for a run's three files and one more; a registration beyond that is
// refused (false), never dropped silently, and the caller must not go on.
// REQUIRES: `f` outlives its registration (remove or release).
[[nodiscard]] bool add(HeldFile& f);
void remove(HeldFile& f);
// True when `path` is one of the registered files (same device and inode).
bool holds(const char* path);
// Overwrites, cuts and unlinks every registered file. Async-signal-safe.
void wipe_all_quietly();
// The same for one file, registered or not: overwrite, cut, and remove its
// name while it still leads to the file. Async-signal-safe.
void wipe_quietly(HeldFile& f);

// Opens `f.name` as a private work file: created 0600 when missing, never
// through a link, and only a regular file with one link that belongs to
// us. Takes an exclusive lock; while another run holds it, `waiting` is
// called once and the call waits. A leftover of ours that no run holds
// (one killed outright) is taken over: its contents are overwritten first.
Claim claim_work_file(HeldFile& f, const std::function<void()>& waiting);
// After the file's name was wiped away mid-run: a fresh private file under
// the same name (the wiped one stays locked until `release`).
bool reclaim(HeldFile& f);
// The output of a run in `dir`, private (0600) and locked: on Linux an
// unnamed file (nothing of it can outlive the run, however it ends), which
// `give_name` links in once it is complete; elsewhere, or where the file
// system has no unnamed files, a new file under a name nobody can guess.
// `f.name` is set either way (for an unnamed file, the name it may get).
bool create_temporary(HeldFile& f, const std::string& dir);
// Links an unnamed output in under a fresh hidden name in `dir` (`f.name`
// is set); nothing to do for a named one.
bool give_name(HeldFile& f, const std::string& dir);
// Wipes and removes, in `dir`, the named outputs of runs that are gone:
// ours, plain, and held by no living run.
void wipe_stale_temporaries(const std::string& dir);
// Removes `f.name` when it still refers to the held file.
bool unlink_name(HeldFile& f);
// Closes the descriptors (and so drops the locks).
void release(HeldFile& f);
// Moves the held file over `target`, which it replaces; its name is then
// the target's (`named` false: never to be wiped). Windows lets nobody move
// a held file by name, ourselves included: there it goes through its handle.
bool rename_over(HeldFile& f, const std::string& target);

}  // namespace held
}  // namespace qvx
