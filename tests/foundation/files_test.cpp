// The one way files are written and read: no write through a planted link,
// no partial file under the final name, no read that blocks or has no bound.
#include "foundation/files.h"
#include "foundation/paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

size_t Entries(const std::string& dir) {
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) n += !entry.path().empty();
  return n;
}

#ifndef _WIN32
// Runs f with the process's file size limit at `bytes` (a disk that fills up
// there): writes past it fail with EFBIG instead of a signal.
template <class F>
void WithFileSizeLimit(rlim_t bytes, F f) {
  struct rlimit saved, small;
  getrlimit(RLIMIT_FSIZE, &saved);
  small = saved;
  small.rlim_cur = bytes;
  void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  f();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, handler);
}

TEST(Files, WritingNeverFollowsAPlantedLinkAndReplacesWholeOrNotAtAll) {
  std::string dir = MakeTempDir("tarn_write_"), target = dir + "/PlaneTarn.mdc", victim = dir + "/victim";
  ASSERT_FALSE(dir.empty());
  Put(victim, "not yours");
  // Links at every name the old writer would have used for the next process
  // ids, and one at the target itself.
  for (int pid = getpid(); pid < getpid() + 50; pid++)
    for (const char* form : {".tmp%d-0", ".tmp%d", ".part"}) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, form, pid);
      symlink(victim.c_str(), (target + suffix).c_str());
    }
  ASSERT_EQ(symlink(victim.c_str(), target.c_str()), 0);
  const size_t planted = Entries(dir);

  std::string reason;
  ASSERT_TRUE(WriteWholeFile(target, std::string("model bytes"), reason)) << reason;
  EXPECT_EQ(Slurp(victim), "not yours");
  struct stat st;
  ASSERT_EQ(lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link itself is replaced by the file";
  EXPECT_EQ(Slurp(target), "model bytes");
  EXPECT_EQ(Entries(dir), planted);  // no temporary left

  // The recorder's own file: created exclusively, never through a link.
  FileStream stream;
  EXPECT_FALSE(stream.Open(dir + "/victim", false, reason));
  EXPECT_EQ(reason, "ERROR_FILE_EXISTS: the file already exists");
  std::string dangling = dir + "/dangling";
  ASSERT_EQ(symlink((dir + "/nowhere").c_str(), dangling.c_str()), 0);
  EXPECT_FALSE(stream.Open(dangling, false, reason));
  EXPECT_FALSE(fs::exists(dir + "/nowhere"));
  // With replace it takes the name of the link, not its target.
  ASSERT_TRUE(stream.Open(dangling, true, reason)) << reason;
  EXPECT_TRUE(stream.Write("line 1\n", reason));
  EXPECT_EQ(Slurp(dangling), "line 1\n");  // readable while it is written
  EXPECT_TRUE(stream.Close(reason));
  EXPECT_FALSE(fs::exists(dir + "/nowhere"));

  // A disk that fills up: the old file stays whole, no temporary is left,
  // and the reason is said plainly.
  WithFileSizeLimit(100, [&] {
    EXPECT_FALSE(WriteWholeFile(target, std::string(5000, 'x'), reason));
  });
  EXPECT_EQ(reason, "ERROR_FILE_TOO_LARGE: the file grew past the size this process may write");
  EXPECT_EQ(Slurp(target), "model bytes");
  EXPECT_EQ(Entries(dir), planted + 1);  // dangling's file

  // A stream that fills up reports it and keeps what was written.
  ASSERT_TRUE(stream.Open(dir + "/flight", false, reason));
  WithFileSizeLimit(100, [&] {
    EXPECT_TRUE(stream.Write(std::string(60, 'a'), reason));
    EXPECT_FALSE(stream.Write(std::string(60, 'b'), reason));
    EXPECT_FALSE(stream.Write("more", reason));  // stays failed
  });
  EXPECT_FALSE(stream.Close(reason));
  EXPECT_EQ(Slurp(dir + "/flight").substr(0, 60), std::string(60, 'a'));

  // No folder, or a file where the folder should be.
  EXPECT_FALSE(WriteWholeFile(dir + "/missing/out", std::string("x"), reason));
  EXPECT_EQ(reason, "ERROR_FILE_NOT_FOUND: no such file or folder");
  EXPECT_FALSE(WriteWholeFile(victim + "/out", std::string("x"), reason));
  EXPECT_EQ(reason, "ERROR_PATH_NOT_FOUND: a part of the path is not a folder");
  std::error_code ec;
  fs::remove_all(dir, ec);
}

TEST(Files, ReadingNeverBlocksAndHasACapPerKind) {
  std::string dir = MakeTempDir("tarn_read_"), out, reason;
  ASSERT_FALSE(dir.empty());
  // A FIFO with no writer: an ordinary open waits forever. The alarm ends
  // the test program if it does.
  std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  alarm(10);
  EXPECT_FALSE(ReadWholeFile(fifo, FileKind::Flight, out, reason));
  EXPECT_EQ(reason, "a FIFO, not a regular file");
  EXPECT_FALSE(ReadWholeFile("/dev/zero", FileKind::Content, out, reason));
  EXPECT_EQ(reason, "a device, not a regular file");
  alarm(0);
  EXPECT_FALSE(ReadWholeFile(dir, FileKind::Content, out, reason));
  EXPECT_EQ(reason, "a folder, not a file");
  EXPECT_FALSE(ReadWholeFile(dir + "/none", FileKind::Content, out, reason));
  EXPECT_EQ(reason, "ERROR_FILE_NOT_FOUND: no such file or folder");

  // Exactly the cap is read; one byte more is refused before reading.
  std::string settings = dir + "/tarnsim.conf";
  Put(settings, std::string(64 * 1024, '#'));
  ASSERT_TRUE(ReadWholeFile(settings, FileKind::Settings, out, reason)) << reason;
  EXPECT_EQ(out.size(), 65536u);
  Put(settings, std::string(64 * 1024 + 1, '#'));
  EXPECT_FALSE(ReadWholeFile(settings, FileKind::Settings, out, reason));
  EXPECT_EQ(reason, "65,537 bytes, more than the 64 KiB a settings file may have");
  EXPECT_TRUE(out.empty());
  // A sparse file far past the flight cap costs nothing to refuse.
  std::string flight = dir + "/huge.tarnflight";
  Put(flight, "");
  fs::resize_file(flight, (uint64_t(1) << 32) + 5);
  EXPECT_FALSE(ReadWholeFile(flight, FileKind::Flight, out, reason));
  EXPECT_EQ(reason, "4,294,967,301 bytes, more than the 32 MiB a flight may have");
  std::error_code ec;
  fs::remove_all(dir, ec);
}

