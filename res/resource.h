// Resource and control identifiers.
#pragma once

#define IDD_MAIN 101
#define IDI_MAIN 102

#define IDC_PLAYER 1005
#define IDC_ACTION_FIRST 1008  // radio of slot s: IDC_ACTION_FIRST + s
#define IDC_LABEL_FIRST 1021   // label of slot s: IDC_LABEL_FIRST + s
