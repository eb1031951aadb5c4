// Resource and control ids of the plug-in's dialogs (shared by C++ and the resource script).
#pragma once

#define IDD_ALPHA_PAGE 1288
#define IDD_CUSTOM_OPACITY 1289

#define HOST_TAB_CONTROL 1279

// Custom Opacity dialog
#define IDC_CUSTOM_SLIDER 1309
#define IDC_CUSTOM_FRAME 1311
