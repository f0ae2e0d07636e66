// URL normalisation, the root split, the "Ok" checks and their effects, and
// the Project Settings dialog's controls.
#include "Crawler.h"
#include "Fakes.h"
#include "New.h"
#include "ProjectData.h"
#include "ProjectFile.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantora;
using test::FakeDialogs;

namespace {

class FakeHost : public ProjectSettingsHost {
  public:
    ProjectData Data;
    QStringList Calls;
    QString ProxyAtNewState;
    QString Status;
    bool Modified = false;

    ProjectData& Project() override { return Data; }
    void ApplyNewProjectState(const QString& urlText) override {
        Calls << QStringLiteral("new:") + urlText;
        ProxyAtNewState = Data.ProxyServer;
        Data.SiteMapLines.clear();
    }
    void ClearSiteMapTree() override { Calls << QStringLiteral("cleartree"); }
    void SetProjectStatus(const QString& text) override { Status = text; }
    void MarkProjectModified() override { Modified = true; }
};

// An open project with a site map, results and bulletins.
void OpenProject(ProjectData& p) {
    p.RootHost = QStringLiteral("www.old.com");
    p.RootPath = QStringLiteral("/site/");
    p.ProxyServer = QStringLiteral("oldproxy");
    p.ProxyPort = 81;
    p.RankscoutBulletins = QStringLiteral("Y");
    p.BackwatchBulletins = QStringLiteral("Y");
    p.SiteMapLines << QStringLiteral("0|index.html|Home");
    p.StuffwatchArchive.Append(QStringLiteral("http://www.old.com/site/"), QStringLiteral("d"),
                               QStringLiteral("b"));
    p.BulletinMessages.Append(QStringLiteral("m"), QStringLiteral("s"), QStringLiteral("p"),
                              QStringLiteral("0"));
}

ProjectSettingsFields Fields(const QString& url, bool proxy = false, const QString& server = {},
                             const QString& port = {}) {
    return {url, proxy, server, port, QStringLiteral("off"), {}};
}

ProjectSettingsFields Rendering(ProjectSettingsFields fields, const QString& mode) {
    fields.RenderMode = mode;
    return fields;
}

} // namespace

Q_DECLARE_METATYPE(vantora::ProjectSettingsFields)
Q_DECLARE_METATYPE(vantora::CrawlSettings)

class TestProjectSettings : public QObject {
    Q_OBJECT
  private slots:
    void normalisation_data();
    void normalisation();
    void split_data();
    void split();
    void okChecksInOrder_data();
    void okChecksInOrder();
    void newProject();
    void sameRootChangesOnlyProxyAndFlags_data();
    void sameRootChangesOnlyProxyAndFlags();
    void rootChange_data();
    void rootChange();
    void fillAndReset();
    void dialogShowNormalisesAndFocusesUrl();
    void keyFilters_data();
    void keyFilters();
    void wholeTextsFollowTheKeyRule_data();
    void wholeTextsFollowTheKeyRule();
    void okButtonAndProxyControls();
    void okFocusesFieldAtFault_data();
    void okFocusesFieldAtFault();
    void cancelKeepsTypedTexts();
    void crawlSettings_data();
    void crawlSettings();
};

void TestProjectSettings::normalisation_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("failed");
    QTest::newRow("empty") << ""
                           << "http://" << false;
    QTest::newRow("already normal") << "http://www.a.com/"
                                    << "http://www.a.com/" << false;
    QTest::newRow("final slash added") << "http://www.a.com/dir"
                                       << "http://www.a.com/dir/" << false;
    QTest::newRow("no scheme, host only") << "www.a.com"
                                          << "http://www.a.com/" << false;
    QTest::newRow("no scheme, host and path") << "www.a.com/dir/sub"
                                              << "http://www.a.com/dir/sub/" << false;
    QTest::newRow("page name gets slash") << "www.a.com/page.html"
                                          << "http://www.a.com/page.html/" << false;
    QTest::newRow("other scheme") << "ftp://www.a.com/x"
                                  << "http://www.a.com/x/" << false;
    QTest::newRow("https") << "https://www.a.com/"
                           << "http://www.a.com/" << false;
    QTest::newRow("capital HTTP") << "HTTP://www.a.com/d/"
                                  << "http://www.a.com/d/" << false;
    QTest::newRow("mixed case Http with port") << "Http://a.com:8080"
                                               << "http://a.com:8080/" << false;
    QTest::newRow("text before http://") << "xyzhttp://a.com/"
                                         << "http://a.com/" << false;
    QTest::newRow("http:// further in") << "a.com/http://b.com/x"
                                        << "http://b.com/x/" << false;
    QTest::newRow("bare separator") << "://a.com/"
                                    << "http://a.com/" << false;
    QTest::newRow("only slash") << "/"
                                << "" << false;
    QTest::newRow("other scheme, no host") << "ftp:///x"
                                           << "" << false;
    QTest::newRow("http:// stays") << "http://"
                                   << "http://" << false;
    const QString fits = QStringLiteral("http://") + QString(1015, u'a') + u'/';
    QTest::newRow("1023 characters fit") << QString(1015, u'a') << fits << false;
    QTest::newRow("too long for the field") << QString(1020, u'a') << "" << true;
}

