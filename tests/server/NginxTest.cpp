// The deployment the README describes, for real: nginx with the README's
// site file (TLS at nginx) in front of two servers that share a link index
// on PostgreSQL and check the token themselves. Link-backs recorded
// through one server are found through the other, and with one server
// killed every request is still answered.
#include "LocalSite.h"
#include "NginxFront.h"
#include "PgCluster.h"
#include "TeamServer.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace teamtest;

namespace {

const std::string Token = "nginx-team-token-0123456789";

struct HttpsAnswer {
    int Status = 0;
    QByteArray Body;
};

HttpsAnswer Get(QNetworkAccessManager& manager, const QString& url, const QString& caFile,
                const std::string& token) {
    QNetworkRequest request{QUrl(url)};
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(caFile));
    request.setSslConfiguration(tls);
    if (!token.empty())
        request.setRawHeader("Authorization", QByteArray("Bearer ") + token.c_str());
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    HttpsAnswer out;
    out.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.Body = reply->readAll();
    reply->deleteLater();
    return out;
}

QString Html(const QString& title, const QString& body) {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

} // namespace

class NginxTest : public QObject {
    Q_OBJECT
    QTemporaryDir Temp;

  private slots:
    void linkBacksAreSharedAndOneServerMayDie() {
        PgCluster pg;
        if (!pg.Ok())
            QSKIP(qPrintable("PostgreSQL cannot start here: " + pg.Reason()));
        LocalSite site;
        const std::string target = "http://localhost:" + std::to_string(site.Port) + "/garden.html";
        site.Put("/garden.html", Html("Garden", "<p>Spades and rakes.</p>").toStdString());
        site.Put("/blog.html", Html("Blog", "<p>See <a href=\"" + QString::fromStdString(target) +
                                                "\">the best spades</a>.</p>")
                                   .toStdString());
        QFile config(Temp.filePath("team.toml"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(("[access]\ntokens = [\"" + Token + "\"]\n[backwatch]\nindex = \"" +
                      pg.Address() + "\"\n")
                         .c_str());
        config.close();
        QProcess one, two;
        const QStringList arguments{"--listen", "127.0.0.1:0", "--config", config.fileName()};
        const int portOne = Start(one, Temp, arguments);
        const int portTwo = Start(two, Temp, arguments);
        QVERIFY2(portOne > 0 && portTwo > 0, one.readAllStandardError().constData());

        // The README shows the site file as it is tested here.
        QFile readme(QStringLiteral(VANTORA_SERVER_README)),
            siteFile(QStringLiteral(VANTORA_NGINX_SITE));
        QVERIFY(readme.open(QIODevice::ReadOnly) && siteFile.open(QIODevice::ReadOnly));
        QVERIFY(readme.readAll().contains(siteFile.readAll()));
        NginxFront nginx(QStringLiteral(VANTORA_NGINX_SITE), {portOne, portTwo}, true);
        if (!nginx.Running && nginx.Why.startsWith("nginx is not installed"))
            QSKIP(qPrintable(nginx.Why));
        QVERIFY2(nginx.Running, qPrintable(nginx.Why));
        const QString front = QString("https://127.0.0.1:%1").arg(nginx.Port);
        QNetworkAccessManager manager;

        // Through nginx the servers ask for the token; /healthz does not.
        QCOMPARE(Get(manager, front + "/cgi-bin/zeph/nothing.cgi", nginx.CaFile(), "").Status, 401);
        QCOMPARE(Get(manager, front + "/healthz", nginx.CaFile(), "").Body, QByteArray("ok"));

        // The first server reads the blog for an analysis: its links go into
        // the shared index.
        const Answer read =
            Ask(portOne,
                "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=" + site.Url("/blog.html") +
                    "&keywords=spades",
                Bearer(Token));
        QCOMPARE(read.Status, 200);

        // The first server dies; nginx sends everything to the second, which
        // finds the link-back the first one recorded.
        ::kill(pid_t(one.processId()), SIGKILL);
        QVERIFY(one.waitForFinished(5000));
        const QString ask = front + "/cgi-bin/zeph/text_output/backwatch-pt.cgi?url=" +
                            QString::fromStdString(target);
        for (int i = 0; i < 6; ++i) {
            const HttpsAnswer a = Get(manager, ask, nginx.CaFile(), Token);
            QCOMPARE(a.Status, 200);
            QVERIFY2(a.Body.contains(site.Url("/blog.html").c_str()), a.Body.constData());
            QVERIFY2(a.Body.contains("link index"), a.Body.constData());
        }
        // nginx's log keeps the paths without their query strings.
        QVERIFY(nginx.AccessLog().contains("backwatch-pt.cgi"));
        QVERIFY(!nginx.AccessLog().contains("garden.html"));
        two.terminate();
        QVERIFY(two.waitForFinished(10000));
    }
};

QTEST_MAIN(NginxTest)
#include "NginxTest.moc"
