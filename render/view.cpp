#include "render/view.h"

Vec3 CameraPosition = {0, 0, 0};
Quat CameraOrientation = {0, 0, 0, 1};
double FieldOfView = 60;
Vec3 LightDirection = {0.4082482904638630, 0.4082482904638630, 0.8164965809277260};
float ShaderColour0[3] = {0.12f, 0.24f, 0.36f};
float ShaderColour1[3] = {0.77f, 0.66f, 0.55f};
float ShaderColour3[3] = {0.56f, 0.49f, 0.42f};

double HeadUpScale = 1;
int32_t ScreenCentreX = 0, ScreenCentreY = 0;
int32_t ScreenLeft = 0, ScreenTop = 0;
int32_t ScreenRight = 0, ScreenBottom = 0;