void TestProjectSettings::normalisation() {
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QFETCH(bool, failed);
    const UrlNormalisation n = NormaliseRootUrl(typed);
    QCOMPARE(n.Url, result);
    QCOMPARE(n.Failed, failed);
    // Normalising twice changes nothing more.
    QCOMPARE(NormaliseRootUrl(n.Url).Url, n.Url.isEmpty() ? QStringLiteral("http://") : n.Url);
}

void TestProjectSettings::split_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");
    QTest::newRow("host and path") << "http://www.a.com/dir/"
                                   << "www.a.com"
                                   << "/dir/";
    QTest::newRow("host with port") << "http://10.0.0.1:8080/"
                                    << "10.0.0.1:8080"
                                    << "/";
    QTest::newRow("deep path") << "http://a.com/x/y/z.html/"
                               << "a.com"
                               << "/x/y/z.html/";
    QTest::newRow("no host") << "http:///"
                             << ""
                             << "/";
    QTest::newRow("scheme only") << "http://"
                                 << ""
                                 << "/";
}

void TestProjectSettings::split() {
    QFETCH(QString, url);
    QFETCH(QString, host);
    QFETCH(QString, path);
    const RootSplit s = SplitRootUrl(url);
    QCOMPARE(s.Host, host);
    QCOMPARE(s.Path, path);
}

void TestProjectSettings::okChecksInOrder_data() {
    QTest::addColumn<ProjectSettingsFields>("fields");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("generalErrors");
    QTest::addColumn<int>("focus");
    const int url = int(SettingsField::Url), server = int(SettingsField::ProxyServer),
              port = int(SettingsField::ProxyPort);
    QTest::newRow("empty URL shows http:// but names no site")
        << Fields("") << QStringList{EnterValidUrlMessage()} << QStringList() << url;
    QTest::newRow("only slash") << Fields("/") << QStringList{EnterValidUrlMessage()}
                                << QStringList() << url;
    QTest::newRow("URL before proxy")
        << Fields("/", true) << QStringList{EnterValidUrlMessage()} << QStringList() << url;
    QTest::newRow("too long") << Fields(QString(1020, u'a'))
                              << QStringList{UrlFormatErrorMessage(), EnterValidUrlMessage()}
                              << QStringList() << url;
    QTest::newRow("blank in the root")
        << Fields("http://exa mple.com/") << QStringList{EnterValidUrlMessage()} << QStringList()
        << url;
    QTest::newRow("@ in the root") << Fields("http://me@example.com/")
                                   << QStringList{EnterValidUrlMessage()} << QStringList() << url;
    QTest::newRow("proxy server missing")
        << Fields("a.com", true, "", "") << QStringList{EnterProxyServerMessage()} << QStringList()
        << server;
    QTest::newRow("port missing") << Fields("a.com", true, "px", "")
                                  << QStringList{EnterProxyPortMessage()} << QStringList() << port;
    QTest::newRow("pasted non-number port") << Fields("a.com", true, "px", "80x") << QStringList()
                                            << QStringList{NotIntegerMessage("80x")} << port;
    for (const char* outside : {"-1", "0", "65536", "999999"})
        QTest::newRow(qPrintable(QStringLiteral("port %1").arg(outside)))
            << Fields("a.com", true, "px", outside) << QStringList{ProxyPortRangeMessage()}
            << QStringList() << port;
}

