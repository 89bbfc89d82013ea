#include "platform/qt/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <map>

#include "platform/qt/message_box_style.h"

namespace velmora::qt {
namespace {

QMessageBox::StandardButton StandardButtonFor(std::int32_t answer) {
    static const std::map<std::int32_t, QMessageBox::StandardButton> kButtons{
        {kIdOk, QMessageBox::Ok},       {kIdCancel, QMessageBox::Cancel}, {kIdAbort, QMessageBox::Abort},
        {kIdRetry, QMessageBox::Retry}, {kIdIgnore, QMessageBox::Ignore}, {kIdYesAnswer, QMessageBox::Yes},
        {kIdNoAnswer, QMessageBox::No}};
    return kButtons.at(answer);
}

QMessageBox::Icon IconFor(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Stop:
            return QMessageBox::Critical;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::Exclamation:
            return QMessageBox::Warning;
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

std::int32_t ShowMessageBox(QWidget* owner, const Text& text, const Text& caption, std::int32_t style) {
    const BoxLayout layout = LayoutForStyle(style);
    QMessageBox box(IconFor(layout.icon), QString::fromStdU16String(caption), QString::fromStdU16String(text),
                    QMessageBox::NoButton, owner);
    box.setTextFormat(Qt::PlainText);
    // Window-modal: with an owner it blocks only the owner, so the pop-up
    // (which has none) stays usable while the exit prompt is open; without
    // one it blocks nothing. Timers and tray clicks go on meanwhile.
    box.setWindowModality(Qt::WindowModal);
    std::map<QAbstractButton*, std::int32_t> answers;
    for (std::int32_t answer : layout.buttons) {
        QPushButton* button = box.addButton(StandardButtonFor(answer));
        answers[button] = answer;
        if (answer == layout.defaultButton) box.setDefaultButton(button);
    }
    if (!owner || !owner->isVisible()) {
        // Qt would centre the box on a hidden owner's place: centre it on the
        // screen, where the user looks for it.
        box.adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            box.move(screen->geometry().center() - box.rect().center());
    }
    box.exec();
    auto it = answers.find(box.clickedButton());
    // Closed without a button (Escape, the window manager): the cancel-like
    // answer, as Windows gives IDCANCEL or the single button.
    if (it == answers.end()) return layout.buttons.size() == 1 ? layout.buttons.front() : kIdCancel;
    return it->second;
}

}  // namespace velmora::qt
