// Font descriptions (".fnt"): the atlas texture, its size and the symbol
// table, read token by token; the font registry.
#include "assets/font.h"

#include <cstring>
#include <new>
#include <string>

#include "assets/drawing_hooks.h"
#include "foundation/log.h"

Font* FontRegistry = nullptr;
Font* CurrentFont = nullptr;

namespace {

// A grid larger than this is a damaged file, not an atlas; and a font holds
// at most this many symbols in all (a real one has a few hundred), however
// many blocks ask for more.
constexpr int32_t kMaxArraySymbols = 65536;
constexpr uint32_t kMaxFontSymbols = 65536;

// Exact token comparison: size and bytes, so a quoted token holding a NUL
// never passes for a keyword.
bool Is(const String& token, const char* keyword) {
  uint32_t n = uint32_t(std::strlen(keyword));
  return token.size == n + 1 && std::memcmp(token.data, keyword, n) == 0;
}

bool Empty(const String& token) { return token.size <= 1; }

void AppendSymbol(Font* font, const String& key, double x, double y, const double size[2]) {
  font->symbols.resize(font->symbols.count + 1);
  FontSymbol& s = *new (&font->symbols[font->symbols.count - 1]) FontSymbol();
  s.key = key;
  s.left = x / font->textureWidth;
  s.top = y / font->textureHeight;
  s.right = (x + size[0]) / font->textureWidth;
  s.bottom = (y + size[1]) / font->textureHeight;
  s.aspect = size[0] / size[1];
}

// The reader's state: the buffer and whether reading has to stop.
class FontReader {
 public:
  FontReader(Font* font, MEM& buffer) : font_(font), buffer_(buffer) {}

  void Run() {
    while (!stop_) {
      String token = NextToken(buffer_);
      if (Empty(token)) return;
      if (Is(token, "Texture")) {
        String file;
        if (!Value(file)) return;
        if (font_->texture) {
          Log("FNT: Only one texture supported!\n");
        } else {
          if (Drawing.loadTexture) font_->texture = Drawing.loadTexture(file, false);
        }
      } else if (Is(token, "TextureSize")) {
        String text;
        double size[2];
        if (!Value(text) || !Vec2(text, size)) return;
        if (size[0] == 0 || size[1] == 0) {
          // A zero size would make every texture coordinate infinite.
          Log("FNT: TextureSize \"%s\" refused, a size must not be 0\n", text.c_str());
          continue;
        }
        font_->textureWidth = size[0];
        font_->textureHeight = size[1];
        // One reference is kept however often the size is given.
        if (!font_->pixelShader && Drawing.loadPixelShader) font_->pixelShader = Drawing.loadPixelShader(String("font"));
      } else if (Is(token, "SymbolArray")) {
        SymbolArray();
      } else if (Is(token, "Symbol")) {
        Symbol();
      } else {
        Log("Wrong word: \"%s\"\n", token.c_str());
      }
    }
  }

 private:
  // The next token as an entry's value; the end of the file stops reading.
  bool Value(String& out) {
    out = NextToken(buffer_);
    if (Empty(out)) {
      Log("ERROR: Unexpected EOF!\n");
      stop_ = true;
      return false;
    }
    return true;
  }
  // Conversions print their own line on failure; reading then stops.
  bool Int(const String& text, int32_t& out) {
    bool ok = false;
    int32_t v = text.toint(&ok);
    if (!ok) {
      stop_ = true;
      return false;
    }
    out = v;
    return true;
  }
  bool Vec2(const String& text, double out[2]) {
    bool ok = false;
    double v[2];
    text.toVEC2(v, &ok);
    if (!ok) {
      stop_ = true;
      return false;
    }
    out[0] = v[0];
    out[1] = v[1];
    return true;
  }
  // The block's name and its opening brace.
  bool BlockHead(String& name) {
    if (!Value(name)) return false;
    String brace;
    if (!Value(brace)) return false;
    if (!Is(brace, "{")) {
      Log("ERROR: \"{\" not found!\n");
      stop_ = true;
      return false;
    }
    return true;
  }

