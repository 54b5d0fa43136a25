// aph-host as a user starts it: under a real X server (Xvfb), against a
// real aph-server on a temporary demo database; it opens "Apuração de
// CHT", confirms the filter as it stands and saves a picture of its window.
#include "tests/support/serverfixture.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph::test;

namespace {

int Count(const QImage& image, const std::function<bool(const QColor&)>& match)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixelColor(x, y)))
                ++n;
    return n;
}

class HostScreen : public ServerTest
{};

} // namespace

TEST_F(HostScreen, OpensTheApprovalScreenUnderXvfbAndShowsItsWindow)
{
    const QString xvfbRun = QStandardPaths::findExecutable(u"xvfb-run"_s);
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run não está instalado (./test o instala)";
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"aph-host.ini"_s);
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(u"[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=%1\n"
                "token=%2\ndatabase=%3\n"_s.arg(m_server->Port())
                    .arg(m_token, m_db->Spec())
                    .toUtf8());
    }
    const QString shot = dir.filePath(u"tela.png"_s);
    const QString dialogShot = dir.filePath(u"filtro.png"_s);
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"DISPLAY"_s);
    env.insert(u"LANG"_s, u"pt_BR.UTF-8"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, dir.path());
    host.setProcessEnvironment(env);
    host.start(xvfbRun,
               {u"-a"_s, u"-s"_s, u"-screen 0 1280x800x24"_s, QString::fromUtf8(APH_HOST_BIN),
                u"--config"_s, ini, u"--screenshot"_s, shot, u"--dialog-screenshot"_s, dialogShot});
    ASSERT_TRUE(host.waitForFinished(90000)) << "aph-host did not finish";
    const QString err = QString::fromUtf8(host.readAllStandardError());
    ASSERT_EQ(host.exitStatus(), QProcess::NormalExit) << err.toStdString();
    ASSERT_EQ(host.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(u"Apuração de CHT aberta em"_s)) << err.toStdString();

    QImage image(shot);
    ASSERT_FALSE(image.isNull()) << "no picture at " << shot.toStdString();
    // The main window holds the whole screen of 965 by 570 pixels.
    EXPECT_GE(image.width(), 965);
    EXPECT_GE(image.height(), 570);
    // The lower grids are painted on the info-tip background...
    const int infoTip = Count(image, [](const QColor& c) {
        return c.red() > 240 && c.green() > 240 && c.blue() > 190 && c.blue() < 235;
    });
    EXPECT_GT(infoTip, 50000) << "the lower grids' background";
    // ... the demo's overtime and weekend days are red ...
    const int red = Count(
        image, [](const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; });
    EXPECT_GT(red, 300) << "red days and the overtime swatch";
    // ... and the services grid has its rows: dark text on white.
    const int text = Count(image, [](const QColor& c) { return c.lightness() < 80; });
    EXPECT_GT(text, 5000);

    QImage dialog(dialogShot);
    ASSERT_FALSE(dialog.isNull());
    EXPECT_EQ(dialog.size(), QSize(568, 147)) << "the filter dialog's client area";
}
