#pragma once

#include "engine/step_engine.h"

// The command behind the Step #1 button: writes the baseline of the ticked areas.
void RunStep1();
// The command behind the Step #2 button: writes what is new since the baseline.
void RunStep2();
