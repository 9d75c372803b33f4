// Hostile content: each file below asks the readers for far more memory or
// time than real content could. Each runs in a child process under a 1 GB
// address-space limit and a CPU-time guard, and must end normally with its
// one line and a neutral value. The sanitizers' shadow memory cannot live
// under an address-space limit, so their builds keep only the time guard.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "foundation/mem.h"
#include "platform/gpu/recording.h"
#include "platform/shader_asm/shader_asm.h"
#include "render/resources.h"

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

namespace {

struct Outcome {
  int status = -1;  // as waitpid reports it
  std::string out;  // everything the child printed
  bool Clean() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  int Lines(const std::string& text) const {
    int n = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) n++;
    return n;
  }
};

// Runs body in a child in a fresh content directory, standard output caught.
Outcome RunLimited(const std::function<void()>& body) {
  char tmpl[] = "/tmp/tarn-limits-XXXXXX";
  EXPECT_NE(mkdtemp(tmpl), nullptr);
  const std::filesystem::path dir = tmpl;
  for (const char* d : {"Models", "Fonts", "Textures", "Shaders"}) std::filesystem::create_directory(dir / d);
  int pipeFds[2];
  EXPECT_EQ(pipe(pipeFds), 0);
  std::fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    dup2(pipeFds[1], 1);
    const rlim_t gigabyte = rlim_t(1) << 30, seconds = 20;
    rlimit cpu = {seconds, seconds};
    setrlimit(RLIMIT_CPU, &cpu);
    if (!kSanitized) {
      rlimit as = {gigabyte, gigabyte};
      setrlimit(RLIMIT_AS, &as);
    }
    std::filesystem::current_path(dir);
    body();
    std::fflush(stdout);
    _exit(0);
  }
  close(pipeFds[1]);
  Outcome o;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) o.out.append(buffer, size_t(n));
  close(pipeFds[0]);
  waitpid(child, &o.status, 0);
  std::filesystem::remove_all(dir);
  return o;
}

void Write(const std::string& path, const void* data, size_t n) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(n));
}
void Write(const std::string& path, const MEM& m) { Write(path, m.data, m.size); }

