#pragma once
// The Search Services dialog (Tools menu): which search service the analysis
// server asks for ranks and for link-backs, which service it submits pages
// to, a Test button per service, and for IndexNow a check that the key file
// is published and a button that writes it. Saving edits the server's own
// configuration file in place and starts the bundled server again so that
// it reads the file; a server another copy of the program started, or a
// remote one, is named, and for a remote one only Test is offered.
#include "HttpClient.h"
#include "ServiceSettings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantora {

class Dialogs;

class ServicesHost {
  public:
    virtual ~ServicesHost() = default;
    enum class Server {
        Ours,       // the bundled server this program started
        OtherCopy,  // a server on this machine that another copy of the program started
        Remote,     // ServerAddress names another machine
        NotRunning, // none answers (the program was not found, or it stopped)
    };
    virtual Server Situation() const = 0;
    virtual QString Address() const = 0;
    // Ends the bundled server and starts it again without blocking; done(true)
    // once it answers again, done(false) when it does not.
    virtual void RestartServer(std::function<void(bool)> done) = 0;
    // The client that sends the test requests (with the server's key).
    virtual HttpClient& TestClient() = 0;
    virtual Dialogs& MessageBoxes() = 0;
    // The open project's root URL ("" without a project).
    virtual QString SiteRoot() const = 0;
};

// One search service: its kind and the fields the kind needs.
class SearchServiceBox : public QWidget {
    Q_OBJECT
  public:
    SearchServiceBox(const QString& title, bool offerSame, QWidget* parent = nullptr);
    void Set(const SearchSetting& setting, bool same);
    SearchSetting Get() const;
    bool Same() const;
    QComboBox* KindBox() const { return Kind; }
    QLineEdit* AddressEdit() const { return AddressField; }
    QLineEdit* KeyEdit() const { return KeyField; }
    QLineEdit* ResultsEdit() const { return ResultsField; }
    QPushButton* TestButton() const { return Test; }
    QLabel* StatusLabel() const { return Status; }
    void SetEditable(bool editable);

  signals:
    void Changed();

  private:
    void ShowRows();

    QString Name;
    bool OfferSame;
    QFormLayout* Form;
    QComboBox* Kind;
    QLineEdit* AddressField;
    QLineEdit* KeyField;
    QLineEdit* ResultsField;
    QLineEdit* UrlFieldField;
    QLineEdit* HeaderField;
    QPushButton* Test;
    QLabel* Status;
};

class SearchServicesDialog : public QDialog, private HttpClientListener {
    Q_OBJECT
  public:
    // configPath: the server's configuration file.
    SearchServicesDialog(ServicesHost& host, const QString& configPath, QWidget* parent = nullptr);
    ~SearchServicesDialog() override;

    // Reads the file and the server's situation anew.
    void Reload();
    // Saves the settings into the file and restarts the bundled server (the
    // page says "restarting", then the result); false (with a message box)
    // when they cannot be saved. A test asked for meanwhile waits for it.
    bool Save();
    bool RestartUnderway() const { return Restarting; }

    SearchServiceBox* RanksBox() const { return Ranks; }
    SearchServiceBox* LinkBacksBox() const { return LinkBacks; }
    QComboBox* SubmitKindBox() const { return SubmitKind; }
    QLineEdit* SubmitEndpointEdit() const { return Endpoint; }
    QLineEdit* SubmitKeyEdit() const { return Key; }
    QLineEdit* KeyLocationEdit() const { return KeyLocation; }
    QLineEdit* SubmitUrlEdit() const { return GetUrl; }
    QPushButton* SubmitTestButton() const { return SubmitTest; }
    QPushButton* WriteKeyButton() const { return WriteKey; }
    QLabel* SubmitStatusLabel() const { return SubmitStatus; }
    QLabel* ServerLabel() const { return ServerText; }
    QLabel* FileLabel() const { return FileText; }
    QCheckBox* ReplaceBrokenBox() const { return ReplaceBroken; }
    QPushButton* SaveButton() const { return SaveBtn; }
    bool Modified() const { return Dirty; }
    // Writes the IndexNow key file to path; false with a message box.
    bool WriteKeyFile(const QString& path);

  private:
    ServiceSettings Collect() const;
    void ShowSubmitRows();
    void UpdateControls();
    void RunTest(const QString& service, const QString& queryOrPage, QLabel* status,
                 QPushButton* button);
    void Finish(const QString& text, bool ok);
    void Restarted(bool ok);

    // HttpClientListener
    void OnDocOutput(DocState state, qint64 bytesSoFar, const QByteArray& chunk) override;
    void OnBaseState() override;
    void OnError(int code, const QString& text) override;
    void OnTimeout() override;
    void OnCancel() override;

    ServicesHost& Host;
    QString Path;
    bool Dirty = false;
    bool Broken = false;
    bool Editable = true;
    QLabel* ServerText;
    QLabel* FileText;
    QCheckBox* ReplaceBroken;
    SearchServiceBox* Ranks;
    SearchServiceBox* LinkBacks;
    QFormLayout* SubmitForm;
    QComboBox* SubmitKind;
    QLineEdit* Endpoint;
    QLineEdit* Key;
    QLineEdit* KeyLocation;
    QLineEdit* GetUrl;
    QPushButton* WriteKey;
    QPushButton* SubmitTest;
    QLabel* SubmitStatus;
    QPushButton* SaveBtn;
    QString SubmitName;
    bool Restarting = false;
    // A test asked for while the server restarts: sent once it answers.
    std::function<void()> QueuedTest;
    // The test in flight.
    QLabel* Pending = nullptr;
    QPushButton* PendingButton = nullptr;
    QByteArray Answer;
};

} // namespace vantora
