// A fixture for the include check: a low layer that looks up at the scan layer.
#pragma once
#include "engine/table.h"
#include "platform/files.h"
#include "scan/walk.h"