void TestProjectSettings::okChecksInOrder() {
    QFETCH(ProjectSettingsFields, fields);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, generalErrors);
    QFETCH(int, focus);
    FakeHost host;
    OpenProject(host.Data);
    FakeDialogs dialogs;
    const SettingsOkOutcome out = ApplyProjectSettings(fields, host, dialogs);
    QVERIFY(!out.Accepted);
    QCOMPARE(int(out.Focus), focus);
    QCOMPARE(dialogs.Texts(), messages);
    QCOMPARE(dialogs.GeneralErrors, generalErrors);
    // Nothing of the project changed.
    QCOMPARE(host.Data.RootUrl(), QStringLiteral("http://www.old.com/site/"));
    QCOMPARE(host.Data.ProxyServer, QStringLiteral("oldproxy"));
    QCOMPARE(host.Data.ProxyPort, 81);
    QCOMPARE(host.Data.RankscoutBulletins, QStringLiteral("Y"));
    QVERIFY(host.Calls.isEmpty());
    QVERIFY(!host.Modified);
}

void TestProjectSettings::newProject() {
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsFields fields = Fields("www.a.com/x", true, "proxy", "8080");
    const SettingsOkOutcome out = ApplyProjectSettings(fields, host, dialogs);
    QVERIFY(out.Accepted);
    QVERIFY(dialogs.Asked.isEmpty());
    QCOMPARE(fields.Url, QStringLiteral("http://www.a.com/x/"));
    QCOMPARE(host.Calls, QStringList{"new:http://www.a.com/x/"});
    QCOMPARE(host.ProxyAtNewState, QStringLiteral("proxy")); // stored before the new state
    QCOMPARE(host.Data.RootHost, QStringLiteral("www.a.com"));
    QCOMPARE(host.Data.RootPath, QStringLiteral("/x/"));
    QCOMPARE(host.Data.ProxyPort, 8080);
    QCOMPARE(host.Data.RankscoutBulletins, QStringLiteral("N"));
    QCOMPARE(host.Data.BackwatchBulletins, QStringLiteral("N"));
}

void TestProjectSettings::sameRootChangesOnlyProxyAndFlags_data() {
    QTest::addColumn<ProjectSettingsFields>("fields");
    QTest::addColumn<QString>("flags"); // both bulletin flags before Ok
    QTest::addColumn<bool>("modified");
    const QString root = QStringLiteral("http://www.old.com/site/");
    QTest::newRow("proxy removed") << Fields(root) << "N" << true;
    QTest::newRow("port changed") << Fields(root, true, "oldproxy", "82") << "N" << true;
    QTest::newRow("server changed") << Fields(root, true, "newproxy", "81") << "N" << true;
    QTest::newRow("bulletins reset") << Fields(root, true, "oldproxy", "81") << "Y" << true;
    QTest::newRow("nothing changed") << Fields(root, true, "oldproxy", "81") << "N" << false;
    QTest::newRow("render mode changed")
        << Rendering(Fields(root, true, "oldproxy", "81"), "auto") << "N" << true;
}

void TestProjectSettings::sameRootChangesOnlyProxyAndFlags() {
    QFETCH(ProjectSettingsFields, fields);
    QFETCH(QString, flags);
    QFETCH(bool, modified);
    FakeHost host;
    OpenProject(host.Data);
    host.Data.RankscoutBulletins = host.Data.BackwatchBulletins = flags;
    FakeDialogs dialogs;
    const ProjectSettingsFields typed = fields;
    QVERIFY(ApplyProjectSettings(fields, host, dialogs).Accepted);
    QVERIFY(dialogs.Asked.isEmpty());
    QVERIFY(host.Calls.isEmpty());
    QCOMPARE(host.Modified, modified);
    QCOMPARE(host.Data.ProxyServer, typed.UseProxy ? typed.ProxyServer : QString());
    QCOMPARE(host.Data.ProxyPort, typed.UseProxy ? typed.ProxyPort.toInt() : 0);
    QCOMPARE(host.Data.RankscoutBulletins, QStringLiteral("N"));
    QCOMPARE(host.Data.BackwatchBulletins, QStringLiteral("N"));
    QCOMPARE(host.Data.SiteMapLines.size(), 1);
    QCOMPARE(host.Data.RenderMode, typed.RenderMode);
}

