#include "ui/binding_editor.h"

#include "ui/dialog_view.h"

BindingEditor bindingEditor;

namespace {

void ShowSlot(ActionSlot slot) {
    ShowLabel(slot, FormatBindingLabel(BindingAt(bindingEditor.player, slot)).text);
}

void ShowRow() {
    for (ActionSlot slot = 0; slot < ACTION_COUNT; ++slot) ShowSlot(slot);
}

}  // namespace

void OnInit() {
    LoadResult loaded = LoadBindings();
    ShowRow();
    // Told before anything is edited: the defaults shown would replace the player's file.
    if (loaded.failed) ShowLoadFailedNotice(loaded.error);
}

void OnTick() {
    BindingEditor& editor = bindingEditor;
    // Nothing is assigned until the controller that assigned last, and every key, has been
    // let go once: the one that assigned, even if a plug gave it another number or the
    // player shown changed. What the other controllers hold never keeps the latch.
    Binding input;
    ControllerId from = 0;
    if (editor.latch) {
        editor.latch = IsHeld(editor.latchedBy);
        if (editor.latch) {
            // What the shown player's controller holds meanwhile was pressed under the latch.
            editor.heldUnderLatch = CaptureInput(editor.player + 1, input, from) ? from : 0;
            return;
        }
    }
    // Only the shown player's own controller assigns, whatever the others hold.
    if (!CaptureInput(editor.player + 1, input, from)) {
        editor.heldUnderLatch = 0;
        return;
    }
    editor.latch = true;
    editor.latchedBy = from;
    // A press that began under the latch is no new one: it latches until it is let go.
    if (from == editor.heldUnderLatch) return;

    int swapped = SwapDuplicate(input);
    BindingAt(editor.player, editor.cursor) = input;
    if (swapped >= 0) ShowSlot(swapped);
    ShowSlot(editor.cursor);

    SetRadioCheck(editor.cursor, false);
    editor.cursor = (editor.cursor + 1) % ACTION_COUNT;
    SetRadioCheck(editor.cursor, true);
}

int SwapDuplicate(Binding binding) {
    const BindingEditor& editor = bindingEditor;
    for (ActionSlot slot = 0; slot < ACTION_COUNT; ++slot) {
        if (slot == editor.cursor || BindingAt(editor.player, slot) != binding) continue;
        Binding held = BindingAt(editor.player, slot);
        BindingAt(editor.player, slot) = BindingAt(editor.player, editor.cursor);
        BindingAt(editor.player, editor.cursor) = held;
        return slot;
    }
    return -1;
}

void OnSlotChosen(ActionSlot slot) { bindingEditor.cursor = slot; }

void OnPlayerChosen(int index) {
    // A list without a selection reports -1: keep the row shown.
    if (index < 0 || index >= PLAYER_COUNT) return;
    bindingEditor.player = index;
    ShowRow();
}

void OnConfirm() {
    // A failed save keeps the dialog and every edit, so the player can retry or cancel.
    SaveResult result = SaveBindings();
    if (result.status != SAVED) {
        ShowSaveFailedNotice(result);
        return;
    }
    ShowSavedNotice();
    CloseDialog();
}

void OnCancel() { CloseDialog(); }
