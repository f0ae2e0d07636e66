// The analysis server end to end: the real vantora-server process on
// 127.0.0.1 analysing pages of a local site, its answers read with the
// client's own rules; the CGI mode; and the private-address refusal.

#include "Service.h"
#include "ClientRules.h"
#include "Endpoints.h"
#include "LocalSite.h"
#include "PageText.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace clientrules;

namespace {

const char* const Vocabulary[] = {
    "apple",   "bright",   "canal",   "dusty",    "eager",    "fabric", "glow",     "harbour",
    "island",  "jacket",   "kettle",  "lantern",  "meadow",   "narrow", "orchard",  "pebble",
    "quiet",   "river",    "saddle",  "timber",   "umbrella", "valley", "willow",   "yellow",
    "zephyr",  "anchor",   "basket",  "cobble",   "dune",     "ember",  "fern",     "granite",
    "hollow",  "ivory",    "juniper", "kestrel",  "linen",    "marble", "nettle",   "oak",
    "parcel",  "quarry",   "ribbon",  "spruce",   "thistle",  "upland", "velvet",   "walnut",
    "yarrow",  "acorn",    "bramble", "clover",   "daisy",    "elder",  "flint",    "gravel",
    "heather", "iris",     "jasmine", "kelp",     "lichen",   "moss",   "nutmeg",   "olive",
    "poppy",   "quince",   "rowan",   "sorrel",   "tansy",    "ursine", "violet",   "wheat",
    "barley",  "cedar",    "dogwood", "elm",      "fennel",   "gorse",  "hazel",    "indigo",
    "jute",    "kale",     "laurel",  "maple",    "nectar",   "onion",  "pine",     "radish",
    "sage",    "tulip",    "vetch",   "wisteria", "almond",   "beech",  "cherry",   "damson",
    "endive",  "fig",      "ginger",  "hops",     "leek",     "mint",   "parsley",  "rhubarb",
    "shallot", "thyme",    "turnip",  "chard",    "lupin",    "aster",  "briar",    "crocus",
    "dahlia",  "foxglove", "hosta",   "lilac",    "mallow",   "peony",  "primrose", "salvia"};
constexpr int VocabularySize = sizeof(Vocabulary) / sizeof(Vocabulary[0]);

// Sentences of ten distinct words each, so no word stands out.
std::string Prose(int sentences, int seed) {
    std::string out;
    int w = seed * 37;
    for (int s = 0; s < sentences; ++s) {
        for (int k = 0; k < 10; ++k) {
            std::string word = Vocabulary[(w++) % VocabularySize];
            if (k == 0)
                word[0] = static_cast<char>(std::toupper(word[0]));
            out += word + (k == 9 ? ". " : " ");
        }
    }
    return out;
}

struct PageSpec {
    std::string Title = "Garden tools for every gardener and allotment season";
    std::string Description =
        "Garden tools chosen by growers: spades, forks, hoes and pruners that last for years, "
        "with honest advice on their care and storage.";
    std::string Head;
    std::string Body;
    bool Images = true;
    int ExtraH1 = 0;
};

std::string BuildPage(const PageSpec& layout) {
    std::string html = "<!DOCTYPE html><html><head><title>" + layout.Title +
                       "</title><meta name=\"description\" content=\"" + layout.Description +
                       "\">" + layout.Head + "</head><body><h1>Garden tools that last</h1>";
    for (int i = 0; i < layout.ExtraH1; ++i)
        html += "<h1>Another main heading</h1>";
    html += "<p>Good garden tools make every job easier. " + Prose(6, 1) + "</p>";
    if (layout.Images)
        html += "<img src=\"a.jpg\" alt=\"Row of garden tools on a shed wall\">"
                "<img src=\"b.jpg\" alt=\"Spade resting in soil\">";
    html += "<h2>Choosing garden tools</h2><p>" + Prose(8, 2) + "</p>";
    html += "<h2>Caring for blades and handles</h2><p>" + Prose(8, 3) + "</p>";
    html += "<h2>Storage through winter</h2><p>Keep your garden tools dry. " + Prose(8, 4) + "</p>";
    html += "<p><a href=\"/spades.html\">Spades for heavy clay</a> and "
            "<a href=\"/care.html\">our tool care guide</a>, and the "
            "<a href=\"https://growers.example.org/\">growers' society</a>.</p>";
    html += layout.Body + "</body></html>";
    return html;
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

// A raw client connection to 127.0.0.1 whose reads give up after timeoutMs.
class RawClient {
  public:
    RawClient(int port, int timeoutMs) {
        Fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        Connected = ::connect(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(Fd); }
    bool Send(std::string_view bytes) {
        return ::send(Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    // Everything until the server closes; TimedOut when it kept the
    // connection open past the time-out instead.
    std::string ReadToClose() {
        std::string all;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(Fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                all.append(buffer, std::size_t(n));
                continue;
            }
            TimedOut = n < 0;
            return all;
        }
    }
    // One answer of a kept-alive connection: the head and Content-Length bytes.
    std::string ReadAnswer() {
        std::string all;
        char buffer[4096];
        for (;;) {
            const std::size_t end = all.find("\r\n\r\n");
            if (end != std::string::npos) {
                const std::size_t at = all.find("Content-Length: ");
                const std::size_t length =
                    at == std::string::npos ? 0 : std::stoul(all.substr(at + 16));
                if (all.size() >= end + 4 + length)
                    return all;
            }
            const ssize_t n = ::recv(Fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                TimedOut = n < 0;
                return all;
            }
            all.append(buffer, std::size_t(n));
        }
    }
    int Fd = -1;
    bool Connected = false;
    bool TimedOut = false;
};

} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalSite> Site;
    QProcess Server;
    int ServerPort = 0;
    QTemporaryDir Temp;
    int WordweighRequests = 0;

    std::string Get(const std::string& target, int* status = nullptr) {
        httplib::Client client("127.0.0.1", ServerPort);
        client.set_url_encode(false);
        client.set_connection_timeout(5);
        client.set_read_timeout(60);
        if (target.find("wordweigh-pt.cgi") != std::string::npos)
            ++WordweighRequests;
        auto res = client.Get(target.c_str());
        if (!res)
            return "(no answer)";
        if (status)
            *status = res->status;
        return res->body;
    }

    std::string Wordweigh(const std::string& url, const std::string& keywords) {
        return Get("/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=" + url +
                   "&keywords=" + keywords);
    }
    std::string Stuffwatch(const std::string& url) {
        return Get("/cgi-bin/zeph/text_output/spam-pt.cgi?url=" + url);
    }

    static bool HasCode(const QStringList& items, int first, const QString& code) {
        for (int k = first + 3; k < items.size(); k += 4)
            if (items[k] == code)
                return true;
        return false;
    }

    // Starts another server on a free port with extra arguments; its port, or -1.
    int StartServer(QProcess& process, const QStringList& extra) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Temp.filePath("config"));
        env.insert("XDG_DATA_HOME", Temp.filePath("data"));
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-server",
                      QStringList{"--listen", "127.0.0.1:0"} + extra);
        if (!process.waitForStarted(10000) || !process.waitForReadyRead(10000))
            return -1;
        const QRegularExpressionMatch m = QRegularExpression(R"(listening on 127\.0\.0\.1:(\d+))")
                                              .match(QString::fromUtf8(process.readLine()));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