void TestProjectSettings::rootChange_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(MsgAnswer::Yes);
    QTest::newRow("No") << int(MsgAnswer::No);
    QTest::newRow("Cancel") << int(MsgAnswer::Cancel);
}

void TestProjectSettings::rootChange() {
    QFETCH(int, answer);
    FakeHost host;
    OpenProject(host.Data);
    FakeDialogs dialogs;
    dialogs.Answers.enqueue(MsgAnswer(answer));
    ProjectSettingsFields fields = Fields("www.new.com", true, "np", "3128");
    const SettingsOkOutcome out = ApplyProjectSettings(fields, host, dialogs);

    QCOMPARE(dialogs.Asked.size(), 1);
    QCOMPARE(int(dialogs.Asked[0].Kind), int(MsgKind::Warning));
    QCOMPARE(int(dialogs.Asked[0].Buttons), int(MsgButtons::YesNoCancel));
    QCOMPARE(dialogs.Asked[0].Text, RootChangeWarning());
    // Results and bulletins are never touched by a root change.
    QCOMPARE(host.Data.StuffwatchArchive.Count(), 1);
    QCOMPARE(host.Data.BulletinMessages.Count(), 1);

    switch (MsgAnswer(answer)) {
    case MsgAnswer::Yes:
        QVERIFY(out.Accepted);
        QCOMPARE(host.Data.RootUrl(), QStringLiteral("http://www.new.com/"));
        QVERIFY(host.Data.SiteMapLines.isEmpty());
        QCOMPARE(host.Calls, QStringList{"cleartree"});
        QVERIFY(host.Modified);
        QCOMPARE(host.Status, QStringLiteral("Project Open, http://www.new.com/"));
        QCOMPARE(host.Data.ProxyServer, QStringLiteral("np"));
        QCOMPARE(host.Data.RankscoutBulletins, QStringLiteral("N"));
        break;
    case MsgAnswer::No:
        QVERIFY(out.Accepted);
        QCOMPARE(fields.Url, QStringLiteral("http://www.old.com/site/"));
        QCOMPARE(host.Data.RootUrl(), QStringLiteral("http://www.old.com/site/"));
        QCOMPARE(host.Data.SiteMapLines.size(), 1);
        QVERIFY(host.Calls.isEmpty());
        QVERIFY(host.Modified); // the proxy changed
        QCOMPARE(host.Data.ProxyServer, QStringLiteral("np"));
        QCOMPARE(host.Data.ProxyPort, 3128);
        QCOMPARE(host.Data.BackwatchBulletins, QStringLiteral("N"));
        break;
    default:
        QVERIFY(!out.Accepted);
        QCOMPARE(host.Data.RootUrl(), QStringLiteral("http://www.old.com/site/"));
        QCOMPARE(host.Data.SiteMapLines.size(), 1);
        QCOMPARE(host.Data.ProxyServer, QStringLiteral("oldproxy"));
        QCOMPARE(host.Data.ProxyPort, 81);
        QCOMPARE(host.Data.RankscoutBulletins, QStringLiteral("Y"));
        QVERIFY(!host.Modified);
        break;
    }
}

void TestProjectSettings::fillAndReset() {
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    ProjectData p;
    OpenProject(p);
    dlg.FillFromProject(p);
    QCOMPARE(dlg.Fields(), Fields("http://www.old.com/site/", true, "oldproxy", "81"));
    QVERIFY(dlg.ProxyServerEdit()->isEnabled());
    QVERIFY(dlg.ProxyPortEdit()->isEnabled());

    p.ProxyServer.clear();
    p.ProxyPort = 0;
    dlg.FillFromProject(p);
    QCOMPARE(dlg.Fields(), Fields("http://www.old.com/site/", false, "", "0"));
    QVERIFY(!dlg.ProxyServerEdit()->isEnabled());
    // A render mode of another version is shown and kept as it is.
    p.RenderMode = QStringLiteral("smart");
    dlg.FillFromProject(p);
    QCOMPARE(dlg.Fields().RenderMode, QStringLiteral("smart"));
    p.RenderMode = QStringLiteral("on");
    dlg.FillFromProject(p);
    QCOMPARE(dlg.RenderModeBox()->count(), 3);
    QCOMPARE(dlg.Fields(), Rendering(Fields("http://www.old.com/site/", false, "", "0"), "on"));

    dlg.Reset();
    QCOMPARE(dlg.Fields(), EmptyFields());
    QVERIFY(!dlg.ProxyServerEdit()->isEnabled());
    QVERIFY(!dlg.ProxyPortEdit()->isEnabled());
    QVERIFY(!dlg.OkButton()->isEnabled());
}

