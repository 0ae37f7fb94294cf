// Which input is pressed right now, if any.
#pragma once

#include "bindings/bindings.h"

// Polls every controller, then, when `withKeyboard`, the keyboard; reports the first
// pressed input (controllers in order, buttons before directions, keyboard last).
// Leaves `binding` untouched and returns false when nothing is pressed.
bool CaptureInput(Binding& binding, bool withKeyboard);
