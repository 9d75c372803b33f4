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

TEST_F(FontTest, DefaultSymbolArrayAndNamedSymbols) {
  std::string log;
  Font* f = Load(
      "// the head-up font\n"
      "Texture \"font.png\"\n"
      "TextureSize \"1024 1024\"\n"
      "SymbolArray Chars { }\n"
      "/* cursors */ Symbol \"Cursor Default\" { Pos \"10 20\" Size=\"30,40\" }\n",
      &log);
  EXPECT_EQ(log, "");
  ASSERT_EQ(f->symbols.count, 257u);
  EXPECT_EQ(f->textureWidth, 1024.0);
  EXPECT_EQ(f->symbols[17].key, String("Chars"));
  const FontSymbol& c = f->symbols[256];
  EXPECT_EQ(c.left, 10 / 1024.0);
  EXPECT_EQ(c.bottom, 60 / 1024.0);
  EXPECT_EQ(c.aspect, 0.75);
  ASSERT_NE(f->texture, nullptr);
  EXPECT_EQ(f->texture->name, String("font.png"));
  ASSERT_NE(f->pixelShader, nullptr);

  CurrentFont = f;
  EXPECT_EQ(FindSymbol(String("Cursor Default")), 256);
  EXPECT_EQ(FindSymbol(String("Chars")), 0);
  EXPECT_EQ(FindSymbol(String("Cursor Cross")), -1);
  CurrentFont = nullptr;
  EXPECT_EQ(FindSymbol(String("Chars")), -1);
}

TEST_F(FontTest, ArrayEntriesPlaceTheGrid) {
  Font* f = Load(
      "TextureSize \"512 256\"\n"
      "SymbolArray Text { RowStart 32 Symbols 96 RowLen 16 Size \"10 20\" Step \"12 22\" StartPos \"1 2\" }\n");
  ASSERT_EQ(f->symbols.count, 96u);
  EXPECT_EQ(f->symbols[0].left, 1 / 512.0);               // row 2, column 0
  EXPECT_EQ(f->symbols[0].top, (2 * 22 + 2) / 256.0);
  EXPECT_EQ(f->symbols[17].left, (1 * 12 + 1) / 512.0);  // cell 49: row 3, column 1
  EXPECT_EQ(f->symbols[17].top, (3 * 22 + 2) / 256.0);
  EXPECT_EQ(f->symbols[17].right, (1 * 12 + 1 + 10) / 512.0);
}

TEST_F(FontTest, MessagesAndStops) {
  std::string log;
  Font* f = Load("Texture a.png Texture b.png Bogus TextureSize \"64 64\" Symbol S { Pos \"1 1\" }", &log);
  EXPECT_EQ(log, "FNT: Only one texture supported!\nWrong word: \"Bogus\"\n");
  EXPECT_EQ(f->texture->name, String("a.png"));
  EXPECT_EQ(f->symbols.count, 1u);
  ReleaseAllFonts();

  f = Load("TextureSize \"64 64\" SymbolArray Letters [ Symbols 3 } Symbol X { }", &log);
  EXPECT_EQ(log, "ERROR: \"{\" not found!\n");
  EXPECT_EQ(f->symbols.count, 0u);
  ReleaseAllFonts();

  // A misspelt keyword, then its value read as a keyword too.
  f = Load("TextureSize \"64 64\" SymbolArray A { Symbol 3 RowLen 4 Symbols 2 }", &log);
  EXPECT_EQ(log, "Wrong word: \"Symbol\"\nWrong word: \"3\"\n");
  EXPECT_EQ(f->symbols.count, 2u);
  ReleaseAllFonts();

  f = Load("TextureSize \"64 64\" SymbolArray A { Symbols 2 } Texture", &log);
  EXPECT_EQ(log, "ERROR: Unexpected EOF!\n");
  EXPECT_EQ(f->symbols.count, 2u);  // what was read stays
  ReleaseAllFonts();

  // A failed conversion prints its own line and ends reading.
  f = Load("TextureSize \"64 64\" SymbolArray A { Symbols 2x } Symbol B { }", &log);
  EXPECT_EQ(log, "String->toint error! \"2x\", 1\n");
  EXPECT_EQ(f->symbols.count, 0u);
  ReleaseAllFonts();

  f = Load("TextureSize \"64\" Symbol B { }", &log);  // one number: (64, 0)
  EXPECT_EQ(log, "FNT: TextureSize \"64\" refused, a size must not be 0\n");
  EXPECT_EQ(f->textureWidth, 0.0);
  EXPECT_EQ(f->pixelShader, nullptr);
  ReleaseAllFonts();

  f = Load("TextureSize \"64 64\" SymbolArray A { RowLen 0 } SymbolArray B { Symbols -3 } "
           "SymbolArray C { Symbols 2 }",
           &log);
  EXPECT_EQ(log,
            "FNT: SymbolArray \"A\" refused, RowLen must not be 0\n"
            "FNT: SymbolArray \"B\" refused, Symbols -3 out of range\n");
  EXPECT_EQ(f->symbols.count, 2u);
  EXPECT_EQ(f->symbols[0].key, String("C"));
}

TEST_F(FontTest, RegistryReadsOnceAndReleases) {
  WriteText("Fonts/basic.fnt", "Bogus");
  LogCapture log;
  Font* a = LoadFont(String("basic"));
  Font* b = LoadFont(String("basic"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->refs, 2u);
  EXPECT_EQ(log.text(), "Wrong word: \"Bogus\"\n");  // read once
  Font* missing = LoadFont(String("none"));
  EXPECT_EQ(log.lines()[1], "Unable to load file \"Fonts/none.fnt\": (ERROR_FILE_NOT_FOUND)");
  EXPECT_EQ(missing->symbols.count, 0u);
  EXPECT_EQ(missing->loaded, 1);
  EXPECT_EQ(FontRegistry, missing);
  CurrentFont = a;
  ReleaseFont(a);
  EXPECT_EQ(a->refs, 1u);
  ReleaseAllFonts();
  EXPECT_EQ(FontRegistry, nullptr);
  EXPECT_EQ(CurrentFont, nullptr);

  const uint32_t objects = MemoryObjectCount;
  Font* f = Load("Texture x.png TextureSize \"8 8\" TextureSize \"16 16\"");
  EXPECT_EQ(f->textureWidth, 16.0);
  ASSERT_NE(PixelShaderList, nullptr);
  EXPECT_EQ(PixelShaderList->refs, 1u);  // one reference however often the size is given
  ReleaseAllFonts();
  EXPECT_EQ(TextureList, nullptr);
  EXPECT_EQ(PixelShaderList, nullptr);
  EXPECT_EQ(MemoryObjectCount, objects);
}

}  // namespace
