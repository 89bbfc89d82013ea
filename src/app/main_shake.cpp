#include "app/main_form.h"

namespace velmora {

void MainForm::Shake() {}

void MainForm::Timer2_Timer() {}

}  // namespace velmora
