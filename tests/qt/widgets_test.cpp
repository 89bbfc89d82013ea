// The adapter's windows, message boxes and event pump on Qt's offscreen
// platform: what the core relies on from each. Also the test program's main.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <map>
#include <vector>

#include "app/main_window_design.h"
#include "platform/qt/popup_window.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/screen.h"
#include "platform/qt/shutdown_signals.h"
#include "platform/qt/translations.h"
#include "popup/link_policy.h"
#include "popup/popup_design.h"

namespace velmora::qt {
namespace {

struct Click {
    char kind;  // 'D' down, 'U' up
    Control control;
    MouseArgs args;
};

class Recorder : public WindowEvents {
public:
    std::vector<Click> clicks;
    void MouseDown(Control control, const MouseArgs& args) override {
        clicks.push_back({'D', control, args});
    }
    void MouseUp(Control control, const MouseArgs& args) override { clicks.push_back({'U', control, args}); }
    void CloseRequested() override { ++closeRequests; }
    void Invoke(Control control) override { invoked.push_back(control); }
    int closeRequests = 0;
    std::vector<Control> invoked;
};

QWidget* ShownWindow(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->windowTitle() == title && widget->isVisible()) return widget;
    return nullptr;
}

QPoint LabelCentre(Control id) {
    for (const LabelDesign& label : PopupDesign().labels)
        if (label.id == id)
            return QPoint(static_cast<int>((label.left + label.width / 2) / TwipsPerPixelX()),
                          static_cast<int>((label.top + label.height / 2) / TwipsPerPixelY()));
    return {};
}

class QtWidgets : public ::testing::Test {
protected:
    QtPlatform platform;
    Recorder events;
};

// The window follows its fields once the running handler is done.
void Settle() {
    QCoreApplication::sendPostedEvents();
}

TEST_F(QtWidgets, ThePopUpIsHiddenWhileItsHeightIsZero) {
    auto popup = platform.LoadWindow(PopupDesign(), events);
    popup->SetHeight(0);
    popup->Show();
    Settle();
    EXPECT_EQ(popup->Height(), 0.0f);  // Qt would unmap it anyway; the height stays 0
    EXPECT_EQ(ShownWindow("Form1"), nullptr);

    popup->SetHeight(1500);
    popup->SetTop(3000);
    Settle();
    QWidget* shown = ShownWindow("Form1");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(popup->Height(), 1500.0f);
    EXPECT_EQ(shown->geometry(), QRect(0, 200, 252, 100));
    EXPECT_TRUE(shown->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(shown->testAttribute(Qt::WA_ShowWithoutActivating));

    popup->SetHeight(0);
    Settle();
    EXPECT_EQ(popup->Height(), 0.0f);
    EXPECT_EQ(ShownWindow("Form1"), nullptr);
}

// A slide step sets the height, then the top that keeps the bottom edge in
// place: on screen the window goes from one step to the next, never through
// the one in between.
TEST_F(QtWidgets, ASlideStepMovesThePopUpInOnePiece) {
    auto popup = platform.LoadWindow(PopupDesign(), events);
    popup->SetHeight(1500);
    popup->SetTop(3000);
    popup->Show();
    Settle();
    QWidget* shown = ShownWindow("Form1");
    ASSERT_NE(shown, nullptr);
    const QRect before = shown->geometry();

    popup->SetHeight(1600);
    EXPECT_EQ(shown->geometry(), before) << "seen with its bottom edge moved";
    popup->SetTop(2900);
    Settle();
    EXPECT_EQ(shown->geometry().bottom(), before.bottom());
    EXPECT_GT(shown->geometry().height(), before.height());
}

// Unloading a pop-up lets go of the fonts it used; the next one must still
// draw its picture and its Chinese title as the first did.
// Drawn for the exact ratio, or shrunk from the next larger picture between
// the drawn ones; either way one picture pixel per device pixel.
TEST_F(QtWidgets, TheBackgroundIsMadeForTheDevicePixelRatio) {
    for (const qreal ratio : {1.0, 1.5, 1.75, 2.0}) {
        const QPixmap picture = BackgroundFor(QSize(252, 173), ratio);
        EXPECT_EQ(picture.size(), QSize(std::lround(252 * ratio), std::lround(173 * ratio))) << ratio;
        EXPECT_EQ(picture.devicePixelRatio(), ratio);
        const QImage image = picture.toImage();
        const QColor band = image.pixelColor(120 * ratio, 10 * ratio),
                     body = image.pixelColor(120 * ratio, 140 * ratio);
        EXPECT_LT(std::abs(band.red() - kPopupBand.red), 24) << ratio << " " << band.name().toStdString();
        EXPECT_GT(body.lightness(), 235) << ratio << " " << body.name().toStdString();
    }
}

TEST_F(QtWidgets, APopUpAfterAnUnloadedOneDrawsItsPictureAndTexts) {
    std::vector<QImage> drawn;
    for (int round = 0; round < 2; ++round) {
        auto popup = platform.LoadWindow(PopupDesign(), events);
        popup->SetLabelCaption(Control::TitleLabel, u"新版本发布：测试条目");
        popup->SetHeight(2600);
        popup->Show();
        Settle();
        QWidget* shown = ShownWindow("Form1");
        ASSERT_NE(shown, nullptr);
        drawn.push_back(shown->grab().toImage());
        popup.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();  // the queued release
    }
    const QImage& image = drawn.back();
    const QColor band = image.pixelColor(120, 10), body = image.pixelColor(120, 140);
    EXPECT_LT(std::abs(band.red() - kPopupBand.red), 24) << band.name().toStdString();
    EXPECT_LT(std::abs(band.blue() - kPopupBand.blue), 24) << band.name().toStdString();
    EXPECT_GT(body.lightness(), 235) << body.name().toStdString();
    int ink = 0;
    for (int y = 24; y < 41; ++y)
        for (int x = 16; x < 233; ++x) ink += image.pixelColor(x, y).lightness() < 100;
    EXPECT_GT(ink, 50) << "no title drawn";
    EXPECT_EQ(drawn.front(), drawn.back());
}

TEST_F(QtWidgets, AReleaseGoesToThePressedLabelWhereverThePointerIs) {
    auto popup = platform.LoadWindow(PopupDesign(), events);
    popup->SetHeight(kPopupFullHeight);
    popup->Show();
    Settle();
    QWidget* shown = ShownWindow("Form1");
    ASSERT_NE(shown, nullptr);

    QTest::mousePress(shown, Qt::RightButton, Qt::ShiftModifier, LabelCentre(Control::CloseMark));
    QTest::mouseRelease(shown, Qt::RightButton, Qt::ShiftModifier, QPoint(5, 160));  // off every label
    QTest::mousePress(shown, Qt::LeftButton, {}, QPoint(5, 5));                      // on no label
    QTest::mouseRelease(shown, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(events.clicks.size(), 2u);
    EXPECT_EQ(events.clicks[0].kind, 'D');
    EXPECT_EQ(events.clicks[0].control, Control::CloseMark);
    EXPECT_EQ(events.clicks[0].args.button, 2);
    EXPECT_EQ(events.clicks[0].args.shift, 1);
    EXPECT_EQ(events.clicks[1].kind, 'U');
    EXPECT_EQ(events.clicks[1].control, Control::CloseMark);

    // A label moved by the core is hit where it now stands.
    const QPoint at = LabelCentre(Control::DetailsLink);
    popup->MoveLabel(Control::DetailsLink, 0, 0);
    events.clicks.clear();
    QTest::mouseClick(shown, Qt::LeftButton, {}, at);
    EXPECT_TRUE(events.clicks.empty());
    QTest::mouseClick(shown, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_EQ(events.clicks.size(), 2u);
    EXPECT_EQ(events.clicks[1].control, Control::DetailsLink);
}

// A notification named and described by the notice, its labels with the
// design's roles and names; the link and the close mark act from the event
// loop, never inside the screen reader's call. (Qt tells the platform of
// events only with a screen reader on the bus: the end-to-end case hears
// the announcement.)
TEST_F(QtWidgets, AssistiveTechnologyReadsTheNoticeAndInvokesItsLabelsLater) {
    auto popup = platform.LoadWindow(PopupDesign(), events);
    popup->SetHeight(1500);
    popup->Show();
    popup->SetLabelCaption(Control::TitleLabel, u"新版本");
    popup->Announce(u"新版本", u"正文");
    Settle();
    popup->Announce(u"第二条", u"新的正文");

    QAccessibleInterface* notice = QAccessible::queryAccessibleInterface(ShownWindow("Form1"));
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->role(), QAccessible::Notification);
    EXPECT_EQ(notice->text(QAccessible::Name), "第二条");
    EXPECT_EQ(notice->text(QAccessible::Description), "新的正文");
    ASSERT_EQ(notice->childCount(), 4);
    std::map<QString, QAccessibleInterface*> labels;
    for (int i = 0; i < notice->childCount(); ++i)
        labels[notice->child(i)->text(QAccessible::Name)] = notice->child(i);
    ASSERT_EQ(labels.count("关闭") + labels.count("查看详情") + labels.count("新版本"), 3u);
    EXPECT_EQ(labels["关闭"]->role(), QAccessible::Button);
    EXPECT_EQ(labels["查看详情"]->role(), QAccessible::Link);
    EXPECT_EQ(labels["新版本"]->role(), QAccessible::StaticText);
    EXPECT_EQ(labels["新版本"]->actionInterface(), nullptr);

    for (const QString name : {"查看详情", "关闭"}) {
        QAccessibleActionInterface* action = labels[name]->actionInterface();
        ASSERT_NE(action, nullptr);
        ASSERT_EQ(action->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        action->doAction(QAccessibleActionInterface::pressAction());
    }
    EXPECT_TRUE(events.invoked.empty()) << "invoked inside the screen reader's call";
    QCoreApplication::processEvents();
    EXPECT_EQ(events.invoked, (std::vector<Control>{Control::DetailsLink, Control::CloseMark}));
    EXPECT_TRUE(events.clicks.empty()) << "no mouse was involved";
}

// A dark theme's light text colour would vanish on the white picture.
TEST_F(QtWidgets, TheTextLabelStaysReadableUnderADarkTheme) {
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::ButtonText, Qt::white);
    QApplication::setPalette(dark);
    auto popup = platform.LoadWindow(PopupDesign(), events);
    popup->SetLabelCaption(Control::TextLabel, u"这是一条测试消息，深色主题下也要看得清。");
    popup->SetHeight(kPopupFullHeight);
    popup->Show();
    Settle();
    const QImage image = ShownWindow("Form1")->grab().toImage();
    QApplication::setPalette(before);
    int ink = 0;
    for (int y = 48; y < 137; ++y)
        for (int x = 16; x < 233; ++x) ink += image.pixelColor(x, y).lightness() < 100;
    EXPECT_GT(ink, 50) << "the text is not drawn dark on the white body";
}

// Answers the next message box after checking what it shows.
void AnswerNextBox(std::function<void(QMessageBox&)> check) {
    QTimer::singleShot(0, [check] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box is open";
            return;
        }
        check(*box);
    });
}

TEST_F(QtWidgets, MessageBoxesShowTheirTextsButtonsAndIcon) {
    auto main = platform.LoadWindow(MainWindowDesign(), events);
    AnswerNextBox([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "退出");
        EXPECT_EQ(box.text(), "确定退出吗 ?");
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons().size(), 2);
        ASSERT_NE(box.defaultButton(), nullptr);
        EXPECT_EQ(box.standardButton(box.defaultButton()), QMessageBox::Yes);
        box.defaultButton()->click();
    });
    EXPECT_EQ(platform.AskYesNo(main.get(), u"确定退出吗 ?", u"退出"), Answer::Yes);

    AnswerNextBox([](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.buttons().size(), 1);
        EXPECT_EQ(box.textFormat(), Qt::PlainText);  // "<b>" is shown, not obeyed
        box.button(QMessageBox::Ok)->click();
    });
    platform.ReportError(u"<b>启动程序发生错误</b>", u"错误");

    AnswerNextBox([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
    EXPECT_EQ(platform.AskYesNo(main.get(), u"确定退出吗 ?", u"退出"), Answer::No);
    AnswerNextBox([](QMessageBox& box) { box.reject(); });  // Escape, or closed by the window manager
    EXPECT_EQ(platform.AskYesNo(nullptr, u"确定退出吗 ?", u"退出"), Answer::No);
}

// Qt's own button texts follow the desktop's language; the program's texts
// stay as they are. Each case runs under its own locale (CMakeLists.txt).
class QtButtonLanguage : public QtWidgets {
protected:
    void ExpectButtons(const QString& ok, const QString& yes, const QString& no) {
        auto main = platform.LoadWindow(MainWindowDesign(), events);
        AnswerNextBox([&](QMessageBox& box) {
            EXPECT_EQ(box.text(), "启动程序发生错误，请重新安装程序。");
            EXPECT_EQ(box.button(QMessageBox::Ok)->text(), ok);
            box.button(QMessageBox::Ok)->click();
        });
        platform.ReportError(u"启动程序发生错误，请重新安装程序。", u"错误");
        AnswerNextBox([&](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "退出");
            EXPECT_EQ(box.button(QMessageBox::Yes)->text(), yes);
            EXPECT_EQ(box.button(QMessageBox::No)->text(), no);
            box.button(QMessageBox::No)->click();
        });
        platform.AskYesNo(main.get(), u"确定退出吗 ?", u"退出");
    }
};

