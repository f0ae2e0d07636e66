// The command-line rules of the shell launcher and the freedesktop lookup of
// the default browser and mail client.
#include "Fakes.h"
#include "ShellCommand.h"
#include "XdgShellLauncher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vantora;
using namespace vantora::test;

class TestShellCommand : public QObject {
    Q_OBJECT
    static void Write(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

  private slots:
    void commandLine_data() {
        QTest::addColumn<QString>("templ");
        QTest::addColumn<QString>("line");
        const QString url = QStringLiteral("http://a.test/x");
        QTest::newRow("program and option") << "/usr/bin/browser -new"
                                            << "/usr/bin/browser -new \"http://a.test/x\"";
        QTest::newRow("quoted placeholder") << "browser \"%1\""
                                            << "browser \"http://a.test/x\"";
        QTest::newRow("bare placeholder") << "browser %1 -x"
                                          << "browser http://a.test/x -x";
        QTest::newRow("two placeholders") << "b %1 %2"
                                          << "b http://a.test/x %2";
        QTest::newRow("any character after %") << "b %u"
                                               << "b http://a.test/x";
        QTest::newRow("% at the end") << "b %"
                                      << "b http://a.test/x";
        QTest::newRow("quoted program path") << "\"/opt/my browser/run\""
                                             << "\"/opt/my browser/run\" \"http://a.test/x\"";
    }
    void commandLine() {
        QFETCH(QString, templ);
        QFETCH(QString, line);
        QCOMPARE(ShellCommandLine(templ, QStringLiteral("http://a.test/x")), line);
    }

    void runShellCommand() {
        FakeShell shell;
        RunShellCommand(shell, ShellProtocol::WebBrowser, "http://a/");
        RunShellCommand(shell, ShellProtocol::Mail, "mailto:x@y");
        QVERIFY(shell.Started.isEmpty());
        shell.Templates["HTTP"] = "web \"%1\"";
        shell.Templates["mailto"] = "mail %1";
        RunShellCommand(shell, ShellProtocol::WebBrowser, "http://a/");
        shell.Templates["http"] = "web2 %1";
        RunShellCommand(shell, ShellProtocol::WebBrowser, "http://b/");
        RunShellCommand(shell, ShellProtocol::Mail, "mailto:x@y");
        QCOMPARE(shell.Started,
                 (QStringList{"web \"http://a/\"", "web2 http://b/", "mail mailto:x@y"}));
        shell.Fail = true;
        RunShellCommand(shell, ShellProtocol::Mail, "mailto:x@y"); // silent
    }

    void templateFromExec_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("templ");
        QTest::newRow("%u") << "firefox %u"
                            << "firefox \"%1\"";
        QTest::newRow("%U and icon") << "browser --icon %i %U"
                                     << "browser --icon  \"%1\"";
        QTest::newRow("%F") << "mailer -compose %F"
                            << "mailer -compose \"%1\"";
        QTest::newRow("no code") << "viewer"
                                 << "viewer";
        QTest::newRow("percent sign") << "tool 100%% %u"
                                      << "tool 100 \"%1\"";
    }
    void templateFromExec() {
        QFETCH(QString, exec);
        QFETCH(QString, templ);
        QCOMPARE(XdgShellLauncher::TemplateFromExec(exec), templ);
    }

    void xdgLookup() {
        QTemporaryDir dir;
        const QByteArray config = dir.filePath("config").toUtf8();
        const QByteArray data = dir.filePath("data").toUtf8();
        qputenv("XDG_CONFIG_HOME", config);
        qputenv("XDG_CONFIG_DIRS", dir.filePath("none").toUtf8());
        qputenv("XDG_DATA_HOME", data);
        qputenv("XDG_DATA_DIRS", dir.filePath("sys").toUtf8());
        qputenv("XDG_CURRENT_DESKTOP", "");
        XdgShellLauncher launcher;
        launcher.OpenerDirs = {dir.filePath("no-bin")};
        QVERIFY(launcher.CommandTemplate("http").isEmpty());

        Write(
            config + "/mimeapps.list",
            "[Added Associations]\nx-scheme-handler/http=wrong.desktop\n"
            "[Default Applications]\nx-scheme-handler/http=missing.desktop;web-browser.desktop\n");
        Write(
            data + "/applications/web/browser.desktop",
            "[Desktop Entry]\nName=Web\nExec=/opt/web/run --new %u\n[Desktop Action x]\nExec=no\n");
        Write(dir.filePath("sys/applications/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/mailto=mail.desktop\n");
        Write(dir.filePath("sys/applications/mail.desktop"), "[Desktop Entry]\nExec=mailer %U\n");
        QCOMPARE(launcher.CommandTemplate("http"), QStringLiteral("/opt/web/run --new \"%1\""));
        QCOMPARE(launcher.CommandTemplate("mailto"), QStringLiteral("mailer \"%1\""));
        QVERIFY(launcher.CommandTemplate("ftp").isEmpty());
        QVERIFY(!launcher.StartDetached(""));
        QVERIFY(!launcher.StartDetached(dir.filePath("no-such-program") + " x"));
    }

    // Without an explicit default: added associations, then the installed
    // entries' mimeinfo.cache (less removed associations), then xdg-open.
    void xdgFallbacks() {
        QTemporaryDir dir;
        const QString config = dir.filePath("config");
        const QString data = dir.filePath("data");
        const QString sys = dir.filePath("sys");
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_CONFIG_DIRS", dir.filePath("none").toUtf8());
        qputenv("XDG_DATA_HOME", data.toUtf8());
        qputenv("XDG_DATA_DIRS", sys.toUtf8());
        qputenv("XDG_CURRENT_DESKTOP", "");
        XdgShellLauncher launcher;
        launcher.OpenerDirs = {dir.filePath("bin")};

        Write(sys + "/applications/browser.desktop", "[Desktop Entry]\nExec=browse %u\n");
        Write(sys + "/applications/other.desktop", "[Desktop Entry]\nExec=other %U\n");
        Write(sys + "/applications/mimeinfo.cache",
              "[MIME Cache]\nx-scheme-handler/http=gone.desktop;browser.desktop;other.desktop;\n");
        QCOMPARE(launcher.CommandTemplate("http"), QStringLiteral("browse \"%1\""));

        Write(config + "/mimeapps.list",
              "[Removed Associations]\nx-scheme-handler/http=browser.desktop\n");
        QCOMPARE(launcher.CommandTemplate("http"), QStringLiteral("other \"%1\""));

        Write(config + "/mimeapps.list",
              "[Added Associations]\nx-scheme-handler/mailto=other.desktop;\n");
        QCOMPARE(launcher.CommandTemplate("mailto"), QStringLiteral("other \"%1\""));

        QVERIFY(launcher.CommandTemplate("ftp").isEmpty());
        const QString opener = dir.filePath("bin/xdg-open");
        Write(opener, "#!/bin/sh\n");
        QFile(opener).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(launcher.CommandTemplate("ftp"), "\"" + opener + "\" \"%1\"");
        QCOMPARE(ShellCommandLine(launcher.CommandTemplate("ftp"), "ftp://x.test/a b"),
                 "\"" + opener + "\" \"ftp://x.test/a b\"");
    }
};

QTEST_GUILESS_MAIN(TestShellCommand)
#include "TestShellCommand.moc"
