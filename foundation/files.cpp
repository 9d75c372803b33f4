#include "foundation/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "foundation/paths.h"
#include "foundation/str.h"

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0  // Windows has no symbolic links an unprivileged user can plant
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0  // nor FIFOs
#endif

namespace {

// Every call that names a file, through the system's UTF-16 names on
// Windows (a UTF-8 path given to its narrow calls would be read in the code
// page and name another file, or none).
#ifdef _WIN32
using StatBuffer = struct _stat64;
int OpenPath(const std::string& path, int flags, int mode = 0) { return ::_wopen(WideText(path).c_str(), flags, mode); }
int StatPath(const std::string& path, StatBuffer* st) { return ::_wstat64(WideText(path).c_str(), st); }
int StatOpen(int fd, StatBuffer* st) { return ::_fstat64(fd, st); }
int RemovePath(const std::string& path) { return ::_wunlink(WideText(path).c_str()); }
bool ReadableNow(const std::string& path) { return ::_waccess(WideText(path).c_str(), 4) == 0; }
#else
using StatBuffer = struct stat;
int OpenPath(const std::string& path, int flags, int mode = 0) { return ::open(path.c_str(), flags, mode); }
int StatPath(const std::string& path, StatBuffer* st) { return ::stat(path.c_str(), st); }
int StatOpen(int fd, StatBuffer* st) { return ::fstat(fd, st); }
int RemovePath(const std::string& path) { return ::unlink(path.c_str()); }
bool ReadableNow(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }
#endif

const char* PlainText(int e) {
  switch (e) {
    case ENOENT: return "no such file or folder";
    case ENOTDIR: return "a part of the path is not a folder";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "a folder, not a file";
    case EEXIST: return "the file already exists";
    case ENOSPC: return "no space left on the device";
    case EFBIG: return "the file grew past the size this process may write";
    case EIO: return "input/output error";
    case EROFS: return "the file system is read-only";
    case ENAMETOOLONG: return "the name is too long";
    case EMFILE:
    case ENFILE: return "too many open files";
#ifndef _WIN32
    case ELOOP: return "a symbolic link where a plain file or folder must be";
    case EDQUOT: return "the disk quota is used up";
#endif
    default: return std::strerror(e);
  }
}

std::string Thousands(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); i++) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string CapText(uint64_t cap) {
  return cap >= (1u << 20) ? std::to_string(cap >> 20) + " MiB" : std::to_string(cap >> 10) + " KiB";
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new file beside path, created exclusively (O_EXCL also refuses a link
// planted at the name, dangling or not) under a name nobody can guess ahead.
int CreateTemporary(const std::string& path, std::string& temporary) {
  static std::random_device seed;
  static std::mt19937_64 random(uint64_t(seed()) << 32 ^ seed());
  const std::string stem = FolderOf(path) + "/." + BaseName(path) + ".";
  for (int attempt = 0; attempt < 100; attempt++) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx.tmp", (unsigned long long)random());
    temporary = stem + suffix;
    int fd = OpenPath(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_BINARY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    unsigned chunk = unsigned(n > (1u << 30) ? (1u << 30) : n);
    auto done = ::write(fd, p, chunk);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = ENOSPC;
      return false;
    }
    p += done;
    n -= size_t(done);
  }
  return true;
}

bool Sync(int fd) {
#ifdef _WIN32
  return _commit(fd) == 0;
#else
  return ::fsync(fd) == 0;
#endif
}

// Renames over an existing target, as POSIX rename does on every system.
bool Replace(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(WideText(from).c_str(), WideText(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         (errno = EACCES, false);
#else
  return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool MakeFolder(const std::string& path) {
#ifdef _WIN32
  return ::_wmkdir(WideText(path).c_str()) == 0;
#else
  return ::mkdir(path.c_str(), 0700) == 0;
#endif
}

}  // namespace

uint64_t FileCap(FileKind kind) {
  switch (kind) {
    case FileKind::Flight: return uint64_t(32) << 20;
    case FileKind::Settings: return uint64_t(64) << 10;
    case FileKind::Aircraft: return uint64_t(64) << 10;
    case FileKind::Summary: return uint64_t(64) << 20;
    case FileKind::Content: break;
  }
  return uint64_t(64) << 20;
}

const char* FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::Flight: return "a flight";
    case FileKind::Settings: return "a settings file";
    case FileKind::Aircraft: return "an aircraft file";
    case FileKind::Summary: return "a summary";
    case FileKind::Content: break;
  }
  return "a content file";
}

std::string ErrorReason(int e) {
  int saved = errno;
  errno = e;
  std::string name = LastErrorName();
  errno = saved;
  return name + ": " + PlainText(e);
}

bool ReadWholeFile(const std::string& path, FileKind kind, std::string& out, std::string& reason) {
  out.clear();
  // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
  int fd = OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_BINARY);
  if (fd < 0) {
    int error = errno;
    reason = ErrorReason(error);
#ifdef _WIN32
    // Windows will not open a folder at all (access denied): say what it is.
    StatBuffer st;
    if (error == EACCES && StatPath(path, &st) == 0 && S_ISDIR(st.st_mode)) {
      reason = "a folder, not a file";
      error = 0;
    }
#endif
    errno = error;
    return false;
  }
  errno = 0;  // from here on a refusal is about the file, not the system
  StatBuffer st;
  if (StatOpen(fd, &st) != 0) {
    reason = ErrorReason(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = S_ISDIR(st.st_mode) ? "a folder, not a file"
#ifndef _WIN32
             : S_ISFIFO(st.st_mode) ? "a FIFO, not a regular file"
             : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device, not a regular file"
#endif
                                    : "not a regular file";
    ::close(fd);
    return false;
  }
  const uint64_t cap = FileCap(kind);
  auto tooLarge = [&](uint64_t size) {
    reason = Thousands(size) + " bytes, more than the " + CapText(cap) + " " + FileKindName(kind) + " may have";
  };
  if (uint64_t(st.st_size) > cap) {
    tooLarge(uint64_t(st.st_size));
    ::close(fd);
    return false;
  }
#ifndef _WIN32
  // A regular file never blocks, but reads are plain blocking reads again.
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
#endif
  // Read to one byte past the cap whatever fstat said: the file may grow.
  out.resize(size_t(st.st_size) + 1);
  size_t got = 0;
  for (;;) {
    if (got == out.size()) {
      if (out.size() > cap) break;
      out.resize(size_t(std::min<uint64_t>(cap + 1, out.size() * 2 + 4096)));
    }
    auto n = ::read(fd, &out[got], unsigned(out.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = ErrorReason(errno);
      ::close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    got += size_t(n);
  }
  ::close(fd);
  errno = 0;
  if (got > cap) {
    tooLarge(got);
    out.clear();
    return false;
  }
  out.resize(got);
  return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t n, std::string& reason) {
  std::string temporary;
  int fd = CreateTemporary(path, temporary);
  if (fd < 0) {
    reason = ErrorReason(errno);
    return false;
  }
  bool ok = WriteAll(fd, static_cast<const char*>(data), n) && Sync(fd);
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && !Replace(temporary, path)) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    RemovePath(temporary);
    reason = ErrorReason(error);
  }
  return ok;
}

FileStream::~FileStream() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileStream::Open(const std::string& path, bool replace, std::string& reason) {
  if (fd_ >= 0) return false;
  failed_ = false;
#ifdef _WIN32
  // Windows renames no file that is open for writing, so the temporary of a
  // replacement could never take the name: the old file goes first, then the
  // new one is created as a fresh one would be (Windows has no links another
  // user could plant there).
  if (replace && !DeleteFileW(WideText(path).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    reason = ErrorReason(EACCES);
    return false;
  }
  replace = false;
#endif
  if (!replace) {
    fd_ = OpenPath(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_BINARY, 0666);
    if (fd_ < 0) reason = ErrorReason(errno);
    return fd_ >= 0;
  }
  std::string temporary;
  fd_ = CreateTemporary(path, temporary);
  if (fd_ < 0) {
    reason = ErrorReason(errno);
    return false;
  }
  if (!Replace(temporary, path)) {
    reason = ErrorReason(errno);
    ::close(fd_);
    fd_ = -1;
    RemovePath(temporary);
    return false;
  }
  return true;
}

bool FileStream::Write(const std::string& bytes, std::string& reason) {
  if (fd_ < 0 || failed_) return false;
  if (!WriteAll(fd_, bytes.data(), bytes.size())) {
    failed_ = true;
    reason = ErrorReason(errno);
    return false;
  }
  return true;
}

bool FileStream::Close(std::string& reason) {
  if (fd_ < 0) return false;
  bool ok = !failed_;
  if (ok && !Sync(fd_)) {
    ok = false;
    reason = ErrorReason(errno);
  }
  if (::close(fd_) != 0 && ok) {
    ok = false;
    reason = ErrorReason(errno);
  }
  fd_ = -1;
  if (failed_ && reason.empty()) reason = "an earlier write failed";
  return ok;
}

bool MakePrivateFolders(const std::string& path, std::string& reason) {
  if (path.empty()) {
    reason = ErrorReason(ENOENT);
    return false;
  }
  // Each folder of the path from the top: a missing one is made 0700 by
  // mkdir itself (no chmod afterwards that could go through a link); an
  // existing one, a link to a folder included, keeps its permissions.
  size_t pos = path.find_first_not_of("/\\");
  for (;;) {
    size_t next = path.find_first_of("/\\", pos);
    std::string part = next == std::string::npos ? path : path.substr(0, next);
    if (!part.empty() && part != "." && part != ".." && !(part.size() == 2 && part[1] == ':')) {
      if (!MakeFolder(part) && errno != EEXIST) {
        reason = ErrorReason(errno);
        return false;
      }
    }
    if (next == std::string::npos) break;
    pos = path.find_first_not_of("/\\", next);
    if (pos == std::string::npos) break;
  }
  StatBuffer st;
  if (StatPath(path, &st) != 0) {
    reason = ErrorReason(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    reason = ErrorReason(ENOTDIR);
    return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  StatBuffer sa, sb;
  if (StatPath(a, &sa) != 0 || StatPath(b, &sb) != 0) return false;
#ifdef _WIN32
  // st_ino is always 0 on Windows: compare what the names resolve to.
  wchar_t fa[MAX_PATH], fb[MAX_PATH];
  if (!_wfullpath(fa, WideText(a).c_str(), MAX_PATH) || !_wfullpath(fb, WideText(b).c_str(), MAX_PATH)) return false;
  return _wcsicmp(fa, fb) == 0;
#else
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

std::string Clipped(const std::string& token) {
  const size_t keep = 80;
  if (token.size() <= keep) return token;
  return token.substr(0, keep) + "... (" + Thousands(token.size()) + " bytes)";
}

bool PathStatus(const std::string& path, PathInfo& info) {
  info = PathInfo();
  StatBuffer st;
  if (StatPath(path, &st) != 0) return false;
  info.folder = S_ISDIR(st.st_mode);
  info.modified = int64_t(st.st_mtime);
  info.readable = ReadableNow(path);
  return true;
}
