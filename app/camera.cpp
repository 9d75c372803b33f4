#include "app/camera.h"

Quat LookOrientation = {0, 0, 0, 1};
bool FreeCamera = true;
double MouseX = 0, MouseY = 0;
bool MouseInside = false;
bool MouseLookLock = false;
double LookSensitivityX = 0.0023;
double LookSensitivityY = 0.0023;
bool ScaleLookByFov = true;
int32_t CursorKind = 0;
char FreeCameraPlaces[6] = {'W', 'S', 'D', 'A', 'R', 'F'};
uint32_t FreeCameraKeys[6] = {'W', 'S', 'D', 'A', 'R', 'F'};