void TestProjectSettings::dialogShowNormalisesAndFocusesUrl() {
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Project Settings"));
    dlg.show();
    QCOMPARE(dlg.UrlEdit()->text(), QStringLiteral("http://"));
    QVERIFY(dlg.OkButton()->isEnabled());
    QVERIFY(dlg.OkButton()->isDefault());
    QCOMPARE(dlg.focusWidget(), dlg.UrlEdit());
    QCOMPARE(dlg.UrlEdit()->maxLength(), 1023);
    QCOMPARE(dlg.ProxyServerEdit()->maxLength(), 1023);
    QCOMPARE(dlg.ProxyPortEdit()->maxLength(), 6);

    // Leaving the field normalises it.
    dlg.UrlEdit()->setText(QStringLiteral("www.b.com/d"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(dlg.UrlEdit(), &out);
    QCOMPARE(dlg.UrlEdit()->text(), QStringLiteral("http://www.b.com/d/"));
}

void TestProjectSettings::keyFilters_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("URL") << 0 << "a b@c&d?e%f:/g"
                         << "abcdef:/g";
    QTest::newRow("proxy server") << 1 << "p x:1.2"
                                  << "px1.2";
    QTest::newRow("port") << 2 << "8a0-8 +"
                          << "808";
    QTest::newRow("port length") << 2 << "12345678"
                                 << "123456";
}

void TestProjectSettings::keyFilters() {
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    dlg.ProxyBox()->setChecked(true);
    QLineEdit* edit = field == 0   ? dlg.UrlEdit()
                      : field == 1 ? dlg.ProxyServerEdit()
                                   : dlg.ProxyPortEdit();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), kept);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), kept.chopped(1));
}

void TestProjectSettings::wholeTextsFollowTheKeyRule_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    for (const char* how : {"paste", "drop", "input method"}) {
        const QString way = QString::fromLatin1(how);
        QTest::addRow("URL with a blank, %s", how) << 0 << way << "http://exa mple.com/"
                                                   << "";
        QTest::addRow("URL with %%, %s", how) << 0 << way << "http://a.com/%41"
                                              << "";
        QTest::addRow("clean URL, %s", how) << 0 << way << "http://a.com/"
                                            << "http://a.com/";
        QTest::addRow("proxy with a colon, %s", how) << 1 << way << "px:80"
                                                     << "";
        QTest::addRow("port with a letter, %s", how) << 2 << way << "8o"
                                                     << "";
        QTest::addRow("port digits, %s", how) << 2 << way << "8080"
                                              << "8080";
    }
}

// Text that arrives whole is held to the rule of the typed keys: a text with
// a refused character is not taken at all.
void TestProjectSettings::wholeTextsFollowTheKeyRule() {
    QFETCH(int, field);
    QFETCH(QString, how);
    QFETCH(QString, text);
    QFETCH(QString, kept);
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    dlg.ProxyBox()->setChecked(true);
    QLineEdit* edit = field == 0   ? dlg.UrlEdit()
                      : field == 1 ? dlg.ProxyServerEdit()
                                   : dlg.ProxyPortEdit();
    edit->clear();
    if (how == QLatin1String("paste")) {
        QGuiApplication::clipboard()->setText(text);
        if (QGuiApplication::clipboard()->text() != text)
            QSKIP("this desktop's clipboard does not keep text");
        edit->paste();
    } else if (how == QLatin1String("drop")) {
        auto* data = new QMimeData;
        data->setText(text);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &enter);
        QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &move);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &drop);
        delete data;
    } else {
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QCoreApplication::sendEvent(edit, &commit);
    }
    QCOMPARE(edit->text(), kept);
}

