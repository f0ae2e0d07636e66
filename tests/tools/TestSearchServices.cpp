// The Search Services page: edits of the server's file that keep what the
// user wrote, the checks of what is typed, a broken file left alone until
// the user chooses, and the dialog against the real bundled server, which
// reads the changed file and answers the Test button through stand-in
// services on 127.0.0.1.
#include "BundledServer.h"
#include "BundledServicesHost.h"
#include "ConfigEdit.h"
#include "Fakes.h"
#include "SearchServicesDialog.h"
#include "ServerConfig.h"
#include "ServiceSettings.h"
#include "StandIns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantora;
using vantora::test::FakeDialogs;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A host whose server is somewhere else, or another copy's.
class FixedHost : public ServicesHost {
  public:
    Server Where = Server::Remote;
    FakeDialogs Dialogs;
    Server Situation() const override { return Where; }
    QString Address() const override { return QStringLiteral("analysis.example:47800"); }
    void RestartServer(std::function<void(bool)> done) override { done(false); }
    HttpClient& TestClient() override { return Client; }
    vantora::Dialogs& MessageBoxes() override { return Dialogs; }
    QString SiteRoot() const override { return QString(); }
    class : public HttpClient {
      public:
        void SetProxy(bool, const QString&, int) override {}
        void GetDoc(const QString& url) override { Asked << url; }
        void Cancel() override {}
        bool Busy() const override { return false; }
        QStringList Asked;
    } Client;
};

const char* const HandWritten = "# my analysis server\n"
                                "[server]\n"
                                "hosts = [\"me.example\"] # where I reach it\n"
                                "\n"
                                "[search.old]\n"
                                "url = \"http://127.0.0.1:9/search?q={query}&format=json\"\n"
                                "colour = \"blue\"   # not a key the server knows\n"
                                "\n"
                                "[search.mine]\n"
                                "url = \"http://127.0.0.1:9/mine?q={query}\"\n"
                                "header = [\n"
                                "  \"X-A: 1\",\n"
                                "]\n"
                                "\n"
                                "[rankscout]\n"
                                "# my own choice for HotBot\n"
                                "hotbot = \"mine\"\n"
                                "altavista = \"old\"\n";

} // namespace

class TestSearchServices : public QObject {
    Q_OBJECT
    QTemporaryDir Temp;

