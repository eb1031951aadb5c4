// Resource and control ids of the plug-in's dialogs (shared by C++ and the resource script).
#pragma once

#define IDD_ALPHA_PAGE 1288
#define IDD_CUSTOM_OPACITY 1289

#define HOST_TAB_CONTROL 1279

// Custom Opacity dialog
#define IDC_CUSTOM_SLIDER 1309
#define IDC_CUSTOM_FRAME 1311

// Controls of IDD_ALPHA_PAGE. Each slider's value label has the id one above the slider.
#define IDC_OPACITY_GROUP 1345
#define IDC_LINK_ALL 1401
#define IDC_AUTO_NONE 1410
#define IDC_AUTO_FOCUS 1411
#define IDC_AUTO_HOVER 1412
#define IDC_OPACITY_SLIDER 1415
#define IDC_OPACITY_VALUE 1416
#define IDC_OPACITY_TRANSPARENT 1417
#define IDC_OPACITY_OPAQUE 1418
#define IDC_AUTO_GROUP 1346
#define IDC_AUTO_HINT 1347
#define IDC_FADEIN_CAPTION 1348
#define IDC_FADEOUT_CAPTION 1349
#define IDC_HOLD_CAPTION 1350
#define IDC_INFO_GROUP 1351
#define IDC_FADEIN_SLIDER 1420
#define IDC_FADEIN_VALUE 1421
#define IDC_HOLD_SLIDER 1422
#define IDC_HOLD_VALUE 1423
#define IDC_FADEOUT_SLIDER 1424
#define IDC_FADEOUT_VALUE 1425
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