void TestProjectSettings::okButtonAndProxyControls() {
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    QVERIFY(!dlg.OkButton()->isEnabled());
    QTest::keyClicks(dlg.UrlEdit(), QStringLiteral("a"));
    QVERIFY(dlg.OkButton()->isEnabled());
    QTest::keyClick(dlg.UrlEdit(), Qt::Key_Backspace);
    QVERIFY(!dlg.OkButton()->isEnabled());

    dlg.ProxyBox()->click();
    QVERIFY(dlg.ProxyServerEdit()->isEnabled());
    QVERIFY(dlg.ProxyPortEdit()->isEnabled());
    dlg.ProxyBox()->click();
    QVERIFY(!dlg.ProxyServerEdit()->isEnabled());
    QVERIFY(!dlg.ProxyPortEdit()->isEnabled());
}

void TestProjectSettings::okFocusesFieldAtFault_data() {
    QTest::addColumn<ProjectSettingsFields>("fields");
    QTest::addColumn<QString>("focused");
    QTest::newRow("URL") << Fields("/", true, "px", "1") << "URLEdit";
    QTest::newRow("server") << Fields("a.com", true, "", "1") << "ProxyServerEdit";
    QTest::newRow("port") << Fields("a.com", true, "px", "") << "ProxyPortEdit";
}

void TestProjectSettings::okFocusesFieldAtFault() {
    QFETCH(ProjectSettingsFields, fields);
    QFETCH(QString, focused);
    FakeHost host;
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    dlg.show();
    dlg.SetFields(fields);
    dlg.CancelButton()->setFocus();
    dlg.OkButton()->click();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dialogs.Asked.size(), 1);
    QVERIFY(dlg.focusWidget());
    QCOMPARE(dlg.focusWidget()->objectName(), focused);

    // Corrected, Ok closes the dialog and stores the project.
    dlg.SetFields(Fields("a.com", true, "px", "1"));
    dlg.OkButton()->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(host.Data.RootUrl(), QStringLiteral("http://a.com/"));
    QCOMPARE(host.Data.ProxyPort, 1);
}

void TestProjectSettings::cancelKeepsTypedTexts() {
    FakeHost host;
    OpenProject(host.Data);
    FakeDialogs dialogs;
    ProjectSettingsDialog dlg(dialogs, host);
    dlg.FillFromProject(host.Data);
    dlg.show();
    dlg.SetFields(Fields("http://typed.com/", false, "", "0"));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(host.Data.RootUrl(), QStringLiteral("http://www.old.com/site/"));
    QCOMPARE(host.Data.ProxyServer, QStringLiteral("oldproxy"));
    dlg.show();
    QCOMPARE(dlg.Fields(), Fields("http://typed.com/", false, "", "0"));
    QVERIFY(dialogs.Asked.isEmpty());
}

// The advanced part's crawl settings: what "Ok" refuses, and for what it
// takes, the mapper's arguments, the trip through the file beside the
// project (the project file's bytes unchanged) and through the dialog.
void TestProjectSettings::crawlSettings_data() {
    QTest::addColumn<CrawlSettings>("settings"); // "COOKIES" stands for a real file
    QTest::addColumn<QStringList>("arguments");  // empty with a refusal
    QTest::addColumn<int>("refused");            // SettingsField
    auto with = [](auto change) {
        CrawlSettings settings;
        change(settings);
        return settings;
    };
    const int ok = int(SettingsField::None);
    QTest::newRow("defaults") << CrawlSettings{} << QStringList{} << ok;
    QTest::newRow("all set") << with([](CrawlSettings& c) {
        c.UserAgent = "Shopbot/2 (ops@example.org)";
        c.MaxRate = 2.5;
        c.PerHost = 3;
        c.Include = {"^https?://[^/]+/shop/", "/blog/"};
        c.Exclude = {"\\?sort=", "/cart( |$)"};
        c.CookieFile = "COOKIES";
        c.Headers = {"Authorization: Basic dTpw", "X-Crawl: yes, please"};
    })
                             << QStringList{"--user-agent=Shopbot/2 (ops@example.org)",
                                            "--max-rate=2.5",
                                            "--per-host=3",
                                            "--include=^https?://[^/]+/shop/",
                                            "--include=/blog/",
                                            "--exclude=\\?sort=",
                                            "--exclude=/cart( |$)",
                                            "--cookie-file=COOKIES",
                                            "--header=Authorization: Basic dTpw",
                                            "--header=X-Crawl: yes, please"}
                             << ok;
    QTest::newRow("a newer version's member rides along") << with([](CrawlSettings& c) {
        c.MaxRate = 0.25;
        c.Other.insert("crawl_delay_cap", 30);
    }) << QStringList{"--max-rate=0.25"} << ok;
    QTest::newRow("include not a regular expression") << with([](CrawlSettings& c) {
        c.Include = {"/ok/", "/shop/[a-"};
    }) << QStringList{} << int(SettingsField::Include);
    QTest::newRow("exclude not a regular expression")
        << with([](CrawlSettings& c) { c.Exclude = {"(unclosed"}; }) << QStringList{}
        << int(SettingsField::Exclude);
    QTest::newRow("cookie file missing")
        << with([](CrawlSettings& c) { c.CookieFile = "/nonexistent/cookies.txt"; })
        << QStringList{} << int(SettingsField::CookieFile);
    QTest::newRow("header without a colon") << with([](CrawlSettings& c) {
        c.Headers = {"X-Ok: 1", "Authorization Basic"};
    }) << QStringList{} << int(SettingsField::Headers);
    QTest::newRow("header name with a blank")
        << with([](CrawlSettings& c) { c.Headers = {"X Token: 1"}; }) << QStringList{}
        << int(SettingsField::Headers);
    QTest::newRow("user agent on two lines")
        << with([](CrawlSettings& c) { c.UserAgent = "bot\nX-Injected: 1"; }) << QStringList{}
        << int(SettingsField::UserAgent);
}

