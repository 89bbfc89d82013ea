// What the Linux desktop is asked about the user: GNOME's do-not-disturb
// switch through a gsettings stand-in, and a desktop that cannot answer.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/qt/user_presence.h"

namespace velmora::qt {
namespace {

TEST(QtUserPresence, GnomeBannersOffHoldsAndAToolWithoutAnAnswerHoldsNothing) {
    // Offscreen and without a session bus, only the settings tool can answer.
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ":" + path);
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    UserPresenceWatch watch;
    const struct {
        const char* script;
        UserPresence presence;
    } cases[] = {
        {"echo false", UserPresence::Away},
        {"echo true", UserPresence::Available},
        {"echo \"No such schema\" >&2; exit 1", UserPresence::Unknown},
        {"sleep 3; echo false", UserPresence::Unknown},  // too late to count
    };
    for (const auto& c : cases) {
        QFile tool(bin.filePath("gsettings"));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        tool.write(QByteArray("#!/bin/sh\n") + c.script + "\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(watch.Ask(), c.presence) << c.script;
    }
    qputenv("PATH", path);
    qunsetenv("XDG_CURRENT_DESKTOP");
}

}  // namespace
}  // namespace velmora::qt
