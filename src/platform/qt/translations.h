// Qt's own texts in the desktop's language.
#pragma once

#include <QCoreApplication>

namespace velmora::qt {

// Loads Qt's translation of its own texts (the standard buttons of message
// boxes) for the system locale, as the Windows system supplies its buttons in
// its own language. Without an installed translation they stay English. The
// program's own texts are fixed and never pass through a translator.
void InstallQtTranslations(QCoreApplication& app);

}  // namespace velmora::qt