// A raw model node header; vertices and faces follow from the caller.
void PutNode(MEM& m, const char* name) {
  m.Put_string(name), m.Put_VEC3F({0, 0, 0}), m.Put_QUATF({0, 0, 0, 1}), m.Put_VEC3F({1, 1, 1});
}
void PutFace(MEM& m, uint32_t material, uint32_t smoothing, uint32_t a, uint32_t b, uint32_t c) {
  m.Put_VEC3F({0, 0, 1}), m.Put_uint32(material), m.Put_uint32(smoothing);
  m.Put_uint32(a), m.Put_uint32(b), m.Put_uint32(c);
  const VEC3F tex[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  for (int k = 0; k < 6; k++) m.Put_VEC3F(tex[k % 3]);
}
// Loads "Models/<name>.mdl" and prints what the model holds and the size of the ".mdc" written.
void LoadAndReport(const char* name) {
  MDL* model = LoadModel(String(name), 1.0f);
  std::error_code error;
  uintmax_t compiled = std::filesystem::file_size(std::string("Models/") + name + ".mdc", error);
  std::printf("model %u vertices %u triangles %u nodes, mdc %ju bytes\n", model->vertices.count,
              model->triangles.count, model->nodes.count, error ? uintmax_t(0) : compiled);
  ReleaseAllModels();
}

TEST(Limits, FontAskingForMillionsOfSymbols) {
  Outcome o = RunLimited([] {
    std::string text;
    for (int i = 0; i < 520; i++) text += "SymbolArray a" + std::to_string(i) + " { Symbols 65536 }\n";
    text += "Symbol \"Last\" { Pos \"1 1\" }\n";
    Write("Fonts/Big.fnt", text.data(), text.size());
    Font* font = LoadFont(String("Big"));
    std::printf("symbols %u\n", font->symbols.count);
    ReleaseAllFonts();
  });
  EXPECT_TRUE(o.Clean()) << o.out;
  EXPECT_EQ(o.out, "FNT: more than 65536 symbols, the rest of the file is ignored\nsymbols 65536\n");
}

TEST(Limits, RawModelsAskingForTooMuch) {
  // 30,000 nodes each with one face of the highest material: every node
  // would cost 4,096 subsets.
  Outcome subsets = RunLimited([] {
    MEM m;
    m.Put_uint32(kRawModelMagic), m.Put_uint32(30000);
    for (uint32_t n = 0; n < 30000; n++) {
      PutNode(m, "Part");
      m.Put_uint32(3), m.Put_VEC3F({0, 0, 0}), m.Put_VEC3F({1, 0, 0}), m.Put_VEC3F({0, 1, 0});
      m.Put_uint32(1), PutFace(m, 4095, 1, 0, 1, 2);
    }
    Write("Models/Many.mdl", m);
    std::printf("mdl %u bytes\n", m.size);
    LoadAndReport("Many");
  });
  EXPECT_TRUE(subsets.Clean()) << subsets.out;
  EXPECT_EQ(subsets.Lines("Model file \"Models/Many.mdl\": more than 65536 material subsets in the model, the rest skipped\n"), 1);
  unsigned mdl = 0, mdc = 0;
  const char* sizes[2] = {std::strstr(subsets.out.c_str(), "mdl "),
                          std::strstr(subsets.out.c_str(), "model 48 vertices 16 triangles 30000 nodes, mdc ")};
  ASSERT_TRUE(sizes[0] && sizes[1]) << subsets.out;
  ASSERT_TRUE(std::sscanf(sizes[0], "mdl %u", &mdl) == 1 && std::sscanf(sizes[1], "%*[^,], mdc %u", &mdc) == 1);
  EXPECT_LT(mdc, mdl) << "16 nodes get their 4,096 subsets, the others none";

  // 40,000 faces on one vertex triple (the smoothing pass meets them all at
  // every corner), then 80,000 faces of distinct all-NaN vertices (which
  // always hash alike): both compile in linear time. Welding NaNs by their
  // bits leaves one vertex per distinct corner.
  Outcome crowded = RunLimited([] {
    MEM m;
    m.Put_uint32(kRawModelMagic), m.Put_uint32(2);
    PutNode(m, "Fan");
    m.Put_uint32(3), m.Put_VEC3F({0, 0, 0}), m.Put_VEC3F({1, 0, 0}), m.Put_VEC3F({0, 1, 0});
    m.Put_uint32(40000);
    for (uint32_t f = 0; f < 40000; f++) PutFace(m, 0, 1, 0, 1, 2);
    PutNode(m, "Nan");
    const float nan = std::nanf("");
    m.Put_uint32(3 * 80000);
    for (uint32_t v = 0; v < 3 * 80000; v++) m.Put_VEC3F({nan, nan, nan});
    m.Put_uint32(80000);
    for (uint32_t f = 0; f < 80000; f++) PutFace(m, 0, 1, 3 * f, 3 * f + 1, 3 * f + 2);
    Write("Models/Crowded.mdl", m);
    LoadAndReport("Crowded");
  });
  EXPECT_TRUE(crowded.Clean()) << crowded.out;
  EXPECT_EQ(crowded.Lines("model 6 vertices 120000 triangles 2 nodes"), 1) << crowded.out;

  // Counts claiming 2^31 records, raw and compiled: believed only as far as the bytes go.
  Outcome counts = RunLimited([] {
    for (int which = 0; which < 3; which++) {
      MEM m;
      m.Put_uint32(kRawModelMagic), m.Put_uint32(which == 0 ? 0x80000000u : 1);
      PutNode(m, "N");
      m.Put_uint32(which == 1 ? 0x80000000u : 3), m.Put_VEC3F({0, 0, 0}), m.Put_VEC3F({1, 0, 0}), m.Put_VEC3F({0, 1, 0});
      m.Put_uint32(which == 2 ? 0x80000000u : 1), PutFace(m, 0, 1, 0, 1, 2);
      Write("Models/Raw" + std::to_string(which) + ".mdl", m);
      LoadAndReport(("Raw" + std::to_string(which)).c_str());
    }
    for (int which = 0; which < 3; which++) {
      MEM m;
      m.Put_uint32(kCompiledModelMagic);
      m.Put_uint32(which == 0 ? 0x80000000u : 0), m.Put_uint32(which == 1 ? 0x80000000u : 0);
      m.Put_uint32(which == 2 ? 0x80000000u : 1), m.Put_string("N"), m.Put_VEC3F({0, 0, 0}), m.Put_QUATF({0, 0, 0, 1});
      m.Put_VEC3F({1, 1, 1}), m.Put_uint32(0x80000000u);
      Write("Models/Mdc" + std::to_string(which) + ".mdc", m);
      LoadAndReport(("Mdc" + std::to_string(which)).c_str());
    }
  });
  EXPECT_TRUE(counts.Clean()) << counts.out;
  EXPECT_GE(counts.Lines("count 2147483648 exceeds the data left"), 6) << counts.out;
  EXPECT_EQ(counts.Lines("\nmodel "), 6) << counts.out;
}

// A PNG of width x height declared in its header, its pixels all zero and
// packed as one fixed-Huffman deflate block: copies of 258 bytes from 1 back
// after a literal 0. 8192 x 8192 is 268 MB of pixels in about 1.6 MB.
std::vector<uint8_t> ZeroPng(uint32_t width, uint32_t height, uint64_t pixelBytes) {
  std::vector<uint8_t> z = {0x78, 0x01};
  uint32_t bits = 0, count = 0;
  auto put = [&](uint32_t value, int n, bool code) {  // Huffman codes go most significant bit first
    for (int i = 0; i < n; i++) {
      bits |= (code ? (value >> (n - 1 - i)) & 1 : (value >> i) & 1) << count;
      if (++count == 8) z.push_back(uint8_t(bits)), bits = 0, count = 0;
    }
  };
  put(1, 1, false), put(1, 2, false);  // the last block, fixed codes
  put(0x30, 8, true);                  // literal 0
  uint64_t left = pixelBytes - 1;
  for (; left >= 258; left -= 258) put(0xC5, 8, true), put(0, 5, true);  // length 258, distance 1
  for (; left > 0; left--) put(0x30, 8, true);
  put(0, 7, true);  // end of block
  if (count) z.push_back(uint8_t(bits));
  for (int i = 0; i < 4; i++) z.push_back(0);  // Adler-32, not checked by the decoder
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
    for (int s = 24; s >= 0; s -= 8) png.push_back(uint8_t(data.size() >> s));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = start; i < png.size(); i++) {
      c ^= png[i];
      for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    c ^= 0xFFFFFFFFu;
    for (int s = 24; s >= 0; s -= 8) png.push_back(uint8_t(c >> s));
  };
  std::vector<uint8_t> header(13, 0);
  for (int i = 0; i < 4; i++) header[i] = uint8_t(width >> (24 - 8 * i)), header[4 + i] = uint8_t(height >> (24 - 8 * i));
  header[8] = 8, header[9] = 6;  // 8-bit RGBA
  chunk("IHDR", header), chunk("IDAT", z), chunk("IEND", {});
  return png;
}

