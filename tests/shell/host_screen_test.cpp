// aph-host as a user starts it: under a real X server (Xvfb), against a
// real aph-server on a temporary demo database, with no database of its
// own; it opens "Apuração de CHT", confirms the filter as it stands (whose
// lists come through the server) and saves a picture of its window.
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
{
protected:
    // Runs aph-host under Xvfb in the given process locale; the pictures of
    // its window and of the filter dialog.
    void Run(const QString& locale, QImage& image, QImage& dialog);
    QString xvfbRun = QStandardPaths::findExecutable(u"xvfb-run"_s);
};

} // namespace

void HostScreen::Run(const QString& locale, QImage& image, QImage& dialog)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"aph-host.ini"_s);
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // As a firm deploys it: no database key, the lookups go through the
        // server; the file holding the token is the user's alone.
        f.write(u"[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=%1\ntoken=%2\n"_s
                    .arg(m_server->Port())
                    .arg(m_token)
                    .toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    const QString shot = dir.filePath(u"tela.png"_s);
    const QString dialogShot = dir.filePath(u"filtro.png"_s);
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"DISPLAY"_s);
    env.insert(u"LANG"_s, locale);
    env.insert(u"LC_ALL"_s, locale);
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
    EXPECT_FALSE(err.contains(u"Aviso"_s)) << err.toStdString();

    image = QImage(shot);
    ASSERT_FALSE(image.isNull()) << "no picture at " << shot.toStdString();
    dialog = QImage(dialogShot);
}

TEST_F(HostScreen, OpensTheApprovalScreenUnderXvfbAndShowsItsWindow)
{
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run não está instalado (./test o instala)";
    QImage image, dialog;
    Run(u"pt_BR.UTF-8"_s, image, dialog);
    ASSERT_FALSE(HasFatalFailure());
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

    ASSERT_FALSE(dialog.isNull());
    EXPECT_EQ(dialog.size(), QSize(568, 147)) << "the filter dialog's client area";
}

TEST_F(HostScreen, WeekendsStayRedAndDatesBrazilianUnderTheCLocale)
{
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run não está instalado (./test o instala)";
    // The same screen as under pt_BR, to the pixel: dates as dd/mm/yyyy
    // with Brazilian day names, weekends red, amounts in R$ with commas.
    QImage brazil, c, dialog;
    Run(u"pt_BR.UTF-8"_s, brazil, dialog);
    ASSERT_FALSE(HasFatalFailure());
    Run(u"C.UTF-8"_s, c, dialog);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(c.size(), brazil.size());
    int differ = 0;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            differ += c.pixel(x, y) != brazil.pixel(x, y);
    EXPECT_EQ(differ, 0) << "pixels that differ from the screen under pt_BR";
}
