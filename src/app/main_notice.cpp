// A notice that waits for its reader: held while the screen is locked, a
// full-screen program or a presentation has it, or the desktop asks for
// quiet, and shown as soon as the reader is back.
#include <utility>

#include "app/main_window.h"

namespace velmora {

// The item counts as seen once held: its reader gets it on return, once.
// Only the latest item waits. A question without an answer never holds.
bool MainWindow::HoldIfAway(const Text& title, const Text& text, const Text& link) {
    if (platform().AskUserPresence() != UserPresence::Away) return false;
    heldNotice_ = Notice{title, text, link};
    presenceTimer_.SetEnabled(true);
    return true;
}

// After a notice was shown: nothing waits, and nothing asks until the next
// notice falls due.
void MainWindow::EndHold() {
    heldNotice_.reset();
    presenceTimer_.SetEnabled(false);
}

// The held notice is shown as any new one, so its pop-up slides and counts
// its lifetime from now; if showing fails it stays held for the next look.
void MainWindow::OnPresenceMayHaveChanged() {
    if (!heldNotice_) return;
    Notice notice = *heldNotice_;
    ShowNotice(std::move(notice.title), std::move(notice.text), std::move(notice.link));
}

void MainWindow::OnPresenceNews() {
    try {
        OnPresenceMayHaveChanged();
    } catch (const RuntimeError& error) {
        platform().ReportUnhandledError(error);
    }
}

}  // namespace velmora
