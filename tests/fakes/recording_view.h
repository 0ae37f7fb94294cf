// A DialogView that writes down what the editor asked for, one line per call:
// "label 3 KEY_A", "check 0 off", "saved", "save failed 4" (with the save's status), "close".
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> viewCalls;