  void SymbolArray() {
    String name;
    if (!BlockHead(name)) return;
    int32_t symbols = 256, rowLen = 16, rowStart = 0;
    double size[2] = {43, 72}, step[2] = {51, 80}, startPos[2] = {4, 4};
    for (;;) {
      String token;
      if (!Value(token)) return;
      String value;
      if (Is(token, "Symbols")) {
        if (!Value(value) || !Int(value, symbols)) return;
      } else if (Is(token, "RowLen")) {
        if (!Value(value) || !Int(value, rowLen)) return;
      } else if (Is(token, "RowStart")) {
        if (!Value(value) || !Int(value, rowStart)) return;
      } else if (Is(token, "Size")) {
        if (!Value(value) || !Vec2(value, size)) return;
      } else if (Is(token, "Step")) {
        if (!Value(value) || !Vec2(value, step)) return;
      } else if (Is(token, "StartPos")) {
        if (!Value(value) || !Vec2(value, startPos)) return;
      } else if (Is(token, "}")) {
        break;
      } else {
        Log("Wrong word: \"%s\"\n", token.c_str());
      }
    }
    // A zero row length cannot be divided by, and a negative or huge count
    // would mean billions of symbols.
    if (rowLen == 0) {
      Log("FNT: SymbolArray \"%s\" refused, RowLen must not be 0\n", name.c_str());
      return;
    }
    if (symbols < 0 || symbols > kMaxArraySymbols) {
      Log("FNT: SymbolArray \"%s\" refused, Symbols %d out of range\n", name.c_str(), symbols);
      return;
    }
    if (!Room(uint32_t(symbols))) return;
    for (uint32_t i = 0; i < uint32_t(symbols); i++) {
      uint32_t cell = uint32_t(rowStart) + i;
      uint32_t row = cell / uint32_t(rowLen);
      uint32_t column = cell % uint32_t(rowLen);
      double x = column * step[0] + startPos[0];
      double y = row * step[1] + startPos[1];
      AppendSymbol(font_, name, x, y, size);
    }
  }

  void Symbol() {
    String name;
    if (!BlockHead(name)) return;
    double pos[2] = {4, 4}, size[2] = {43, 72};
    for (;;) {
      String token;
      if (!Value(token)) return;
      String value;
      if (Is(token, "Pos")) {
        if (!Value(value) || !Vec2(value, pos)) return;
      } else if (Is(token, "Size")) {
        if (!Value(value) || !Vec2(value, size)) return;
      } else if (Is(token, "}")) {
        break;
      } else {
        Log("Wrong word: \"%s\"\n", token.c_str());
      }
    }
    if (Room(1)) AppendSymbol(font_, name, pos[0], pos[1], size);
  }

  // Whether n more symbols fit the font's total; the first refusal says so
  // and stops reading, as any other damaged entry does.
  bool Room(uint32_t n) {
    if (font_->symbols.count + uint64_t(n) <= kMaxFontSymbols) return true;
    Log("FNT: more than %u symbols, the rest of the file is ignored\n", kMaxFontSymbols);
    stop_ = true;
    return false;
  }

  Font* font_;
  MEM& buffer_;
  bool stop_ = false;
};

void UnlinkFont(Font* font) {
  if (font->next) font->next->prev = font->prev;
  if (font->prev)
    font->prev->next = font->next;
  else if (FontRegistry == font)
    FontRegistry = font->next;
  font->prev = font->next = nullptr;
}

void DestroyFont(Font* font) {
  // Only the drawing side's loads fill these, so its hooks are there to drop them.
  if (font->texture) Drawing.releaseTexture(font->texture);
  if (font->pixelShader) Drawing.releasePixelShader(font->pixelShader);
  font->symbols.clear();
  if (CurrentFont == font) CurrentFont = nullptr;
  delete font;
}

}  // namespace

void ReadFont(Font* font) {
  if (font->loaded) return;
  font->loaded = 1;  // before reading: a failed font is never read again
  std::string path = "Fonts/";
  path += font->name.c_str();
  path += ".fnt";
  MEM buffer;
  LoadFile(path.c_str(), buffer);
  if (buffer.size == 0) return;
  FontReader(font, buffer).Run();
}

Font* LoadFont(const String& name) {
  for (Font* f = FontRegistry; f; f = f->next) {
    if (f->name == name) {
      f->refs++;
      return f;
    }
  }
  Font* font = new Font();
  font->name = name;
  font->next = FontRegistry;
  if (FontRegistry) FontRegistry->prev = font;
  FontRegistry = font;
  ReadFont(font);
  return font;
}

void ReleaseFont(Font* font) {
  if (font->refs <= 1) {
    UnlinkFont(font);
    DestroyFont(font);
  } else {
    font->refs--;
  }
}

void ReleaseAllFonts() {
  while (FontRegistry) ReleaseFont(FontRegistry);
}

int32_t FindSymbol(const String& name) {
  if (!CurrentFont) return -1;
  for (uint32_t i = 0; i < CurrentFont->symbols.count; i++) {
    if (CurrentFont->symbols[i].key == name) return int32_t(i);
  }
  return -1;
}
