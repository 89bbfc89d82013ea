// Resource numbers shared by velmora.rc and the adapter.
#pragma once

#define IDI_MAIN 1
#define IDI_TRAY 2
#define IDR_POPUP_BACKGROUND 3
// The background drawn for 125, 150 and 200 % scaling.
#define IDR_POPUP_BACKGROUND_125 4
#define IDR_POPUP_BACKGROUND_150 5
#define IDR_POPUP_BACKGROUND_200 6
