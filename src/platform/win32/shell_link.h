// The link as ShellExecute receives it. Kept free of Windows headers so that
// any machine's tests can check it.
#pragma once

#include "core/text.h"

namespace velmora::win32 {

// The shell puts the link into the browser's registered command line as it
// stands, so every character a URI may not hold is percent-encoded (UTF-8
// for non-ASCII): quotes, spaces, `|^<>, a "%" that starts no escape, a
// second "#". Characters a URI may hold, valid escapes among them, stay.
Text EncodeLinkForShell(const Text& link);

}  // namespace velmora::win32
