#pragma once
// Where FakeBoard finds its base while it still lives here; the devices are in sim/serve/.
#include "sim/serve/board_device.h"
