#include "assets/drawing_hooks.h"

DrawingHooks Drawing;
