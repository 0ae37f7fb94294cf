// The window operations the editor asks for; the dialog defines them.
#pragma once

#include "bindings/bindings.h"

void ShowLabel(ActionSlot slot, const char* text);
void SetRadioCheck(ActionSlot slot, bool on);
void ShowSavedNotice();
// That "config.ini" is there but could not be read, why, and that a confirm replaces it.
void ShowLoadFailedNotice(unsigned long error);
// Why the save failed, and what the player can do about it.
void ShowSaveFailedNotice(SaveResult result);
void CloseDialog();
