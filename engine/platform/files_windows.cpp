// The file layer on Windows: the C runtime's descriptors over handles of
// our own.
#define _CRT_RAND_S  // rand_s, the system's own generator; before any C runtime header
#include "platform/files.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/files_internal.h"

namespace qvx {
namespace {

// A name in the engine's code page (UTF-8 under its manifest), as the
// wide calls take it; empty when it does not convert.
std::wstring wide_of(const char* path) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), n);
  wide.resize(static_cast<std::size_t>(n - 1));
  return wide;
}

// Names from this long on go with the \\?\ prefix, which lifts the old
// limit of MAX_PATH characters: the work files beside a source add nine
// characters to its name. Shorter names go as they always have.
constexpr std::size_t kLongName = MAX_PATH - 12;

// The name every file call here uses: a long one made absolute and
// prefixed, so that neither the system nor Wine stops at MAX_PATH.
// (A short name relative to a deep working folder is long too.)
std::wstring native_name(std::wstring wide) {
  if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  std::wstring full(32768, L'\0');
  const DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size() || n < kLongName) return wide;
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring native_name(const char* path) { return native_name(wide_of(path)); }

}  // namespace

namespace files {


// The transfers below use the handle itself, never the C runtime's locks,
// so that the console-stop handler can use them while the run's own thread
// stands stopped in the middle of a C runtime call.
namespace {

HANDLE os_handle(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool handle_identity(HANDLE h, Identity& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h, &info)) return false;
  id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return true;
}

OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

constexpr DWORD kMaxTransfer = DWORD{1} << 30;

}  // namespace