  private slots:
    void configTextKeepsTheRest_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // empty: remove
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("replace, indentation and note kept")
            << "a"
            << "x"
            << "2"
            << "# c\n[a]\n  x = 1 # the user's note\ny = 3\n"
            << "# c\n[a]\n  x = 2 # the user's note\ny = 3\n";
        QTest::newRow("a '#' in the old string is no note")
            << "a"
            << "x"
            << "\"c\""
            << "[a]\nx = \"a#b\\\"#\" # note\ny = 'p#q'\n"
            << "[a]\nx = \"c\" # note\ny = 'p#q'\n";
        QTest::newRow("no note, none added") << "a"
                                             << "y"
                                             << "1"
                                             << "[a]\ny = 'p#q'\n"
                                             << "[a]\ny = 1\n";
        QTest::newRow("note after a multi-line array kept")
            << "a"
            << "h"
            << "\"one\""
            << "[a]\nh = [\n  \"x\", # first\n]  # hosts\nk = 1\n"
            << "[a]\nh = \"one\" # hosts\nk = 1\n";
        QTest::newRow("note after a one-line triple-quoted string")
            << "a"
            << "s"
            << "\"z\""
            << "[a]\ns = \"\"\"a # b\"\"\" # c\n"
            << "[a]\ns = \"z\" # c\n";
        QTest::newRow("note after a multi-line string kept, '#' inside it not")
            << "a"
            << "s"
            << "\"z\""
            << "[a]\ns = \"\"\"\nline # no\n\"\"\" # yes\nk = 1\n"
            << "[a]\ns = \"z\" # yes\nk = 1\n";
        QTest::newRow("note and CRLF line end kept") << "a"
                                                     << "x"
                                                     << "2"
                                                     << "[a]\r\nx = 1 # n\r\ny = 2\r\n"
                                                     << "[a]\r\nx = 2 # n\r\ny = 2\r\n";
        QTest::newRow("new key after the table's last key")
            << "a"
            << "z"
            << "\"t\""
            << "[a]\nx = 1\n\n# about b\n[b]\nz = 5\n"
            << "[a]\nx = 1\nz = \"t\"\n\n# about b\n[b]\nz = 5\n";
        QTest::newRow("new table at the end") << "b.c"
                                              << "k"
                                              << "1"
                                              << "[a]\nx = 1"
                                              << "[a]\nx = 1\n\n[b.c]\nk = 1\n";
        QTest::newRow("quoted header matches") << "search.my svc"
                                               << "url"
                                               << "\"u\""
                                               << "[search.\"my svc\"]\nurl = \"v\"\n"
                                               << "[search.\"my svc\"]\nurl = \"u\"\n";
        QTest::newRow("multi-line array replaced whole")
            << "a"
            << "h"
            << "\"one\""
            << "[a]\nh = [\n  \"x\", # first\n  \"y\",\n]\nk = 1\n"
            << "[a]\nh = \"one\"\nk = 1\n";
        QTest::newRow("multi-line string removed whole") << "a"
                                                         << "s"
                                                         << ""
                                                         << "[a]\ns = \"\"\"\nline\n\"\"\"\nk = 1\n"
                                                         << "[a]\nk = 1\n";
        QTest::newRow("same key in another table untouched") << "b"
                                                             << "x"
                                                             << ""
                                                             << "[a]\nx = 1\n[b]\nx = 2\n"
                                                             << "[a]\nx = 1\n[b]\n";
        QTest::newRow("top of the file") << ""
                                         << "x"
                                         << "1"
                                         << "# c\n[a]\ny = 2\n"
                                         << "x = 1\n# c\n[a]\ny = 2\n";
    }
    void configTextKeepsTheRest() {
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, before);
        QFETCH(QString, after);
        ConfigText text(before.toStdString());
        if (value.isEmpty())
            text.Remove(table.toStdString(), key.toStdString());
        else
            text.Set(table.toStdString(), key.toStdString(), value.toStdString());
        QCOMPARE(QString::fromStdString(text.Str()), after);
    }

    void tomlStrings() {
        const std::string quoted = TomlString("a \"b\" \\ c\n\x01");
        QCOMPARE(QString::fromStdString(quoted), QString("\"a \\\"b\\\" \\\\ c\\u000A\\u0001\""));
        const ConfigLoad load = ParseServerConfig("[search.a]\nurl = \"http://h/?q={query}\"\n"
                                                  "header = " +
                                                      TomlString("X: \"v\"") + "\n",
                                                  "t");
        QVERIFY2(load.Ok, load.Error.c_str());
        QCOMPARE(QString::fromStdString(load.Config.Searches.at("a").Headers.at(0)),
                 QString("X: \"v\""));
    }

    void badInputKeepsTheFile_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("SearXNG address not http") << 0 << "ftp://searx.example"
                                                  << "http://";
        QTest::newRow("template without {query}") << 1 << "https://s.example/?q="
                                                  << "{query}";
        QTest::newRow("template not http") << 1 << "file:///x?q={query}"
                                           << "http://";
        QTest::newRow("key with a line break") << 2 << "abc\ndef"
                                               << "line breaks";
        QTest::newRow("empty key") << 2 << " "
                                   << "missing";
        QTest::newRow("IndexNow key too short") << 3 << "abc"
                                                << "8 to 128";
        QTest::newRow("IndexNow key with a line break") << 3 << "abcdefgh\r\nijk"
                                                        << "line breaks";
        QTest::newRow("key location not http") << 4 << "/abc.txt"
                                               << "key location";
        QTest::newRow("GET without {url}") << 5 << "https://sub.example/add"
                                           << "{url}";
        QTest::newRow("pointer without slash") << 6 << "results"
                                               << "begin with /";
    }
    void badInputKeepsTheFile() {
        QFETCH(int, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        ServiceSettings s;
        s.Ranks = {SearchService::SearXNG, "ranks", "http://127.0.0.1:8888"};
        s.Submission.Kind = SubmitService::IndexNow;
        s.Submission.Name = "submission";
        s.Submission.Key = "abcdef0123456789";
        switch (field) {
        case 0:
            s.Ranks.Address = value;
            break;
        case 1:
        case 6:
            s.LinkBacks = {SearchService::Json, "linkbacks", "https://s.example/?q={query}"};
            (field == 1 ? s.LinkBacks.Address : s.LinkBacks.Results) = value;
            break;
        case 2:
            s.Ranks = {SearchService::Brave, "ranks", "", value};
            break;
        case 3:
            s.Submission.Key = value;
            break;
        case 4:
            s.Submission.KeyLocation = value;
            break;
        case 5:
            s.Submission.Kind = SubmitService::Get;
            s.Submission.UrlTemplate = value;
            break;
        }
        QVERIFY2(SettingsProblem(s).contains(message), qPrintable(SettingsProblem(s)));
        const QString path = Temp.filePath("bad.toml");
        WriteAll(path, HandWritten);
        QString error;
        QVERIFY(!SaveServiceSettings(path, s, false, error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(ReadAll(path), QByteArray(HandWritten));
    }

    // What the page writes reads back as it was set, the server reads it,
    // and everything else of the hand-written file is still there.
    void settingsRoundTrip() {
        ServiceSettings s = SettingsFromText(HandWritten);
        QCOMPARE(int(s.Ranks.Kind), int(SearchService::SearXNG));
        QCOMPARE(s.Ranks.Name, QString("old"));
        s.Ranks.Address = "http://127.0.0.1:8888/";
        s.LinkBacksAsRanks = true;
        s.Submission = {SubmitService::IndexNow, "submission", "https://api.indexnow.org/indexnow",
                        "abcdef0123456789", "https://me.example/key.txt"};
        QByteArray text;
        QString error;
        QVERIFY2(ApplySettings(HandWritten, s, text, error), qPrintable(error));
        for (const char* kept : {"# my analysis server\n", "hosts = [\"me.example\"] # where I",
                                 "colour = \"blue\"   # not a key", "# my own choice for HotBot\n",
                                 "hotbot = \"mine\"\n", "  \"X-A: 1\",\n"})
            QVERIFY2(text.contains(kept), kept);
        QVERIFY2(text.contains("altavista = \"old\"\n"), text.constData()); // its spelling kept
        QVERIFY(!text.contains("ALTAVISTA"));
        const ConfigLoad load = ParseServerConfig(text.toStdString(), "t");
        QVERIFY2(load.Ok, load.Error.c_str());
        QCOMPARE(load.Config.RankEngines.at("HOTBOT"), std::string("mine"));
        QCOMPARE(load.Config.RankEngines.at("LYCOS"), std::string("old"));
        QCOMPARE(load.Config.RankEngines.size(), std::size_t(9));
        QCOMPARE(load.Config.Searches.at("old").UrlTemplate,
                 std::string("http://127.0.0.1:8888/search?q={query}&format=json&pageno={page}"));
        QCOMPARE(load.Config.BackwatchSearch, std::string("old"));
        QCOMPARE(load.Config.SubmitEngines.size(), std::size_t(16));
        QCOMPARE(load.Config.Submits.at("submission").KeyLocation,
                 std::string("https://me.example/key.txt"));

        const ServiceSettings back = SettingsFromText(text);
        QCOMPARE(back.Ranks.Address, QString("http://127.0.0.1:8888"));
        QVERIFY(back.LinkBacksAsRanks);
        QCOMPARE(back.Submission.Key, s.Submission.Key);

        // Choosing none again takes the page's mappings out, the user's stay.
        s.Ranks.Kind = SearchService::None;
        s.LinkBacksAsRanks = false;
        s.Submission.Kind = SubmitService::None;
        QByteArray none;
        QVERIFY2(ApplySettings(text, s, none, error), qPrintable(error));
        const ConfigLoad cleared = ParseServerConfig(none.toStdString(), "t");
        QVERIFY2(cleared.Ok, cleared.Error.c_str());
        QCOMPARE(cleared.Config.RankEngines.size(), std::size_t(1));
        QVERIFY(cleared.Config.BackwatchSearch.empty());
        QVERIFY(cleared.Config.SubmitEngines.empty());
    }

    void brokenFileWaitsForTheUser() {
        const QString path = Temp.filePath("broken.toml");
        const QByteArray broken = "[search.a]\nurl = \"http://h/?q={query}\"\nper_page = = 3\n";
        WriteAll(path, broken);
        const SettingsFile file = ReadServiceSettings(path);
        QVERIFY(!file.Readable);
        QVERIFY2(file.Error.contains("line 3"), qPrintable(file.Error));
        ServiceSettings s = file.Settings;
        s.Ranks = {SearchService::Marginalia, "ranks", "", "public"};
        QString error;
        QVERIFY(!SaveServiceSettings(path, s, false, error));
        QVERIFY2(error.contains("line 3"), qPrintable(error));
        QCOMPARE(ReadAll(path), broken);
        QVERIFY(SaveServiceSettings(path, s, true, error));
        QCOMPARE(ReadAll(path + ".broken"), broken);
        const ConfigLoad load = LoadServerConfig(path.toStdString());
        QVERIFY2(load.Ok, load.Error.c_str());
        QCOMPARE(load.Config.Searches.at("ranks").Headers.at(0), std::string("API-Key: public"));

        // The dialog shows the line and offers Save only once the box is ticked.
        WriteAll(path, broken);
        FixedHost host;
        host.Where = ServicesHost::Server::NotRunning;
        SearchServicesDialog dialog(host, path);
        QVERIFY2(dialog.FileLabel()->text().contains("line 3"),
                 qPrintable(dialog.FileLabel()->text()));
        QVERIFY(!dialog.RanksBox()->KindBox()->isEnabled());
        QVERIFY(!dialog.SaveButton()->isEnabled());
        dialog.ReplaceBrokenBox()->setChecked(true);
        QVERIFY(dialog.RanksBox()->KindBox()->isEnabled());
        QVERIFY(dialog.SaveButton()->isEnabled());
    }

    void remoteServerOffersTestOnly() {
        const QString path = Temp.filePath("remote.toml");
        WriteAll(path, HandWritten);
        FixedHost host;
        SearchServicesDialog dialog(host, path);
        QVERIFY(dialog.ServerLabel()->text().contains("analysis.example:47800"));
        QVERIFY(dialog.ServerLabel()->text().contains("another machine"));
        QVERIFY(dialog.SaveButton()->isHidden());
        QVERIFY(!dialog.RanksBox()->AddressEdit()->isEnabled());
        QVERIFY(dialog.RanksBox()->TestButton()->isEnabled());
        QTest::mouseClick(dialog.RanksBox()->TestButton(), Qt::LeftButton);
        QCOMPARE(host.Client.Asked.size(), 1);
        QVERIFY2(host.Client.Asked[0].startsWith("http://analysis.example:47800/cgi-bin/zeph/"
                                                 "text_output/servicetest-pt.cgi?service="
                                                 "search.old&query="),
                 qPrintable(host.Client.Asked[0]));
        QCOMPARE(ReadAll(path), QByteArray(HandWritten));

        host.Where = ServicesHost::Server::OtherCopy;
        dialog.Reload();
        QVERIFY(dialog.ServerLabel()->text().contains("another copy of the program"));
        QVERIFY(dialog.ServerLabel()->text().contains("analysis.example:47800"));
    }

    void keyFileWritten() {
        FixedHost host;
        host.Where = ServicesHost::Server::NotRunning;
        SearchServicesDialog dialog(host, Temp.filePath("keys.toml"));
        dialog.SubmitKindBox()->setCurrentIndex(int(SubmitService::IndexNow));
        dialog.SubmitKeyEdit()->setText("abcdef0123456789");
        const QString path = Temp.filePath("abcdef0123456789.txt");
        QVERIFY(dialog.WriteKeyFile(path));
        QCOMPARE(ReadAll(path), QByteArray("abcdef0123456789"));
        dialog.SubmitKeyEdit()->setText("no good");
        QVERIFY(!dialog.WriteKeyFile(Temp.filePath("bad.txt")));
        QVERIFY(!QFile::exists(Temp.filePath("bad.txt")));
        QCOMPARE(host.Dialogs.Asked.size(), 1);
    }

    // Save writes the file, the bundled server starts again and reads it,
    // and Test shows what the stand-in services answered through it.
    void dialogAgainstTheBundledServer() {
        SearchStandIn search;
        search.SetResults("web site", {"http://first.example/", "http://second.example/"});
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8()); // the server's link index
        const QString path = QString::fromStdString(DefaultConfigPath());
        QVERIFY(path.startsWith(home.path()));

        BundledServer bundled;
        bundled.SetKeyFile(home.filePath("key"));
        QTcpServer free;
        QVERIFY(free.listen(QHostAddress::LocalHost, 0));
        const QString address = QStringLiteral("127.0.0.1:%1").arg(free.serverPort());
        free.close();
        QVERIFY(bundled.Start(address, VANTORA_SERVER_DIR, 300));
        FakeDialogs dialogs;
        BundledServicesHost host(
            bundled, [&] { return bundled.Address(); },
            [] { return QStringLiteral("http://127.0.0.1:9/"); }, dialogs);
        QCOMPARE(int(host.Situation()), int(ServicesHost::Server::Ours));

        SearchServicesDialog dialog(host, path);
        QVERIFY(dialog.ServerLabel()->text().contains(address));
        auto test = [&](SearchServiceBox* box) -> QString {
            QTest::mouseClick(box->TestButton(), Qt::LeftButton);
            QTest::qWaitFor(
                [&] {
                    const QString text = box->StatusLabel()->text();
                    return text.startsWith("Working") || text.startsWith("Failed");
                },
                20000);
            return box->StatusLabel()->text();
        };
        SearchServiceBox* ranks = dialog.RanksBox();
        ranks->KindBox()->setCurrentIndex(1); // SearXNG
        ranks->AddressEdit()->setText(QString::fromStdString(search.Url("")));
        emit ranks->AddressEdit()->textEdited(ranks->AddressEdit()->text());
        // Test saves first; the server starts again while the window goes
        // on, the page saying so, and the test is asked once it answers.
        QTest::mouseClick(ranks->TestButton(), Qt::LeftButton);
        QVERIFY(dialog.RestartUnderway() && bundled.Restarting());
        QVERIFY2(dialog.ServerLabel()->text().startsWith("Restarting the analysis server"),
                 qPrintable(dialog.ServerLabel()->text()));
        QVERIFY(ranks->StatusLabel()->text().startsWith("Waiting for the analysis server"));
        QVERIFY(!dialog.SaveButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.RestartUnderway(), 10000);
        QVERIFY2(dialog.ServerLabel()->text().contains("was started again"),
                 qPrintable(dialog.ServerLabel()->text()));
        QString status = test(ranks);
        QVERIFY2(status.startsWith("Working") && status.contains("status 200") &&
                     status.contains("http://first.example/"),
                 qPrintable(status));
        QVERIFY(!dialog.Modified());
        QVERIFY(QFile::exists(path));
        QVERIFY(dialogs.Asked.isEmpty());

        // A service that refuses: the changed file is read again, and the
        // failure is said in words.
        ranks->KindBox()->setCurrentIndex(4); // any JSON service
        ranks->AddressEdit()->setText(QString::fromStdString(search.Url("/forbidden?q={query}")));
        emit ranks->AddressEdit()->textEdited(ranks->AddressEdit()->text());
        status = test(ranks);
        QVERIFY2(status.startsWith("Failed") && status.contains("403"), qPrintable(status));

        // Link-backs on the same service; garbage answers are told apart.
        ranks->AddressEdit()->setText(QString::fromStdString(search.Url("/garbage?q={query}")));
        emit ranks->AddressEdit()->textEdited(ranks->AddressEdit()->text());
        dialog.LinkBacksBox()->KindBox()->setCurrentIndex(5);
        status = test(dialog.LinkBacksBox());
        QVERIFY2(status.contains("not JSON"), qPrintable(status));
        const ConfigLoad load = LoadServerConfig(path.toStdString());
        QVERIFY2(load.Ok, load.Error.c_str());
        QCOMPARE(load.Config.BackwatchSearch, std::string("ranks"));
        bundled.Stop();
    }
};

QTEST_MAIN(TestSearchServices)
#include "TestSearchServices.moc"