TEST_F(QtButtonLanguage, Chinese) {
    ASSERT_EQ(QLocale::system().name(), "zh_CN");
    ExpectButtons("确定", "是(&Y)", "否(&N)");
}

TEST_F(QtButtonLanguage, AmericanEnglish) {
    ASSERT_EQ(QLocale::system().name(), "en_US");
    ExpectButtons("OK", "&Yes", "&No");
}

TEST_F(QtButtonLanguage, EnglishWhereQtHasNoTranslation) {
    ASSERT_EQ(QLocale::system().name(), "sv_SE");
    ExpectButtons("OK", "&Yes", "&No");
}

// The Windows program hands the shell the core's encoded link as it is; the
// desktop's opener must get the very same address here.
TEST(QtLinks, TheDesktopGetsTheAddressTheWindowsProgramOpens) {
    for (const Text link :
         {u"http://a.example/%41%zz%4g%PATH%", u"HTTP://User@News.Example:80/a b?q=é#f#g😀",
          u"http://u@[::1]:80/p[1]?a'b!$&()*+,;=:@~-._%7e%2f", u"https://a.example/\"`|^<>{}\\"}) {
        const Text encoded = EncodeLink(link);
        EXPECT_EQ(DesktopUrl(encoded).toEncoded().toStdString(), TextToUtf8(encoded)) << TextToUtf8(link);
    }
}

