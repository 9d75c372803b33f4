#include "platform/gpu/device.h"

IDirect3DDevice9* Device = nullptr;
