// Resource numbers shared by velmora.rc and the adapter.
#pragma once

#define IDI_MAIN 1
#define IDI_TRAY 2
#define IDR_POPUP_BACKGROUND 3
