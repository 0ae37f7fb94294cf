#include "ui/binding_editor.h"

#include "input/capture.h"
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
    Binding input;
    // Nothing is assigned until every input has been let go once, keys included.
    if (editor.latch) {
        editor.latch = CaptureInput(input, true);
        if (editor.latch) return;
    }
    // Only the shown player's own controller assigns; keys never do, so they need not
    // be read here.
    if (!CaptureInput(input, false)) return;
    if (input.source != editor.player + 1) return;
    editor.latch = true;

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
