// The window operations the editor asks for; the dialog defines them.
#pragma once

#include "bindings/bindings.h"

void ShowLabel(ActionSlot slot, const char* text);
void SetRadioCheck(ActionSlot slot, bool on);
void ShowSavedNotice();
// Why the save failed, and what the player can do about it.
void ShowSaveFailedNotice(SaveResult result);
void CloseDialog();
