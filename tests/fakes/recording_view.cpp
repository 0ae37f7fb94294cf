#include "fakes/recording_view.h"

#include "ui/dialog_view.h"

std::vector<std::string> viewCalls;

void ShowLabel(ActionSlot slot, const char* text) {
    viewCalls.push_back("label " + std::to_string(slot) + " " + text);
}
void SetRadioCheck(ActionSlot slot, bool on) {
    viewCalls.push_back("check " + std::to_string(slot) + (on ? " on" : " off"));
}
void ShowSavedNotice() { viewCalls.push_back("saved"); }
void ShowLoadFailedNotice(unsigned long error) { viewCalls.push_back("load failed " + std::to_string(error)); }
void ShowSaveFailedNotice(SaveResult result) { viewCalls.push_back("save failed " + std::to_string(result.status)); }
void CloseDialog() { viewCalls.push_back("close"); }
