// The physics subsystem in one include.
#pragma once
#include "physics/axis.h"
#include "physics/body.h"
#include "physics/entity.h"
#include "physics/ground.h"
#include "physics/strap.h"
#include "physics/surface.h"
