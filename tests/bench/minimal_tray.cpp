// A bare Qt 6 tray program: the yardstick for velmora's resident memory and
// idle wake-ups. With --text it also shows, once, a window of Chinese text in
// the pop-up's fonts, to tell the cost of the CJK fonts from the rest. Not
// shipped.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(16, 16);
    picture.fill(Qt::darkCyan);
    QSystemTrayIcon icon{QIcon(picture)};
    icon.setToolTip("minimal tray");
    icon.show();
    if (QApplication::arguments().contains("--text")) {
        auto* window = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint);
        auto* title = new QLabel("Velmora 1.0 发布", window);
        QFont song;
        song.setFamilies({"宋体", "SimSun", "Noto Serif CJK SC", "Noto Sans CJK SC", "WenQuanYi Zen Hei"});
        song.setPointSizeF(10.5);
        song.setBold(true);
        title->setFont(song);
        auto* text =
            new QLabel("新版本已经发布：每 60 秒检查一次订阅源，发现新条目时在屏幕右下角弹出提示。", window);
        text->move(0, 24);
        window->show();
        QTimer::singleShot(2000, window, &QWidget::deleteLater);
    }
    return QApplication::exec();
}
