// The fixed scenery (sky box and island) and the composition of a frame's
// picture: sky around the eye, island, aircraft, head-up text.
#pragma once

struct MDL;
struct TextureRecord;
struct PixelShaderRecord;
struct VertexShaderRecord;

extern MDL* SkyModel;                       // "InvBox"
extern TextureRecord* texture_skycube;      // "SkyCube.dds", cube map on stage 7
extern PixelShaderRecord* SkyPixelShader;   // "Sky"
extern VertexShaderRecord* SkyVertexShader; // "Sky"
extern MDL* IslandModel;                    // "DivadiZarov", also the ground mesh
extern TextureRecord* texture_island;       // "Island.png" on stage 0
extern PixelShaderRecord* IslandPixelShader;   // "Ground"
extern VertexShaderRecord* IslandVertexShader; // "Ground"
// Drawn with the island's shaders: the open sea beyond the ground's edge, and
// the grain laid over both at close range.
extern MDL* OpenSeaModel;                   // "OpenSea"
extern TextureRecord* texture_detail;       // "Detail.png" on stage 1
// The windsock, drawn only while the air moves (a still-air frame is the
// frame it always was).
extern MDL* WindsockModel;                  // "Windsock": nodes "Mast" and "Sock"
extern TextureRecord* texture_windsock;     // "Windsock.png" on stage 0
// The windsock's shaders, and the island's should the detail texture be missing.
extern PixelShaderRecord* PlainPixelShader;   // "Textured"
extern VertexShaderRecord* PlainVertexShader; // "Default"

// Loads the scenery, fills the ground mesh from the island and empties the
// entity list. Start-up only.
void BuildScene();
// Sky, island, aircraft and the heading and altitude read-out.
void DrawScene();
// The aircraft from its bodies' poses plus its speed read-out.
void DrawAircraft();

// Heading of a view orientation: its forward axis (+Y) in the ground plane,
// degrees from world +Y toward +X, in [0, 360).
double HeadingDegrees(const struct Quat& orientation);
