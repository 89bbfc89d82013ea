#include "platform/qt/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace velmora::qt {
namespace {

// Returns the button pressed, NoButton when the box was closed otherwise.
QMessageBox::StandardButton Run(QMessageBox::Icon icon, QWidget* owner, const Text& text, const Text& caption,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString::fromStdU16String(caption), QString::fromStdU16String(text), buttons,
                    owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    // Window-modal: with an owner it blocks only the owner, so the pop-up
    // (which has none) stays usable while the exit prompt is open; without
    // one it blocks nothing. Timers and tray clicks go on meanwhile.
    box.setWindowModality(Qt::WindowModal);
    if (!owner || !owner->isVisible()) {
        // Qt would centre the box on a hidden owner's place: centre it on the
        // screen, where the user looks for it.
        box.adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            box.move(screen->geometry().center() - box.rect().center());
    }
    box.exec();
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton;
}

}  // namespace

Answer AskYesNo(QWidget* owner, const Text& question, const Text& caption) {
    const auto pressed = Run(QMessageBox::NoIcon, owner, question, caption,
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void ShowError(const Text& message, const Text& caption) {
    Run(QMessageBox::Critical, nullptr, message, caption, QMessageBox::Ok, QMessageBox::Ok);
}

}  // namespace velmora::qt