  private slots:
    void initTestCase() {
        QVERIFY(Temp.isValid());
        Site = std::make_unique<LocalSite>();
        QVERIFY(Site->Port > 0);
        Site->Put("/garden-tools.html", BuildPage({}));
        const QString program = qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-server";
        // The server reads its configuration and keeps its link index under
        // the XDG folders: the test's own, not the user's.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Temp.filePath("config"));
        env.insert("XDG_DATA_HOME", Temp.filePath("data"));
        Server.setProcessEnvironment(env);
        Server.start(program, {"--listen", "127.0.0.1:0", "--workers", "4", "--record",
                               Temp.filePath("record.txt")});
        QVERIFY2(Server.waitForStarted(10000), qPrintable(program));
        QVERIFY(Server.waitForReadyRead(10000));
        const QString line = QString::fromUtf8(Server.readLine()).trimmed();
        const QRegularExpressionMatch m =
            QRegularExpression(R"(listening on 127\.0\.0\.1:(\d+))").match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        ServerPort = m.captured(1).toInt();
    }

    void cleanupTestCase() {
        Server.terminate();
        Server.waitForFinished(10000);
        // One log line per request, each ending in the time taken.
        const QStringList lines =
            QString::fromUtf8(Server.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        const auto wordweighLines = std::count_if(lines.begin(), lines.end(), [](const QString& l) {
            return l.contains("/cgi-bin/zeph/text_output/wordweigh-pt.cgi");
        });
        QCOMPARE(int(wordweighLines), WordweighRequests);
        for (const QString& l : lines)
            QVERIFY2(
                QRegularExpression(R"(^\d{4}-\d\d-\d\dT\S+ \S+ \S+ .* \d+ms$)").match(l).hasMatch(),
                qPrintable(l));
        Site.reset();
    }

    void optimisedPageScoresHighWithoutProblems() {
        const std::string url = Site->Url("/garden-tools.html");
        const auto w = ReadWordweigh(Q(Wordweigh(url, "garden%20tools")));
        QVERIFY(w.MarkerOk);
        QVERIFY(!w.NotOpened);
        QCOMPARE(w.Url, Q(url));
        QCOMPARE(w.Items.value(1), QString("KEYWORDS: garden tools"));
        QVERIFY2(w.Percent.toInt() >= 90, qPrintable(w.Body));
        QVERIFY2(!w.Body.contains("PROBLEM:"), qPrintable(w.Body));
    }

    void weakerPagesScoreLowerAndNameTheProblem_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("words");
        auto add = [](const char* name, const char* path, const char* code,
                      const PageSpec& layout) {
            QTest::newRow(name) << path << code << QString::fromStdString(BuildPage(layout));
        };
        PageSpec noTitle;
        noTitle.Title = "Everything you need for the allotment and the vegetable plot";
        add("key words missing from title", "/t/garden-tools.html", "K1", noTitle);
        PageSpec noDesc;
        noDesc.Description = "Spades, forks, hoes and pruners that last for years, with honest "
                             "advice on their care and storage from experienced growers here.";
        add("key words missing from description", "/d/garden-tools.html", "K3", noDesc);
        PageSpec noImages;
        noImages.Images = false;
        add("no images", "/i/garden-tools.html", "K8", noImages);
        PageSpec stuffed;
        for (int i = 0; i < 25; ++i)
            stuffed.Body += "<p>Garden tools.</p>";
        add("key words far too often", "/s/garden-tools.html", "K6", stuffed);
        PageSpec twoH1;
        twoH1.ExtraH1 = 2;
        add("several main headings", "/h/garden-tools.html", "K11", twoH1);
        add("key words missing from the address", "/shop/item-17.html", "K9", PageSpec{});
        PageSpec longTitle;
        longTitle.Title = "Garden tools for every gardener, allotment holder and weekend grower, "
                          "in every season of the year";
        add("title cut off in results", "/w/garden-tools.html", "K2", longTitle);
        PageSpec competing;
        competing.Body = "<p>See also <a href=\"/other.html\">garden tools</a>.</p>";
        add("competing link", "/c/garden-tools.html", "K12", competing);
    }