TEST(Files, PrivateFoldersAreMadeWithoutChangingLinkedOrExistingOnes) {
  std::string dir = MakeTempDir("tarn_folders_"), reason;
  ASSERT_FALSE(dir.empty());
  std::string shared = dir + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0775), 0);
  chmod(shared.c_str(), 0775);  // whatever the umask
  ASSERT_EQ(mkdir((dir + "/cache").c_str(), 0755), 0);
  chmod((dir + "/cache").c_str(), 0755);
  ASSERT_EQ(symlink(shared.c_str(), (dir + "/cache/tarnsim").c_str()), 0);
  ASSERT_TRUE(MakePrivateFolders(dir + "/cache/tarnsim", reason)) << reason;
  struct stat st;
  ASSERT_EQ(stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0775u) << "a linked folder keeps its permissions";
  ASSERT_EQ(stat((dir + "/cache").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u) << "an existing folder keeps its permissions";

  ASSERT_TRUE(MakePrivateFolders(dir + "/new/deeper", reason)) << reason;
  for (const char* made : {"/new", "/new/deeper"}) {
    ASSERT_EQ(stat((dir + made).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << made << " is private";
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}
#endif

// On every system: a stream that replaces a file (--record --force) takes
// its name, and one that may not replace finds it there.
TEST(Files, AStreamReplacesAnExistingFileOnlyWhenAsked) {
  const std::string path = ::testing::TempDir() + "files-test-replaced.tarnflight";
  Put(path, "old flight\n");
  std::string reason;
  FileStream stream;
  EXPECT_FALSE(stream.Open(path, false, reason));
  ASSERT_TRUE(stream.Open(path, true, reason)) << reason;
  EXPECT_TRUE(stream.Write("new flight\n", reason));
  EXPECT_TRUE(stream.Close(reason)) << reason;
  EXPECT_EQ(Slurp(path), "new flight\n");
  std::remove(path.c_str());
}

// Any user's folder names: every way in and out of the file layer takes the
// UTF-8 path to the file of that name, and the name on disk is the one a
// person reads (on Windows the UTF-16 name, not the code page's reading of
// the bytes).
TEST(Files, NonAsciiNamesAreTheNamesOnDisk) {
  const std::string top = MakeTempDir("tarn_names_"), folder = top + "/Jos\u00e9/\u30d5\u30e9\u30a4\u30c8";
  std::string reason, text;
  ASSERT_TRUE(MakePrivateFolders(folder, reason)) << reason;
#ifdef _WIN32
  const fs::path spelled = fs::path(WideText(top)) / L"Jos\u00e9" / L"\u30d5\u30e9\u30a4\u30c8";
#else
  const fs::path spelled = fs::path(top) / "Jos\u00e9" / "\u30d5\u30e9\u30a4\u30c8";
#endif
  EXPECT_TRUE(fs::is_directory(spelled));
  EXPECT_EQ(Utf8Path(FsPath(folder)), folder);

  const std::string file = folder + "/vol \u00e9t\u00e9.tarnflight";
  ASSERT_TRUE(WriteWholeFile(file, std::string("first\n"), reason)) << reason;
  ASSERT_TRUE(ReadWholeFile(file, FileKind::Flight, text, reason)) << reason;
  EXPECT_EQ(text, "first\n");
  FileStream stream;
  ASSERT_TRUE(stream.Open(file, true, reason)) << reason;
  EXPECT_TRUE(stream.Write("second\n", reason));
  EXPECT_TRUE(stream.Close(reason)) << reason;
  ASSERT_TRUE(ReadWholeFile(file, FileKind::Flight, text, reason)) << reason;
  EXPECT_EQ(text, "second\n");
  PathInfo info;
  EXPECT_TRUE(PathStatus(file, info) && !info.folder && info.readable);
  EXPECT_TRUE(PathStatus(folder, info) && info.folder);
  EXPECT_TRUE(SameFile(file, folder + "/./vol \u00e9t\u00e9.tarnflight"));

  // The folder holds that one file under that name, and no temporary.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(spelled)) names.push_back(Utf8Path(entry.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{"vol \u00e9t\u00e9.tarnflight"});
  std::error_code ec;
  fs::remove_all(FsPath(top), ec);
}

TEST(Files, EchoedTokensAreCutWithTheirLengthNamed) {
  EXPECT_EQ(Clipped("Left Shift"), "Left Shift");
  EXPECT_EQ(Clipped(std::string(80, 'k')), std::string(80, 'k'));
  EXPECT_EQ(Clipped(std::string(10000000, 'k')), std::string(80, 'k') + "... (10,000,000 bytes)");
}

}  // namespace
