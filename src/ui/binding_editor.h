// The logic behind the dialog: which row is shown, which action waits for an input,
// and what an input does. It reaches the window only through the DialogView.
#pragma once

#include "bindings/bindings.h"
#include "input/capture.h"

struct BindingEditor {
    int player;         // 0..3, the row shown and edited
    ActionSlot cursor;  // the slot the next accepted input goes to
    bool latch;         // set by an assignment until its controller and the keys are let go
    ControllerId latchedBy;  // the controller that assigned last, wherever it is listed now
    ControllerId heldUnderLatch;  // the shown player's, holding at the last latched tick; or 0
};

extern BindingEditor bindingEditor;

void OnInit();
void OnTick();
void OnSlotChosen(ActionSlot slot);
void OnPlayerChosen(int index);
void OnConfirm();
void OnCancel();

// Moves the cursor's old binding to the first other slot of the shown row that holds
// `binding`; returns that slot, or -1 when there is none.
int SwapDuplicate(Binding binding);