// A port that refuses connections: bound, never listened on, then closed.
int RefusingPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// kill, Ctrl+C and a closed terminal reach the event loop as one callback
// each; the handler itself does nothing more.
TEST_F(QtWidgets, ShutdownSignalsArriveOnTheEventLoop) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        int calls = 0;
        velmora::qt::ShutdownSignals watcher([&] { ++calls; });
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_EQ(calls, 0);
        QElapsedTimer waited;
        waited.start();
        while (calls == 0 && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        EXPECT_EQ(calls, 1) << "signal " << signal;
    }
}

// Started under nohup or by a shell's "&": a hang-up or Ctrl+C stays
// ignored, while kill's SIGTERM is still heard; afterwards all are as found.
TEST_F(QtWidgets, HangUpAndInterruptIgnoredAtStartStayIgnored) {
    const auto ignored = [](int signal) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        return now.sa_handler == SIG_IGN;
    };
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SIG_IGN);
    {
        velmora::qt::ShutdownSignals watcher([] {});
        EXPECT_TRUE(ignored(SIGINT));
        EXPECT_TRUE(ignored(SIGHUP));
        EXPECT_FALSE(ignored(SIGTERM));
    }
    EXPECT_TRUE(ignored(SIGTERM));
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SIG_DFL);
}

TEST_F(QtWidgets, TheBlockingPumpWakesWhenATransferEnds) {
    // Nothing else will happen: only the transfer's wake-up can end the wait.
    bool watchdog = false;
    QTimer::singleShot(10000, [&] { watchdog = true; });
    const Text url = Utf8ToText("http://127.0.0.1:" + std::to_string(RefusingPort()) + "/feed.xml");
    QElapsedTimer clock;
    clock.start();
    auto request = platform.OpenUrl(url);
    int pumps = 0;
    while (request->Busy()) {
        platform.PumpEvents();
        ++pumps;
    }
    EXPECT_FALSE(watchdog) << "the pump slept until the watchdog";
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_LT(pumps, 10) << "the pump returned without waiting";
    EXPECT_FALSE(request->Take().ok());
}

}  // namespace
}  // namespace velmora::qt

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    char runtime[] = "/tmp/velmora-qt-test-XXXXXX";  // Qt wants a private one
    if (mkdtemp(runtime)) qputenv("XDG_RUNTIME_DIR", runtime);
    int status;
    {
        QApplication app(argc, argv);
        velmora::qt::InstallQtTranslations(app);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    rmdir(runtime);
    return status;
}
