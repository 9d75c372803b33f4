// Font description reading, symbol tables, the font registry and FindSymbol.
#include "test_support.h"

namespace {

class FontTest : public AssetTest {
 protected:
  Font* Load(const std::string& text, std::string* log = nullptr) {
    WriteText("Fonts/t.fnt", text);
    LogCapture capture;
    Font* f = LoadFont(String("t"));
    if (log) *log = capture.text();
    return f;
  }
};

// The grid of an array given in full and a named symbol, in fractions of a
// texture wider than high (the real font's cells are checked on the content).
TEST_F(FontTest, SymbolArrayNamedSymbolAndFindSymbol) {
  std::string log;
  Font* f = Load(
      "// the head-up font\nTextureSize \"1024 512\"\n"
      "SymbolArray Text { RowStart 32 Symbols 96 RowLen 16 Size \"10 20\" Step \"12 22\" StartPos \"1 2\" }\n"
      "/* cursors */ Symbol \"Cursor Default\" { Pos \"10 20\" Size=\"30,40\" }\n",
      &log);
  EXPECT_EQ(log, "");
  ASSERT_EQ(f->symbols.count, 97u);
  const FontSymbol& t = f->symbols[17];  // cell 49: row 3, column 1
  EXPECT_EQ(t.key, String("Text"));
  EXPECT_TRUE(t.left == 13 / 1024.0 && t.top == 68 / 512.0 && t.right == 23 / 1024.0);
  const FontSymbol& c = f->symbols[96];
  EXPECT_TRUE(c.left == 10 / 1024.0 && c.bottom == 60 / 512.0 && c.aspect == 0.75);

  CurrentFont = f;
  EXPECT_TRUE(FindSymbol(String("Cursor Default")) == 96 && FindSymbol(String("Text")) == 0);
  EXPECT_EQ(FindSymbol(String("Cursor Cross")), -1);
  CurrentFont = nullptr;
  EXPECT_EQ(FindSymbol(String("Text")), -1);
}

// Each bad description with its exact lines and the symbols that remain.
TEST_F(FontTest, MessagesAndStops) {
  const struct { const char *text, *log; uint32_t symbols; } cases[] = {
      {"Texture a.png Texture b.png Bogus TextureSize \"64 64\" Symbol S { Pos \"1 1\" }",
       "FNT: Only one texture supported!\nWrong word: \"Bogus\"\n", 1},
      {"TextureSize \"64 64\" SymbolArray Letters [ Symbols 3 } Symbol X { }", "ERROR: \"{\" not found!\n", 0},
      // A misspelt keyword, then its value read as a keyword too.
      {"TextureSize \"64 64\" SymbolArray A { Symbol 3 RowLen 4 Symbols 2 }",
       "Wrong word: \"Symbol\"\nWrong word: \"3\"\n", 2},
      {"TextureSize \"64 64\" SymbolArray A { Symbols 2 } Texture", "ERROR: Unexpected EOF!\n", 2},  // read stays
      // A failed conversion prints its own line and ends reading.
      {"TextureSize \"64 64\" SymbolArray A { Symbols 2x } Symbol B { }", "String->toint error! \"2x\", 1\n", 0},
      {"TextureSize \"64 64\" SymbolArray A { RowLen 0 } SymbolArray B { Symbols -3 } SymbolArray C { Symbols 2 }",
       "FNT: SymbolArray \"A\" refused, RowLen must not be 0\n"
       "FNT: SymbolArray \"B\" refused, Symbols -3 out of range\n",
       2},
      {"TextureSize \"64\" Symbol B { }", "FNT: TextureSize \"64\" refused, a size must not be 0\n", 1},
  };
  for (const auto& c : cases) {
    std::string log;
    EXPECT_EQ(Load(c.text, &log)->symbols.count, c.symbols) << c.text;
    EXPECT_EQ(log, c.log) << c.text;
    ReleaseAllFonts();
  }
  EXPECT_EQ(Load(cases[0].text)->texture->name, String("a.png"));  // the first texture stays
  ReleaseAllFonts();
  Font* f = Load(cases[6].text);  // a refused size (one number: (64, 0)) leaves no size and no shader
  EXPECT_TRUE(f->textureWidth == 0 && f->pixelShader == nullptr);
}

TEST_F(FontTest, RegistryReadsOnceAndReleases) {
  WriteText("Fonts/basic.fnt", "Bogus");
  LogCapture log;
  Font* a = LoadFont(String("basic"));
  EXPECT_TRUE(LoadFont(String("basic")) == a && a->refs == 2);
  EXPECT_EQ(log.text(), "Wrong word: \"Bogus\"\n");  // read once
  Font* missing = LoadFont(String("none"));
  EXPECT_EQ(log.lines()[1], "Unable to load file \"Fonts/none.fnt\": (ERROR_FILE_NOT_FOUND)");
  EXPECT_TRUE(missing->symbols.count == 0 && missing->loaded == 1 && FontRegistry == missing);
  CurrentFont = a;
  ReleaseFont(a);
  EXPECT_EQ(a->refs, 1u);
  ReleaseAllFonts();
  EXPECT_TRUE(FontRegistry == nullptr && CurrentFont == nullptr);

  // One shader reference however often the size is given: all freed with the font.
  const uint32_t objects = MemoryObjectCount;
  ASSERT_NE(Load("Texture x.png TextureSize \"8 8\" TextureSize \"16 16\"")->pixelShader, nullptr);
  ReleaseAllFonts();
  EXPECT_TRUE(TextureList == nullptr && PixelShaderList == nullptr && MemoryObjectCount == objects);
}

}  // namespace
