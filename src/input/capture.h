// Which input is pressed right now, if any.
#pragma once

#include "bindings/bindings.h"

// A controller's device for as long as it stays attached, whatever number the others'
// coming and going give it; 0 is none.
typedef unsigned long ControllerId;

// Polls every controller, then reports the first pressed input of controller `source`
// (1 and up), buttons first, then down, right, left, up, whatever the others hold, and
// which device that is. Leaves both untouched and returns false when it holds nothing.
bool CaptureInput(int source, Binding& binding, ControllerId& controller);

// Polls every controller, then says whether `controller`, whatever its number now, or any
// key (but the left mouse button and the codes from 240 on) is held.
bool IsHeld(ControllerId controller);