TEST(Limits, ImagesDeclaringHugeSizes) {
  Outcome o = RunLimited([] {
    // Just past the limit, a zlib bomb far past it, and 2^31 - 1 square.
    const uint32_t sides[3] = {4097, 8192, 0x7FFFFFFF};
    const char* names[3] = {"Textures/over.png", "Textures/bomb.png", "Textures/vast.png"};
    for (int i = 0; i < 3; i++) {
      std::vector<uint8_t> png = ZeroPng(sides[i], sides[i], i < 2 ? uint64_t(sides[i]) * (sides[i] * 4ull + 1) : 4096);
      Write(names[i], png.data(), png.size());
    }
    // DDS 65535 x 65535, 16 levels, 32-bit, with a few bytes of data.
    std::vector<uint8_t> dds(128 + 64, 0);
    const uint32_t fields[][2] = {{0, 0x20534444}, {4, 124}, {8, 0x2100F}, {12, 65535}, {16, 65535},
                                  {28, 16},        {76, 32}, {80, 0x41},   {88, 32},    {92, 0xFF0000},
                                  {96, 0xFF00},    {100, 0xFF}, {104, 0xFF000000u}, {108, 0x401008}};
    for (const auto& f : fields) std::memcpy(&dds[f[0]], &f[1], 4);
    Write("Textures/vast.dds", dds.data(), dds.size());
    Device = CreateRecordingDevice(64, 64);
    for (const char* name : {"over.png", "bomb.png", "vast.png", "vast.dds"})
      std::printf("%s\n", LoadTexture(String(name), false)->texture ? "loaded" : "refused");
    ReleaseAllTextures();
  });
  EXPECT_TRUE(o.Clean()) << o.out;
  EXPECT_EQ(o.out,
            "Loading texture \"Textures/over.png\"... D3DXERR_INVALIDDATA\nrefused\n"
            "Loading texture \"Textures/bomb.png\"... D3DXERR_INVALIDDATA\nrefused\n"
            "Loading texture \"Textures/vast.png\"... D3DXERR_INVALIDDATA\nrefused\n"
            "Loading texture \"Textures/vast.dds\"... D3DXERR_INVALIDDATA\nrefused\n");
}