    void weakerPagesScoreLowerAndNameTheProblem() {
        QFETCH(QString, path);
        QFETCH(QString, code);
        QFETCH(QString, words);
        Site->Put(path.toStdString(), words.toStdString());
        const auto best =
            ReadWordweigh(Q(Wordweigh(Site->Url("/garden-tools.html"), "garden%20tools")));
        const auto w = ReadWordweigh(Q(Wordweigh(Site->Url(path.toStdString()), "garden%20tools")));
        QVERIFY(w.MarkerOk && !w.NotOpened);
        QVERIFY2(w.Percent.toInt() < best.Percent.toInt(), qPrintable(w.Percent));
        QVERIFY(w.Body.contains("PROBLEM:"));
        QVERIFY(w.ProblemGroups >= 1);
        QVERIFY(!w.Truncated);
        QVERIFY2(HasCode(w.Items, 3, code), qPrintable(w.Body));
        QCOMPARE(w.Percent.size(), 2); // never a digit and a stray character
    }

    void spamRuleFires_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("code");
        auto add = [](const char* name, const char* code, const PageSpec& layout) {
            QTest::newRow(name) << QString::fromStdString(BuildPage(layout)) << code;
        };
        PageSpec s;
        s.Body = "<div style=\"display:none\">cheap pills cheap pills buy now best cheap casino "
                 "free money win big now</div>";
        add("hidden by display none", "S1", s);
        s = {};
        s.Head = "<style>.promo { position: absolute; left: -9999px }</style>";
        s.Body = "<div class=\"promo\">garden tools cheap garden tools best garden tools buy "
                 "garden tools <a href=\"http://elsewhere.example/\">shop</a></div>";
        add("hidden off screen with a link", "S1", s);
        s = {};
        s.Body = "<p style=\"font-size:0\">secret words for the search engines only, placed here "
                 "to be read by robots</p>";
        add("zero font size", "S1", s);
        s = {};
        s.Body = "<div style=\"background-color:#ffffff\"><p style=\"color:white\">garden tools "
                 "garden tools white words on white</p></div>";
        add("white on white", "S2", s);
        s = {};
        s.Body = "<body bgcolor=\"#000000\"><font color=\"#010101\">black words on black</font>";
        add("font colour like the body", "S2", s);
        s = {};
        s.Body = "<p>Read on<a href=\"http://elsewhere.example/\">.</a></p>";
        add("one character link", "S3", s);
        s = {};
        s.Head = "<meta http-equiv=\"refresh\" content=\"0; url=http://elsewhere.example/\">";
        add("meta refresh elsewhere", "S4", s);
        s = {};
        s.Body = "<script>window.location.replace('http://elsewhere.example/landing');</script>";
        add("script redirect", "S4", s);
        s = {};
        for (int i = 0; i < 25; ++i)
            s.Body += "<p>Cheap widgets here.</p>";
        add("phrase stuffing", "S5", s);
        s = {};
        for (int i = 0; i < 25; ++i)
            s.Body += "<p>Widgets of the day.</p>";
        add("word stuffing", "S6", s);
        s = {};
        s.Title = "Garden tools, tools, tools and more tools";
        add("title stuffing", "S7", s);
        s = {};
        s.Head = "<meta name=\"keywords\" content=\"garden tools, spades, garden tools, forks, "
                 "garden tools\">";
        add("meta keywords repeated", "S8", s);
        s = {};
        s.Body = "<img src=\"c.jpg\" alt=\"spade spade spade best spade\">";
        add("alt stuffing", "S9", s);
        s = {};
        for (int i = 0; i < 12; ++i)
            s.Body += "<p>Call 0161 496 07" + std::to_string(10 + i) + "</p>";
        add("phone number list", "S10", s);
        s = {};
        s.Body = "<p>Leeds, York, Hull, Bradford, Wakefield, Halifax, Harrogate, Ripon, Selby, "
                 "Skipton, Otley, Ilkley, Keighley, Batley, Dewsbury, Pontefract</p>";
        add("place list", "S10", s);
        QTest::newRow("doorway")
            << "<html><head><title>Cheap widgets deals</title></head><body><h1>Cheap widgets</h1>"
               "<p>Cheap widgets for you. Best widgets, cheap. Widgets deals today.</p>"
               "<p><a href=\"http://shop.example/go\">Go to the widgets shop</a></p>"
               "</body></html>"
            << "S11";
    }

    void spamRuleFires() {
        QFETCH(QString, html);
        QFETCH(QString, code);
        const std::string path = "/spam/" + std::to_string(qHash(html)) + ".html";
        Site->Put(path, html.toStdString());
        const auto s = ReadStuffwatch(Q(Stuffwatch(Site->Url(path))));
        QVERIFY2(s.MarkerOk, qPrintable(s.Body));
        QVERIFY(!s.NoSpam);
        QVERIFY(s.FindingGroups >= 1);
        QVERIFY(!s.Truncated);
        QVERIFY2(HasCode(s.Items, 2, code), qPrintable(s.Body));
    }

    void cleanPagesShowNoSpam_data() {
        QTest::addColumn<QString>("html");
        QTest::newRow("optimised page") << QString::fromStdString(BuildPage({}));
        PageSpec s;
        s.Head =
            "<style>.sr-only{position:absolute;width:1px;height:1px;clip:rect(0 0 0 0)}</style>";
        s.Body =
            "<span class=\"sr-only\">Skip to the main content of this page about tools</span>"
            "<div aria-hidden=\"true\" style=\"display:none\">icon text for decoration only "
            "here</div>"
            "<details><summary>More</summary><p>Folded answer about storing tools in a dry "
            "shed.</p></details>"
            "<nav><ul style=\"display:none\"><li><a href=\"/a\">Menu entry one</a></li></ul></nav>"
            "<p style=\"color:#333;background:#fff\">Readable grey text.</p>"
            "<p><a href=\"/next.html\"><img src=\"n.png\" alt=\"Next\"></a></p>";
        QTest::newRow("accessible hidden parts") << QString::fromStdString(BuildPage(s));
        s = {};
        s.Head = "<meta http-equiv=\"refresh\" content=\"600\">";
        QTest::newRow("refresh without target") << QString::fromStdString(BuildPage(s));
    }

    void cleanPagesShowNoSpam() {
        QFETCH(QString, html);
        const std::string path = "/clean/" + std::to_string(qHash(html)) + ".html";
        Site->Put(path, html.toStdString());
        const auto s = ReadStuffwatch(Q(Stuffwatch(Site->Url(path))));
        QVERIFY2(s.MarkerOk, qPrintable(s.Body));
        QVERIFY2(s.NoSpam, qPrintable(s.Body));
        QCOMPARE(s.Url, Q(Site->Url(path)));
    }

    void unreadablePagesGiveNotOpened_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("404") << Q(Site->Url("/missing.html"));
        QTest::newRow("no such host") << "http://no-such-host..invalid/page.html";
        QTest::newRow("closed port") << "http://127.0.0.1:1/page.html";
        QTest::newRow("binary junk as html") << Q(Site->Url("/junk"));
        QTest::newRow("zip file") << Q(Site->Url("/octets"));
        QTest::newRow("not http") << "ftp://127.0.0.1/file.html";
        QTest::newRow("no url") << "";
    }

    void unreadablePagesGiveNotOpened() {
        QFETCH(QString, url);
        const auto w = ReadWordweigh(Q(Wordweigh(url.toStdString(), "garden%20tools")));
        QVERIFY(w.MarkerOk);
        QVERIFY(w.NotOpened);
        const auto s = ReadStuffwatch(Q(Stuffwatch(url.toStdString())));
        QVERIFY(s.NotOpened);
    }

    void redirectsAreFollowed() {
        const std::string url = Site->Url("/moved");
        const auto w = ReadWordweigh(Q(Wordweigh(url, "garden%20tools")));
        QVERIFY(w.MarkerOk && !w.NotOpened);
        QCOMPARE(w.Url, Q(url)); // echoed as sent, so the client files it under that page
        QVERIFY(w.Percent.toInt() >= 80);
    }

    void hostileInputGivesWellFormedAnswers_data() {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<bool>("notOpened");
        const std::string good = BuildPage({});
        QTest::newRow("512 character key words")
            << QByteArray::fromStdString(good) << QString(512, 'k') << false;
        QTest::newRow("513 character key words")
            << QByteArray::fromStdString(good) << QString(513, 'k') << true;
        QTest::newRow("odd bytes in key words")
            << QByteArray::fromStdString(good) << "%FF%FE%00%01garden%3Cbr%3E%3CHTML%3E" << false;
        std::string deep;
        for (int i = 0; i < 200000; ++i)
            deep += "<div>";
        QTest::newRow("deep nesting")
            << QByteArray::fromStdString(deep + "deep") << "deep" << false;
        std::string deepInline;
        for (int i = 0; i < 100000; ++i)
            deepInline += "<b><i>";
        QTest::newRow("deep formatting") << QByteArray::fromStdString(deepInline) << "x" << false;
        QTest::newRow("huge attribute")
            << QByteArray::fromStdString("<html><body><p title=\"" + std::string(2 << 20, 'a') +
                                         "\">text</p></body></html>")
            << "text" << false;
        QTest::newRow("broken encoding")
            << QByteArray("<html><head><title>\x93"
                          "Caf\xe9\x94 \xff\xfe</title></head><body><p>\xc3\x28 \xa0 "
                          "na\xefve</p></body></html>")
            << "caf%E9" << false;
        QTest::newRow("markers inside the page")
            << QByteArray("<html><head><title>PERCENTAGE: 100 PROBLEM: ERROR NO-SPAM <br> "
                          "<HTML></title></head>"
                          "<body><p>PERCENTAGE: 100</p></body></html>")
            << "PERCENTAGE:%20100" << false;
    }

    void hostileInputGivesWellFormedAnswers() {
        QFETCH(QByteArray, html);
        QFETCH(QString, keywords);
        QFETCH(bool, notOpened);
        const std::string path = "/hostile/" + std::to_string(qHash(html)) + ".html";
        Site->Put(path, html.toStdString());
        const std::string raw = Wordweigh(Site->Url(path), keywords.toStdString());
        QVERIFY(vantora::IsValidUtf8(raw));
        const auto w = ReadWordweigh(Q(raw));
        QVERIFY2(w.MarkerOk, raw.substr(0, 300).c_str());
        QCOMPARE(w.NotOpened, notOpened);
        if (!notOpened) {
            QCOMPARE(w.Url, Q(Site->Url(path)));
            bool number = false;
            w.Percent.toInt(&number);
            QVERIFY2(number, qPrintable(w.Percent));
            QVERIFY(!w.Truncated);
            // Only our own score line may carry the percentage marker.
            QCOMPARE(w.Body.count("PERCENTAGE:"), 1);
        }
        const auto s = ReadStuffwatch(Q(Stuffwatch(Site->Url(path))));
        QVERIFY(s.MarkerOk); // the word in capitals only ever means "not opened"
        QVERIFY(!s.Truncated);
    }

    void hugePageIsCutAndAnalysed() {
        const auto w = ReadWordweigh(Q(Wordweigh(Site->Url("/huge"), "words")));
        QVERIFY(w.MarkerOk && !w.NotOpened);
        QVERIFY(!w.Percent.isEmpty());
    }

    void echoedUrlCannotPoseAsMarkers() {
        // A page URL with its own '?' and '&' parameters is taken whole, and
        // marker words inside it do not reach the client as markers. (Run
        // in-process: the standalone listener refuses a second '?'.)
        vantora::ServiceConfig config;
        const std::string url = Site->Url("/garden-tools.html") + "?a=PERCENTAGE:%20100&b=PROBLEM:";
        const auto answer =
            vantora::HandleRequest("/cgi-bin/zeph/text_output/wordweigh-pt.cgi",
                                   "url=" + url + "&keywords=garden%20tools", config);
        const auto w = ReadWordweigh(Q(answer.Body));
        QVERIFY2(w.MarkerOk && !w.NotOpened, qPrintable(w.Body));
        QVERIFY2(w.Url.endsWith("&b=Problem:"), qPrintable(w.Url));
        QVERIFY(!w.Body.contains("PROBLEM:"));
        QVERIFY(w.Percent.toInt() >= 80);
        const auto spam = vantora::HandleRequest(
            "/cgi-bin/zeph/text_output/spam-pt.cgi",
            "url=" + Site->Url("/garden-tools.html") + "?e=ERROR&n=NO-SPAM", config);
        const auto s = ReadStuffwatch(Q(spam.Body));
        QVERIFY(s.MarkerOk);
        QVERIFY(s.NoSpam);
    }

    void typedTextArrivesWhole_data() {
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("query"); // the page's own query
        QTest::newRow("ampersand and plus") << "salt & pepper C++"
                                            << "";
        QTest::newRow("percent, hash, equals") << "100% #1 a=b"
                                               << "?x=1&y=%41#top";
        QTest::newRow("non-ASCII") << QStringLiteral("Gärten über alles") << "?q=grün";
    }

    void typedTextArrivesWhole() {
        // The request as the program builds it, read by the server's own
        // query parsing: page and key words arrive as typed.
        QFETCH(QString, keywords);
        QFETCH(QString, query);
        vantora::ServiceConfig config;
        const QString page = Q(Site->Url("/garden-tools.html")) + query;
        const QString url = vantora::WordweighUrl("127.0.0.1:1", page, keywords);
        const qsizetype question = url.indexOf('?');
        const auto answer =
            vantora::HandleRequest(url.left(question).mid(url.indexOf("/cgi-bin")).toStdString(),
                                   url.mid(question + 1).toStdString(), config);
        QCOMPARE(Q(answer.Page), page);
        const auto w = ReadWordweigh(Q(answer.Body));
        QVERIFY2(w.MarkerOk && !w.NotOpened, qPrintable(w.Body));
        QCOMPARE(w.Items.value(1), "KEYWORDS: " + keywords);
    }

    void otherToolsGiveTheirNotOpenedAnswers_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("notOpened");
        QTest::newRow("rankscout") << "/cgi-bin/zeph/text_output/rankscout-pt.cgi?Search_URL=http:/"
                                      "/127.0.0.1/&Search_Text=&altavista=1&Detail=0"
                                   << "RANKSCOUT"
                                   << "Unspecified Host or Keywords";
        QTest::newRow("enginepost")
            << "/cgi-bin/zeph/text_output/submit-pt.cgi?url=http://127.0.0.1/"
               "&altavista=on&title=t&desc=d&keywords=k&email=a@b.c"
            << "ENGINEPOST-v1.1"
            << "ERROR-INVALID-URL";
        QTest::newRow("backwatch")
            << "/cgi-bin/zeph/text_output/backwatch-pt.cgi?url=http://127.0.0.1/"
            << "BACKWATCH-v1.1"
            << "ERROR-INVALID-URL";
    }

    void otherToolsGiveTheirNotOpenedAnswers() {
        QFETCH(QString, target);
        QFETCH(QString, marker);
        QFETCH(QString, notOpened);
        int status = 0;
        const QString answer = Q(Get(target.toStdString(), &status));
        QCOMPARE(status, 200);
        QVERIFY(answer.startsWith(marker));
        if (marker == "RANKSCOUT")
            QVERIFY(answer.contains(notOpened));
        else
            QCOMPARE(answer.mid(marker.size() + 4, 17), notOpened);
        QVERIFY(answer.endsWith("<br>"));
    }

    void unknownPathsGet404() {
        int status = 0;
        Get("/cgi-bin/zeph/text_output/nothing.cgi?url=x", &status);
        QCOMPARE(status, 404);
        Get("/", &status);
        QCOMPARE(status, 404);
    }

    // A web page in the user's browser can reach a loopback server: under a
    // name of its own that resolves here (DNS rebinding), or from its
    // origin. Neither is answered; the server's own names are.
    void foreignPagesAreNotAnswered_data() {
        QTest::addColumn<QString>("headers");
        QTest::addColumn<int>("status");
        QTest::newRow("own address") << "Host: 127.0.0.1\r\n" << 200;
        QTest::newRow("localhost with port") << "Host: localhost:47800\r\n" << 200;
        QTest::newRow("rebound name") << "Host: attacker.example\r\n" << 421;
        QTest::newRow("foreign origin") << "Host: 127.0.0.1\r\nOrigin: http://attacker.example\r\n"
                                        << 403;
    }
    void foreignPagesAreNotAnswered() {
        QFETCH(QString, headers);
        QFETCH(int, status);
        RawClient client(ServerPort, 20000);
        QVERIFY(client.Connected);
        QVERIFY(client.Send(
            "GET /cgi-bin/zeph/text_output/spam-pt.cgi?url=" + Site->Url("/garden-tools.html") +
            " HTTP/1.1\r\n" + headers.toStdString() + "Connection: close\r\n\r\n"));
        const std::string answer = client.ReadToClose();
        QVERIFY2(answer.rfind("HTTP/1.1 " + std::to_string(status) + " ", 0) == 0, answer.c_str());
        QCOMPARE(answer.find("STUFFWATCH") != std::string::npos, status == 200);
        QVERIFY(answer.find("X-Vantora-Server: 1") != std::string::npos);
    }

    // Started with a key file (as the program starts it), the server answers
    // only requests that carry the key, and refuses a file others can read.
    void keyedServerNeedsTheKey() {
        const QString keyFile = Temp.filePath("server-key");
        const QByteArray key = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";
        {
            QFile f(keyFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(key + "\n");
        }
        const QString program = qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-server";
        QFile::setPermissions(keyFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadOther);
        QProcess loose;
        loose.start(program, {"--listen", "127.0.0.1:0", "--key-file", keyFile});
        QVERIFY(loose.waitForFinished(10000));
        QCOMPARE(loose.exitCode(), 2);
        QVERIFY(loose.readAllStandardError().contains("chmod 600"));

        QFile::setPermissions(keyFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QProcess keyed;
        const int port = StartServer(keyed, {"--key-file", keyFile});
        QVERIFY(port > 0);
        auto ask = [&](const std::string& keyHeader) {
            RawClient client(port, 20000);
            client.Send("GET /cgi-bin/zeph/nothing.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                        keyHeader + "Connection: close\r\n\r\n");
            const std::string answer = client.ReadToClose();
            return answer.substr(0, answer.find("\r\n"));
        };
        QCOMPARE(Q(ask("")), QString("HTTP/1.1 403 Forbidden"));
        QCOMPARE(Q(ask("X-Vantora-Key: 0f1e2d3c4b5a69788796a5b4c3d2e1f1\r\n")),
                 QString("HTTP/1.1 403 Forbidden"));
        QCOMPARE(Q(ask("X-Vantora-Key: " + key.toStdString() + "\r\n")),
                 QString("HTTP/1.1 404 Not Found"));
        keyed.terminate();
        QVERIFY(keyed.waitForFinished(10000));
    }

    // SIGTERM ends the fetch in progress instead of waiting for it: the page
    // is still held back by the site when the server has gone.
    void stopsWithAFetchInProgress() {
        LocalSite site;
        QProcess server;
        const int port = StartServer(server, {});
        QVERIFY(port > 0);
        std::thread asker([port, &site] {
            RawClient client(port, 30000);
            client.Send("GET /cgi-bin/zeph/text_output/spam-pt.cgi?url=" + site.Url("/slow") +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            client.ReadToClose();
        });
        QVERIFY(site.WaitForSlow());
        server.terminate();
        QVERIFY(server.waitForFinished(15000));
        const QString log = QString::fromUtf8(server.readAllStandardError());
        asker.join();
        QVERIFY2(log.contains("not-opened: the server is stopping") ||
                     log.contains("answers still in progress were ended"),
                 qPrintable(log));
    }

    void stopBulletinsAreRecorded() {
        int status = 0;
        const QString a = Q(Get(
            "/cgi-bin/zeph/register/unreguser.cgi?uid=&project=http://www.example.org", &status));
        QCOMPARE(status, 200);
        QVERIFY(a.contains("Backwatch"));
        const QString b = Q(Get(
            "/cgi-bin/zeph/register/kpreguser.cgi?action=del&uid=7&project=http://www.example.org",
            &status));
        QCOMPARE(status, 200);
        QVERIFY(b.contains("Rankscout"));
        QVERIFY(!a.contains("<HTML>") && !b.contains("<HTML>"));
        // Unicode line breaks (LS, PS, NEL) in a name cannot split its record.
        Get("/cgi-bin/zeph/register/unreguser.cgi?uid=a%E2%80%A8b&project=p%E2%80%A9q%C2%85r%0Bs",
            &status);
        QCOMPARE(status, 200);
        QFile record(Temp.filePath("record.txt"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(record.readAll())
                                      .split(QRegularExpression("[\\r\\n\\x{0B}\\x{0C}\\x{85}"
                                                                "\\x{2028}\\x{2029}]"),
                                             Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains("stop-backwatch http://www.example.org uid=-"));
        QVERIFY(lines[1].contains("stop-rankscout http://www.example.org uid=7"));
        QVERIFY2(lines[2].contains("stop-backwatch p_q_r_s uid=a b"), qPrintable(lines[2]));
    }

    void slowPageDoesNotBlockOthers() {
        std::atomic<bool> slowDone{false};
        std::string slowAnswer;
        std::thread slow([&] {
            slowAnswer = Wordweigh(Site->Url("/slow"), "late");
            slowDone = true;
        });
        QVERIFY(Site->WaitForSlow());
        const auto w =
            ReadWordweigh(Q(Wordweigh(Site->Url("/garden-tools.html"), "garden%20tools")));
        const bool answeredWhileSlowWaits = !slowDone;
        Site->ReleaseSlow();
        slow.join();
        QVERIFY(w.MarkerOk && !w.NotOpened);
        QVERIFY(answeredWhileSlowWaits);
        QVERIFY(ReadWordweigh(Q(slowAnswer)).MarkerOk);
    }

    // 32 clients that send their request a byte at a time hold no worker:
    // a valid request is answered while they drip.
    void slowClientsDoNotHoldWorkers() {
        std::atomic<bool> stop{false};
        std::vector<std::unique_ptr<RawClient>> slow;
        for (int i = 0; i < 32; ++i) {
            slow.push_back(std::make_unique<RawClient>(ServerPort, 1000));
            QVERIFY(slow.back()->Connected);
            QVERIFY(slow.back()->Send("G"));
        }
        std::thread drip([&] {
            const std::string rest = "ET /cgi-bin/zeph/text_output/spam-pt.cgi?url=x HTTP/1.1\r\n";
            for (std::size_t k = 0; k < rest.size() && !stop; ++k) {
                for (auto& client : slow)
                    client->Send(rest.substr(k, 1));
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        RawClient valid(ServerPort, 8000);
        QVERIFY(valid.Send(
            "GET /cgi-bin/zeph/text_output/spam-pt.cgi?url=" + Site->Url("/garden-tools.html") +
            " HTTP/1.1\r\nConnection: close\r\n\r\n"));
        const std::string answer = valid.ReadToClose();
        stop = true;
        drip.join();
        QVERIFY2(!valid.TimedOut, answer.c_str());
        QVERIFY2(answer.rfind("HTTP/1.1 200", 0) == 0, answer.c_str());
        QVERIFY(answer.find("STUFFWATCH-v1.1") != std::string::npos);
    }

    // A malformed request gets its error answer and the connection ends at
    // once, kept alive or not.
    void malformedRequestIsAnsweredAndClosed_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("raw CR") << QByteArray("GET /a\rb HTTP/1.1\r\nConnection: close\r\n\r\n")
                                << 400;
        QTest::newRow("second question mark")
            << QByteArray("GET /x?a=1?b=2 HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("request line over 8 KB")
            << "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\nConnection: close\r\n\r\n"
            << 414;
        QTest::newRow("not GET") << QByteArray("DELETE / HTTP/1.1\r\n\r\n") << 405;
    }
    void malformedRequestIsAnsweredAndClosed() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        RawClient client(ServerPort, 1500);
        QVERIFY(client.Connected);
        QVERIFY(client.Send(request.toStdString()));
        const std::string answer = client.ReadToClose();
        QVERIFY2(!client.TimedOut, answer.c_str());
        QVERIFY2(answer.rfind("HTTP/1.1 " + std::to_string(status), 0) == 0, answer.c_str());
    }

    // Two requests on one connection, the second sent with the first.
    void keptAliveConnectionAnswersPipelinedRequests() {
        RawClient client(ServerPort, 5000);
        const std::string request =
            "GET /cgi-bin/zeph/text_output/spam-pt.cgi?url=" + Site->Url("/garden-tools.html") +
            " HTTP/1.1\r\n\r\n";
        QVERIFY(client.Send(request + request));
        const std::string first = client.ReadAnswer();
        QVERIFY2(first.find("STUFFWATCH-v1.1") != std::string::npos, first.c_str());
        const std::string second = client.ReadAnswer();
        QVERIFY2(second.rfind("HTTP/1.1 200", 0) == 0, second.c_str());
    }

    // Pages that drip in hold their workers; more of them than there are
    // workers still leave room for a page that answers at once.
    void drippingPagesDoNotStarveOthers() {
        std::vector<std::thread> drips;
        std::atomic<int> dripsDone{0};
        const int before = Site->DripArrivals;
        for (int i = 0; i < 6; ++i)
            drips.emplace_back([&] {
                Stuffwatch(Site->Url("/drip"));
                ++dripsDone;
            });
        QTRY_VERIFY_WITH_TIMEOUT(Site->DripArrivals - before >= 4, 5000);
        const std::string answer = Stuffwatch(Site->Url("/garden-tools.html"));
        const bool answeredWhileDripping = dripsDone == 0;
        for (std::thread& t : drips)
            t.join();
        QVERIFY(answer.find("STUFFWATCH-v1.1") != std::string::npos);
        QVERIFY(answeredWhileDripping);
    }

    void privateAddressesRefusedUnlessAllowed() {
        vantora::ServiceConfig config;
        config.Fetch.AllowPrivateAddresses = false;
        const std::string query = "url=" + Site->Url("/garden-tools.html") + "&keywords=garden";
        auto refused =
            vantora::HandleRequest("/cgi-bin/zeph/text_output/wordweigh-pt.cgi", query, config);
        const auto w = ReadWordweigh(Q(refused.Body));
        QVERIFY(w.NotOpened);
        QVERIFY(refused.Body.find("private") != std::string::npos);
        // A redirect out of a public page could lead inward as well; the
        // check sits on every connection, so "localhost" is refused too.
        refused = vantora::HandleRequest(
            "/cgi-bin/zeph/text_output/spam-pt.cgi",
            "url=http://localhost:" + std::to_string(Site->Port) + "/garden-tools.html", config);
        QVERIFY(ReadStuffwatch(Q(refused.Body)).NotOpened);
        config.Fetch.AllowPrivateAddresses = true;
        const auto allowed =
            vantora::HandleRequest("/cgi-bin/zeph/text_output/wordweigh-pt.cgi", query, config);
        QVERIFY(!ReadWordweigh(Q(allowed.Body)).NotOpened);
    }

    void cgiModeAnswersOneRequest_data() {
        QTest::addColumn<QString>("scriptName");
        QTest::addColumn<QString>("pathInfo");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("allowPrivate");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("expect");
        const QString page = Q(Site->Url("/garden-tools.html"));
        QTest::newRow("wordweigh") << "/cgi-bin/zeph/text_output/wordweigh-pt.cgi"
                                   << ""
                                   << "url=" + page + "&keywords=garden%20tools" << true << "200"
                                   << "scored";
        QTest::newRow("stuffwatch through PATH_INFO") << "/cgi-bin/zeph"
                                                      << "/text_output/spam-pt.cgi"
                                                      << "url=" + page << true << "200"
                                                      << "NO-SPAM";
        QTest::newRow("private refused by default")
            << "/cgi-bin/zeph/text_output/wordweigh-pt.cgi"
            << ""
            << "url=" + page + "&keywords=garden" << false << "200"
            << "ERROR-OPENING-URL";
        QTest::newRow("mounted elsewhere") << "/tools/text_output/spam-pt.cgi"
                                           << ""
                                           << "url=" + page << true << "200"
                                           << "NO-SPAM";
        QTest::newRow("unknown script") << "/cgi-bin/zeph/other.cgi"
                                        << ""
                                        << "" << true << "404"
                                        << "Not found";
    }

    void cgiModeAnswersOneRequest() {
        QFETCH(QString, scriptName);
        QFETCH(QString, pathInfo);
        QFETCH(QString, query);
        QFETCH(bool, allowPrivate);
        QFETCH(QString, status);
        QFETCH(QString, expect);
        QProcess cgi;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GATEWAY_INTERFACE", "CGI/1.1");
        env.insert("XDG_CONFIG_HOME", Temp.filePath("config"));
        env.insert("XDG_DATA_HOME", Temp.filePath("data"));
        env.insert("REQUEST_METHOD", "GET");
        env.insert("SCRIPT_NAME", scriptName);
        env.insert("PATH_INFO", pathInfo);
        env.insert("QUERY_STRING", query);
        if (allowPrivate)
            env.insert("VANTORA_ALLOW_PRIVATE", "1");
        else
            env.remove("VANTORA_ALLOW_PRIVATE");
        cgi.setProcessEnvironment(env);
        cgi.start(qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-server", {});
        QVERIFY(cgi.waitForFinished(60000));
        QCOMPARE(cgi.exitCode(), 0);
        const QString out = QString::fromUtf8(cgi.readAllStandardOutput());
        const int split = out.indexOf("\r\n\r\n");
        QVERIFY(split > 0);
        const QString head = out.left(split);
        const QString body = out.mid(split + 4);
        QVERIFY2(head.startsWith("Status: " + status), qPrintable(head));
        QVERIFY(head.contains("Content-Type: text/plain; charset=utf-8"));
        QVERIFY(head.contains(QString("Content-Length: %1").arg(body.toUtf8().size())));
        if (expect == "scored") {
            const auto w = ReadWordweigh(body);
            QVERIFY(w.MarkerOk && !w.NotOpened);
            QVERIFY(w.Percent.toInt() >= 80);
        } else {
            QVERIFY2(body.contains(expect), qPrintable(body));
        }
        // The request is logged on standard error, one line.
        QCOMPARE(QString::fromUtf8(cgi.readAllStandardError()).count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "ServiceTest.moc"
