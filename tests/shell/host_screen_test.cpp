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

using namespace aph::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

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
    const QString xvfbRun = QStandardPaths::findExecutable(S("xvfb-run"));
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run não está instalado (./test o instala)";
    QTemporaryDir dir;
    const QString ini = dir.filePath(S("aph-host.ini"));
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=%1\n"
                               "token=%2\ndatabase=%3\n")
                    .arg(m_server->Port())
                    .arg(m_token, m_db->Spec())
                    .toUtf8());
    }
    const QString shot = dir.filePath(S("tela.png"));
    const QString dialogShot = dir.filePath(S("filtro.png"));
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(S("QT_QPA_PLATFORM"));
    env.remove(S("DISPLAY"));
    env.insert(S("LANG"), S("pt_BR.UTF-8"));
    env.insert(S("XDG_CONFIG_HOME"), dir.path());
    host.setProcessEnvironment(env);
    host.start(xvfbRun,
               {S("-a"), S("-s"), S("-screen 0 1280x800x24"), S(APH_HOST_BIN), S("--config"), ini,
                S("--screenshot"), shot, S("--dialog-screenshot"), dialogShot});
    ASSERT_TRUE(host.waitForFinished(90000)) << "aph-host did not finish";
    const QString err = QString::fromUtf8(host.readAllStandardError());
    ASSERT_EQ(host.exitStatus(), QProcess::NormalExit) << err.toStdString();
    ASSERT_EQ(host.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(S("Apuração de CHT aberta em"))) << err.toStdString();

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
