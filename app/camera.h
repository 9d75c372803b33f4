// Camera-control values of the input pass: what the mouse edits and how, and
// which cursor symbol is drawn. The eye itself (CameraPosition,
// CameraOrientation, FieldOfView) is the view state of the drawing set-up.
#pragma once
#include <cstdint>

#include "foundation/math.h"

extern Quat LookOrientation;     // what the mouse turns; world, or relative to the camera mount
extern bool FreeCamera;          // keyboard flies the camera, mouse turns it directly
extern double MouseX, MouseY;    // client pixels: cursor, or the mouse-look anchor
extern bool MouseInside;         // cursor inside the client area at the last reading
extern bool MouseLookLock;       // mouse look latched on without a button
extern double LookSensitivityX;  // degrees of turn per pixel per degree of scale
extern double LookSensitivityY;
extern bool ScaleLookByFov;      // scale the turn by FieldOfView (else by 90)
extern int32_t CursorKind;       // cursor symbol, 0 = "Cursor Default"

// The free camera's keys go by their place on the keyboard, not by the letter
// printed on them: forward, back, right, left, up, down sit where W, S, D, A,
// R and F are on a US keyboard (FreeCameraPlaces, from the settings), and
// FreeCameraKeys holds the codes the keys at those places give on the current
// layout (set every frame; the US letters themselves until then).
extern char FreeCameraPlaces[6];
extern uint32_t FreeCameraKeys[6];
