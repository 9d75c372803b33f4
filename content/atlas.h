// Where each material lies in the aircraft's two textures. The texture
// painters and the model's texture coordinates both read these.
#pragma once
#include "content/mesh.h"

namespace content {
namespace atlas {

// "TarnPlane/Body.png": four quadrants.
constexpr Region kFabric{0.01, 0.01, 0.49, 0.49};    // doped wing linen with ribs
constexpr Region kPlanks{0.51, 0.01, 0.99, 0.49};    // light wooden hull planking
constexpr Region kGores{0.01, 0.51, 0.49, 0.99};     // the balloon's striped gores
constexpr Region kDarkWood{0.51, 0.51, 0.99, 0.99};  // varnished struts and fittings

// "TarnPlane/Cockpit.tga": opaque top half, see-through bottom half.
constexpr Region kPanelFace{0.01, 0.01, 0.49, 0.49};  // instrument dials
constexpr Region kSeat{0.51, 0.01, 0.99, 0.49};       // quilted leather
constexpr Region kGlass{0.01, 0.51, 0.99, 0.99};      // tinted canopy glass and frame

}  // namespace atlas
}  // namespace content
