// The one way files are read and written.
//
// Writing: the bytes go to a temporary file created exclusively in the
// target's folder (never through a link another user planted there), every
// write and the close are checked, the data is synced, and only then is the
// temporary renamed over the target. On any failure the temporary is removed,
// an old file at the target stays whole, and the caller gets a plain reason.
//
// Reading: only regular files are read. The open does not block (a FIFO or a
// device in place of a file is refused, not waited on), and each kind of file
// has a size cap, checked before anything is read.
#pragma once
#include <cstdint>
#include <string>

// What a file holds, for its size cap.
enum class FileKind {
  Flight,    // recorded flights and key scripts: 32 MiB
  Settings,  // the settings file: 64 KiB
  Content,   // models, compiled models, fonts, images, shaders: 64 MiB
  Aircraft,  // an aircraft file: 64 KiB (a whole table of values is under 16 KiB)
  Summary,   // a flight runner summary: 64 MiB (100,000 cases of a few hundred bytes)
};

uint64_t FileCap(FileKind kind);    // bytes
const char* FileKindName(FileKind kind);  // "a flight", "a settings file", ...

// "ERROR_DISK_FULL: no space left on the device": the Windows error name the
// console lines use everywhere, and what it means.
std::string ErrorReason(int errnoValue);

// Every path here is UTF-8 on every system (see foundation/paths.h).

// Reads a whole regular file of at most FileCap(kind) bytes. On failure returns
// false, leaves out empty and sets reason to one plain sentence: the error
// name for a failed open, or what the file is ("a FIFO, not a regular file",
// "67,108,865 bytes, more than the 64 MiB a content file may have"). After a
// failed open errno holds the system's error; after any other refusal it is 0.
bool ReadWholeFile(const std::string& path, FileKind kind, std::string& out, std::string& reason);

// Writes all n bytes to path by way of a temporary in the same folder, synced,
// then renamed over path. False with a plain reason; path is then unchanged.
bool WriteWholeFile(const std::string& path, const void* data, size_t n, std::string& reason);
inline bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& reason) {
  return WriteWholeFile(path, bytes.data(), bytes.size(), reason);
}

// A file written while the program runs (the flight recorder): readable under
// its final name from the first line on. Open either creates path itself,
// exclusively and not through a link (an existing file is refused), or, when
// replace is set, creates a fresh temporary beside it and renames it over
// path at once. Every Write is checked; the first failure is kept in reason
// and later writes do nothing.
class FileStream {
 public:
  FileStream() = default;
  ~FileStream();  // closes without a report
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  bool Open(const std::string& path, bool replace, std::string& reason);
  bool Write(const std::string& bytes, std::string& reason);
  // Syncs and closes; false with the reason when that (or an earlier write) failed.
  bool Close(std::string& reason);
  bool open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool failed_ = false;
};

// Creates path and any missing parents with owner-only permissions (0700).
// Permissions are set only on folders created here; an existing folder, or a
// link to one, is left as it is. False with a plain reason when path is not
// a folder afterwards.
bool MakePrivateFolders(const std::string& path, std::string& reason);

// Whether two paths name the same existing file (the same device and inode;
// on Windows the same absolute path).
bool SameFile(const std::string& a, const std::string& b);

// What is at a path, asked without opening it (opening a FIFO would wait).
struct PathInfo {
  bool folder = false;
  bool readable = false;  // this process may open it for reading
  int64_t modified = 0;   // last write, seconds since 1970 (UTC)
};
// False (info cleared) when nothing is there or it cannot be asked; errno says why.
bool PathStatus(const std::string& path, PathInfo& info);

// A token from outside (a file's text, a key name) fit to echo in a console
// line: at most 80 bytes kept, and a longer one says how long it was.
std::string Clipped(const std::string& token);