bool identity(const char* path, Identity& id) {
  if (!path) return false;
  // Attributes only: no sharing conflict with a file a run holds.
  HANDLE h = ::CreateFileW(native_name(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = handle_identity(h, id);
  ::CloseHandle(h);
  return ok;
}

bool identity(int fd, Identity& id) { return fd >= 0 && handle_identity(os_handle(fd), id); }

bool identity_of_name(const char* path, Identity& id) {
  if (!path) return false;
  HANDLE h = ::CreateFileW(native_name(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = handle_identity(h, id);
  ::CloseHandle(h);
  return ok;
}

namespace {

// By Access, in its order.
constexpr int kFlags[] = {_O_RDONLY, _O_RDWR, _O_WRONLY | _O_CREAT | _O_APPEND, _O_WRONLY, _O_WRONLY | _O_TRUNC};
int flags_of(Access how) { return kFlags[static_cast<int>(how)]; }

// No FIFOs to wait on here; a directory or a device is still refused.
int checked(int fd) {
  if (fd < 0) return -1;
  struct _stat64 st;
  if (::GetFileType(os_handle(fd)) != FILE_TYPE_DISK || ::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    ::_close(fd);
    return -1;
  }
  return fd;
}

std::FILE* stream_of(int fd, Access how) {
  if (fd < 0) return nullptr;
  std::FILE* f = ::_fdopen(fd, detail::stream_mode(how));
  if (!f) ::_close(fd);
  return f;
}

constexpr int kShared = _O_BINARY | _O_NOINHERIT;

void (*g_private_finish)(const std::filesystem::path&) = nullptr;

}  // namespace

void set_private_file_finish(void (*finish)(const std::filesystem::path& path)) { g_private_finish = finish; }

bool create_private(const std::filesystem::path& path) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD n = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &n);
  std::vector<unsigned char> user(n);
  const bool known = n != 0 && ::GetTokenInformation(token, TokenUser, user.data(), n, &n);
  ::CloseHandle(token);
  if (!known) return false;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
  std::vector<unsigned char> acl_bytes(acl_size);
  PACL acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR sd;
  // Read, write and delete; no execute.
  if (!::InitializeAcl(acl, acl_size, ACL_REVISION) ||
      !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE, sid) ||
      !::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorOwner(&sd, sid, FALSE) || !::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
      !::SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return false;
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(f);
  if (g_private_finish) g_private_finish(path);
  return true;
}

namespace {

// A missing key book is made private first: the runtime's own creation
// would give it the folder's access list.
void private_when_missing(const std::filesystem::path& path, Access how) {
  if (how == Access::append && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) create_private(path);
}

}  // namespace

int open_regular(const char* path, Access how) {
  if (!path) return -1;
  if (how == Access::append) private_when_missing(native_name(path), how);
  return checked(::_wopen(native_name(path).c_str(), flags_of(how) | kShared, _S_IREAD | _S_IWRITE));
}

std::FILE* open_regular_stream(const std::string& path, Access how) {
  return stream_of(open_regular(path.c_str(), how), how);
}

std::FILE* open_regular_stream(const std::filesystem::path& path, Access how) {
  const std::wstring name = native_name(path.wstring());
  private_when_missing(name, how);
  return stream_of(checked(::_wopen(name.c_str(), flags_of(how) | kShared, _S_IREAD | _S_IWRITE)), how);
}

bool seek(std::FILE* f, uint64_t offset) { return ::_fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0; }

bool size_of(std::FILE* f, uint64_t& size) {
  struct _stat64 st;
  if (::_fstat64(::_fileno(f), &st) != 0 || st.st_size < 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int open_regular(const char* path, uint64_t& size) {
  const int fd = open_regular(path, Access::read);
  if (fd >= 0 && !size_of(fd, size)) {
    ::_close(fd);
    return -1;
  }
  return fd;
}

int open_output(const char* path) {
  if (!path) return -1;
  return ::_wopen(native_name(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

bool opens(const char* path) {
  if (!path) return false;
  const int fd = ::_wopen(native_name(path).c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  ::_close(fd);
  return true;
}

std::size_t read_at(int fd, unsigned char* dst, std::size_t n, uint64_t offset, bool& failed) {
  const HANDLE h = os_handle(fd);
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED o = at_offset(offset + done);
    DWORD got = 0;
    if (!::ReadFile(h, dst + done, static_cast<DWORD>(std::min<std::size_t>(n - done, kMaxTransfer)), &got, &o)) {
      if (::GetLastError() != ERROR_HANDLE_EOF) failed = true;
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::size_t write_at(int fd, const unsigned char* src, std::size_t n, uint64_t offset) {
  const HANDLE h = os_handle(fd);
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED o = at_offset(offset + done);
    DWORD put = 0;
    if (!::WriteFile(h, src + done, static_cast<DWORD>(std::min<std::size_t>(n - done, kMaxTransfer)), &put, &o) ||
        put == 0)
      break;
    done += put;
  }
  return done;
}

bool truncate(int fd, uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(os_handle(fd), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool sync(int fd) { return ::FlushFileBuffers(os_handle(fd)) != 0; }
bool sync_folder(const std::string&) { return true; }

bool size_of(int fd, uint64_t& size) {
  LARGE_INTEGER n;
  if (!::GetFileSizeEx(os_handle(fd), &n)) return false;
  size = static_cast<uint64_t>(n.QuadPart);
  return true;
}

int duplicate(int fd) { return ::_dup(fd); }
bool close(int fd) { return fd < 0 || ::_close(fd) == 0; }

// Who may read a file there is a matter of its access list, not of bits
// we could look at here.
bool readable_by_others(int) { return false; }

bool write_protected(const std::string& path) { return ::_waccess(native_name(path.c_str()).c_str(), 2) != 0; }
bool owned_by_another(const std::string&) { return false; }
bool foreign(const std::string&) { return false; }
void give_mode_of(int, const std::string&) {}

}  // namespace files

namespace held {
namespace {

constexpr DWORD kLockPollMs = 100;

HANDLE os_handle(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// A run's own file: shared with nobody while the run lives (the lock), with
// the right to delete it through its handle, and never through a reparse
// point (a symbolic link or a junction planted at its name).
HANDLE open_private(const std::string& name, DWORD disposition) {
  return ::CreateFileW(native_name(name.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Owned by the user of this run, or by the owner the run's new files get
// (an elevated run's files belong to the Administrators group). A volume
// without owners (FAT) has no other user's files.
bool owned_by_us(HANDLE h) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) !=
      ERROR_SUCCESS)
    return false;
  bool ours = owner == nullptr;
  HANDLE token = nullptr;
  if (!ours && ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    alignas(8) unsigned char buffer[512];
    DWORD n = 0;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &n))
      ours = ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    if (!ours && ::GetTokenInformation(token, TokenOwner, buffer, sizeof buffer, &n))
      ours = ::EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner);
    ::CloseHandle(token);
  }
  ::LocalFree(sd);
  return ours;
}

// What a run's own file must be: a plain file on a disk, ours, with no
// other name.
bool private_and_plain(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         info.nNumberOfLinks == 1 && owned_by_us(h);
}

bool adopt(HeldFile& f, HANDLE h) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
  if (fd < 0) {
    ::CloseHandle(h);
    return false;
  }
  f.fd = fd;
  f.named = true;
  return files::identity(fd, f.id);
}

// The file goes when its last handle closes, and no one opens it again.
// Handle calls only: the console-stop handler uses it.
bool delete_on_close(int fd) {
  FILE_DISPOSITION_INFO gone{};
  gone.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(os_handle(fd), FileDispositionInfo, &gone, sizeof gone) != 0;
}
}  // namespace

void detail::random_bytes(unsigned char* raw, std::size_t n) {
  // The C runtime's std::random_device may be a fixed sequence here.
  for (std::size_t i = 0; i < n; ++i) {
    unsigned int r = 0;
    ::rand_s(&r);
    raw[i] = static_cast<unsigned char>(r);
  }
}

void detail::unlink_quietly(HeldFile& f) { delete_on_close(f.fd); }

Claim claim_work_file(HeldFile& f, const std::function<void()>& waiting) {
  bool told = false;
  for (;;) {
    const DWORD attributes = ::GetFileAttributesW(native_name(f.name.c_str()).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
      return Claim::unsafe;
    HANDLE h = open_private(f.name, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) {
      if (::GetLastError() != ERROR_SHARING_VIOLATION) return Claim::failed;
      // Another run holds it for the whole of its run: wait for the end.
      if (!told && waiting) waiting();
      told = true;
      ::Sleep(kLockPollMs);
      continue;
    }
    if (!private_and_plain(h)) {
      ::CloseHandle(h);
      return Claim::unsafe;
    }
    if (!adopt(f, h)) return Claim::failed;
    uint64_t left = 0;
    if (files::size_of(f.fd, left) && left > 0) files::overwrite(f.fd);
    return Claim::ok;
  }
}

bool reclaim(HeldFile& f) {
  HANDLE h = open_private(f.name, CREATE_NEW);
  if (h == INVALID_HANDLE_VALUE) return false;
  files::close(f.retired);
  f.retired = f.fd;
  return adopt(f, h);
}

bool create_temporary(HeldFile& f, const std::string& dir) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = dir;
    if (!name.empty() && name.back() != '/' && name.back() != '\\') name += '\\';
    name += detail::kTemporaryPrefix + std::to_string(::_getpid()) + "-" + detail::unguessable() +
            detail::kTemporarySuffix;
    HANDLE h = open_private(name, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) continue;
      return false;
    }
    f.name = name;
    return adopt(f, h);
  }
  return false;
}

bool give_name(HeldFile&, const std::string&) { return true; }

void wipe_stale_temporaries(const std::string& dir) {
  for (const std::string& name : detail::temporaries_in(dir)) {
    // A living run holds its output unshared: it does not open.
    HANDLE h = open_private(name, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) continue;
    HeldFile f;
    f.name = name;
    if (!private_and_plain(h)) {
      ::CloseHandle(h);
      continue;
    }
    if (!adopt(f, h)) {
      files::close(f.fd);
      continue;
    }
    wipe_quietly(f);
    files::close(f.fd);
  }
}

bool unlink_name(HeldFile& f) {
  if (!f.named) return true;
  // The name goes with the last handle of the file itself, whatever the
  // directory says meanwhile; ours is closed now so that it goes at once.
  if (!delete_on_close(f.fd)) return false;
  files::close(f.fd);
  f.fd = -1;
  f.named = false;
  return true;
}

bool rename_over(HeldFile& f, const std::string& target) {
  const std::wstring wide = wide_of(target.c_str());
  if (wide.empty()) return false;
  std::wstring full(32768, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return false;
  const std::size_t bytes = sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t);
  std::vector<unsigned char> buffer(bytes, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = length * sizeof(wchar_t);
  std::copy(full.begin(), full.begin() + length, info->FileName);
  if (!::SetFileInformationByHandle(os_handle(f.fd), FileRenameInfo, info, static_cast<DWORD>(bytes))) return false;
  f.named = false;  // the name is the destination's now
  return true;
}

}  // namespace held
}  // namespace qvx
