// tarn-content: builds the simulator's content into a run directory, or its
// icon into an icon folder.
//   tarn-content <content source folder> <output folder> [font file]
//   tarn-content --icons <icon folder>
#include <cstring>

#include "content/builders.h"
#include "foundation/log.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--icons") == 0) return content::BuildIcons(argv[2]) ? 0 : 1;
  if (argc < 3) {
    Log("usage: tarn-content <content source folder> <output folder> [font.ttf]\n"
        "       tarn-content --icons <icon folder>\n");
    return 2;
  }
  const char* font = argc > 3 ? argv[3] : "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
  return content::BuildContent(argv[1], argv[2], font) ? 0 : 1;
}
