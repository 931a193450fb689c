// A fixture for the include check: a higher layer that looks down, as it may.
#pragma once
#include "engine/hash.h"
#include "threats/threat_list.h"