void TestProjectSettings::crawlSettings() {
    QFETCH(CrawlSettings, settings);
    QFETCH(QStringList, arguments);
    QFETCH(int, refused);
    QTemporaryDir dir;
    const QString cookies = dir.filePath("cookies.txt");
    QFile cookieFile(cookies);
    QVERIFY(cookieFile.open(QIODevice::WriteOnly) &&
            cookieFile.write("# Netscape HTTP Cookie File\n") > 0);
    cookieFile.close();
    if (settings.CookieFile == "COOKIES")
        settings.CookieFile = cookies;
    arguments.replaceInStrings("COOKIES", cookies);

    FakeHost host;
    OpenProject(host.Data);
    host.Data.RankscoutBulletins = host.Data.BackwatchBulletins = QStringLiteral("N");
    const ProjectData before = host.Data;
    FakeDialogs dialogs;
    ProjectSettingsFields fields = Fields(host.Data.RootUrl(), true, "oldproxy", "81");
    fields.Crawl = settings;
    const SettingsOkOutcome outcome = ApplyProjectSettings(fields, host, dialogs);
    if (refused != int(SettingsField::None)) {
        QVERIFY(!outcome.Accepted);
        QCOMPARE(int(outcome.Focus), refused);
        QCOMPARE(dialogs.Asked.size(), 1);
        QCOMPARE(dialogs.Asked.first().Kind, MsgKind::Information);
        QVERIFY(host.Data.Crawl.IsDefault());
        QVERIFY(!host.Modified);
        return;
    }
    QVERIFY(outcome.Accepted);
    QVERIFY(dialogs.Asked.isEmpty());
    QCOMPARE(host.Data.Crawl, settings);
    QCOMPARE(host.Modified, !settings.IsDefault());
    QCOMPARE(SiteMapperArguments(host.Data), arguments);
    // A render mode from the command line comes first and wins over the project's.
    host.Data.RenderMode = QStringLiteral("auto");
    QCOMPARE(SiteMapperArguments(host.Data, QStringLiteral("on")),
             QStringList{"--render=on"} + arguments);

    const QString path = dir.filePath("site.zpr");
    QVERIFY(WriteProjectFile(path, host.Data).IsOk());
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), SerializeProject(before));
    ProjectData back;
    const ProjectFileResult read = ReadProjectFile(path, back);
    QVERIFY2(read.IsOk() && read.Warning.isEmpty(), qPrintable(read.Error + read.Warning));
    QCOMPARE(back.Crawl, settings);

    // The dialog shows the settings and gives back the same, Other included.
    ProjectSettingsDialog dlg(dialogs, host);
    dlg.FillFromProject(back);
    QCOMPARE(dlg.Fields().Crawl, settings);
    QCOMPARE(dlg.UserAgentEdit()->placeholderText(),
             QString::fromStdString(webcharter::CrawlOptions{}.UserAgent));
}

QTEST_MAIN(TestProjectSettings)
#include "TestProjectSettings.moc"