TEST(Limits, ShadersOfAHundredThousandInstructions) {
  Outcome o = RunLimited([] {
    std::string text = "ps_2_0\n";
    for (int i = 0; i < 100000; i++) text += "mov r0, r0\n";
    Write("Shaders/Long.PSH", text.data(), text.size());
    Device = CreateRecordingDevice(64, 64);
    std::printf("%s\n", LoadPixelShader(String("Long"))->shader ? "created" : "refused");
    ReleaseAllPixelShaders();
    // A stream of the most instructions allowed whose end token is garbage,
    // read with no length from just before an unreadable page: the reader
    // stops at the bad token and never touches the page.
    ShaderProgram p;
    AssembleShaderText("ps_2_0\nmov r0, r0\n", 18, nullptr, p);
    p.code.assign(4096, p.code[0]);
    std::vector<uint32_t> tokens;
    SerializeShader(p, tokens);
    tokens.back() = 0xDEADBEEFu;
    const size_t page = size_t(sysconf(_SC_PAGESIZE)), bytes = tokens.size() * 4;
    const size_t span = (bytes + page - 1) / page * page;
    uint8_t* block = static_cast<uint8_t*>(mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(block + span, page, PROT_NONE);
    uint32_t* at = reinterpret_cast<uint32_t*>(block + span - bytes);
    std::memcpy(at, tokens.data(), bytes);
    std::printf("stream of %zu tokens %s\n", tokens.size(), DeserializeShader(at, p) ? "read" : "refused");
    munmap(block, span + page);
  });
  EXPECT_TRUE(o.Clean()) << o.out;
  EXPECT_EQ(o.Lines("error: program too long\n"), 1) << o.out;
  EXPECT_EQ(o.Lines("Assembling pixel shader \"Shaders/Long.PSH\"... D3DXERR_INVALIDDATA\nrefused\n"), 1) << o.out;
  EXPECT_EQ(o.Lines(" tokens refused\n"), 1) << o.out;
}

// An array that cannot get its storage stops the program with one line rather
// than writing past a block: 4,097 elements of 1 MiB need 8 GiB.
TEST(Limits, ArrayGrowthBeyondMemoryStopsWithALine) {
  if (kSanitized) GTEST_SKIP() << "needs the address-space limit";
  struct Mebibyte {
    uint8_t bytes[1 << 20];
  };
  Outcome o = RunLimited([] {
    Array<Mebibyte> a;
    a.resize(4097);
    std::printf("grown to %llu bytes\n", static_cast<unsigned long long>(a.capacity));
  });
  EXPECT_TRUE(WIFSIGNALED(o.status) && WTERMSIG(o.status) == SIGABRT) << o.out;
  EXPECT_EQ(o.out, "__ERR__ Array->Grow fail, not enough memory for 8589934592 bytes\n");
}

}  // namespace
