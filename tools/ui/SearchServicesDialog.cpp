#include "SearchServicesDialog.h"

#include "Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QVBoxLayout>

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

// The kinds in the order of the boxes; "Same as for ranks" comes last where
// it is offered.
const SearchService SearchKinds[] = {SearchService::None, SearchService::SearXNG,
                                     SearchService::Brave, SearchService::Marginalia,
                                     SearchService::Json};

QLabel* WrappedLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A test answer shown in the status label: what came back, or why nothing did.
void ShowStatus(QLabel* label, bool ok, const QString& text) {
    label->setText((ok ? u"Working: "_s : u"Failed: "_s) + text);
    label->setProperty("testOk", ok);
}

} // namespace

SearchServiceBox::SearchServiceBox(const QString& title, bool offerSame, QWidget* parent)
    : QWidget(parent), OfferSame(offerSame) {
    auto* group = new QGroupBox(title, this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(group);
    Form = new QFormLayout(group);
    Kind = new QComboBox(group);
    Kind->addItems({u"None (not checked)"_s, u"SearXNG instance"_s, u"Brave Search API"_s,
                    u"Marginalia Search API"_s, u"Any JSON search service"_s});
    if (offerSame)
        Kind->addItem(u"The same service as for ranks"_s);
    Kind->setAccessibleName(title + u" service kind"_s);
    AddressField = new QLineEdit(group);
    KeyField = new QLineEdit(group);
    ResultsField = new QLineEdit(group);
    UrlFieldField = new QLineEdit(group);
    HeaderField = new QLineEdit(group);
    KeyField->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    Test = new QPushButton(u"&Test"_s, group);
    Test->setAccessibleName(title + u" Test"_s);
    Status = WrappedLabel(group);
    Form->addRow(u"Service:"_s, Kind);
    Form->addRow(u"Address:"_s, AddressField);
    Form->addRow(u"API key:"_s, KeyField);
    Form->addRow(u"Result list pointer:"_s, ResultsField);
    Form->addRow(u"Result URL field:"_s, UrlFieldField);
    Form->addRow(u"Header:"_s, HeaderField);
    Form->addRow(Test, Status);
    for (QLineEdit* edit : {AddressField, KeyField, ResultsField, UrlFieldField, HeaderField}) {
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 48);
        connect(edit, &QLineEdit::textEdited, this, &SearchServiceBox::Changed);
    }
    connect(Kind, &QComboBox::currentIndexChanged, this, [this] {
        ShowRows();
        emit Changed();
    });
    ShowRows();
}

void SearchServiceBox::Set(const SearchSetting& setting, bool same) {
    const QSignalBlocker block(Kind);
    Name = setting.Name;
    int index = 0;
    for (int i = 0; i < 5; ++i)
        if (SearchKinds[i] == setting.Kind)
            index = i;
    Kind->setCurrentIndex(same && OfferSame ? 5 : index);
    AddressField->setText(setting.Address);
    KeyField->setText(setting.Key);
    ResultsField->setText(setting.Results);
    UrlFieldField->setText(setting.UrlField);
    HeaderField->setText(setting.Header);
    Status->clear();
    ShowRows();
}

bool SearchServiceBox::Same() const {
    return OfferSame && Kind->currentIndex() == 5;
}

SearchSetting SearchServiceBox::Get() const {
    SearchSetting s;
    s.Name = Name;
    s.Kind = Same() ? SearchService::None : SearchKinds[qBound(0, Kind->currentIndex(), 4)];
    s.Address = AddressField->text();
    s.Key = KeyField->text();
    s.Results = ResultsField->text();
    s.UrlField = UrlFieldField->text();
    s.Header = HeaderField->text();
    return s;
}

void SearchServiceBox::ShowRows() {
    const SearchService kind =
        Same() ? SearchService::None : SearchKinds[qBound(0, Kind->currentIndex(), 4)];
    const bool json = kind == SearchService::Json;
    Form->setRowVisible(AddressField, kind == SearchService::SearXNG || json);
    Form->setRowVisible(KeyField,
                        kind == SearchService::Brave || kind == SearchService::Marginalia);
    Form->setRowVisible(ResultsField, json);
    Form->setRowVisible(UrlFieldField, json);
    Form->setRowVisible(HeaderField, json);
    if (auto* label = qobject_cast<QLabel*>(Form->labelForField(AddressField)))
        label->setText(json ? u"URL template:"_s : u"Instance address:"_s);
    AddressField->setPlaceholderText(json ? u"https://search.example/api?q={query}&page={page}"_s
                                          : u"http://127.0.0.1:8888"_s);
    KeyField->setPlaceholderText(kind == SearchService::Marginalia ? u"public"_s : QString());
    Test->setEnabled(kind != SearchService::None || Same());
}

void SearchServiceBox::SetEditable(bool editable) {
    for (QWidget* w : std::initializer_list<QWidget*>{Kind, AddressField, KeyField, ResultsField,
                                                      UrlFieldField, HeaderField})
        w->setEnabled(editable);
}

SearchServicesDialog::SearchServicesDialog(ServicesHost& host, const QString& configPath,
                                           QWidget* parent)
    : QDialog(parent), Host(host), Path(configPath) {
    setObjectName(u"SearchServicesDialog"_s);
    setWindowTitle(u"Search Services"_s);
    auto* layout = new QVBoxLayout(this);
    ServerText = WrappedLabel(this);
    ServerText->setObjectName(u"ServerText"_s);
    FileText = WrappedLabel(this);
    FileText->setObjectName(u"FileText"_s);
    ReplaceBroken =
        new QCheckBox(u"Write a new file (the broken one is kept beside it as .broken)"_s, this);
    layout->addWidget(ServerText);
    layout->addWidget(FileText);
    layout->addWidget(ReplaceBroken);

    Ranks = new SearchServiceBox(u"Ranks (Rankscout)"_s, false, this);
    LinkBacks = new SearchServiceBox(u"Link-backs (Backwatch)"_s, true, this);
    layout->addWidget(Ranks);
    layout->addWidget(LinkBacks);

    auto* submitGroup = new QGroupBox(u"Submission (Enginepost)"_s, this);
    SubmitForm = new QFormLayout(submitGroup);
    SubmitKind = new QComboBox(submitGroup);
    SubmitKind->addItems(
        {u"None (not submitted)"_s, u"IndexNow"_s, u"A service called with GET"_s});
    SubmitKind->setAccessibleName(u"Submission service kind"_s);
    Endpoint = new QLineEdit(submitGroup);
    Key = new QLineEdit(submitGroup);
    KeyLocation = new QLineEdit(submitGroup);
    KeyLocation->setPlaceholderText(u"(the site's /KEY.txt)"_s);
    GetUrl = new QLineEdit(submitGroup);
    GetUrl->setPlaceholderText(u"https://submit.example/add?url={url}"_s);
    WriteKey = new QPushButton(u"&Write Key File..."_s, submitGroup);
    SubmitTest = new QPushButton(u"T&est"_s, submitGroup);
    SubmitTest->setAccessibleName(u"Submission Test"_s);
    SubmitStatus = WrappedLabel(submitGroup);
    SubmitForm->addRow(u"Service:"_s, SubmitKind);
    SubmitForm->addRow(u"IndexNow address:"_s, Endpoint);
    SubmitForm->addRow(u"Key:"_s, Key);
    SubmitForm->addRow(u"Key location:"_s, KeyLocation);
    SubmitForm->addRow(u"URL template:"_s, GetUrl);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(WriteKey);
    buttons->addWidget(SubmitTest);
    buttons->addStretch();
    SubmitForm->addRow(buttons);
    SubmitForm->addRow(SubmitStatus);
    layout->addWidget(submitGroup);

    auto* box = new QDialogButtonBox(this);
    SaveBtn = box->addButton(u"&Save"_s, QDialogButtonBox::AcceptRole);
    QPushButton* close = box->addButton(QDialogButtonBox::Close);
    layout->addWidget(box);
    connect(SaveBtn, &QPushButton::clicked, this, [this] { Save(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(ReplaceBroken, &QCheckBox::toggled, this, [this] { UpdateControls(); });

    for (QLineEdit* edit : {Endpoint, Key, KeyLocation, GetUrl})
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 48);
    auto changed = [this] {
        Dirty = true;
        UpdateControls();
        // Rows come and go with the kinds: the dialog takes the room they need.
        adjustSize();
    };
    connect(Ranks, &SearchServiceBox::Changed, this, changed);
    connect(LinkBacks, &SearchServiceBox::Changed, this, changed);
    for (QLineEdit* edit : {Endpoint, Key, KeyLocation, GetUrl})
        connect(edit, &QLineEdit::textEdited, this, changed);
    connect(SubmitKind, &QComboBox::currentIndexChanged, this, [this, changed] {
        ShowSubmitRows();
        changed();
    });

    connect(Ranks->TestButton(), &QPushButton::clicked, this, [this] {
        RunTest("search."_L1 + Collect().Ranks.Name, u"web site"_s, Ranks->StatusLabel(),
                Ranks->TestButton());
    });
    connect(LinkBacks->TestButton(), &QPushButton::clicked, this, [this] {
        const ServiceSettings s = Collect();
        const QString name =
            s.LinkBacksAsRanks
                ? s.Ranks.Name
                : (s.LinkBacks.Name == s.Ranks.Name ? u"linkbacks"_s : s.LinkBacks.Name);
        RunTest("search."_L1 + name, u"web site"_s, LinkBacks->StatusLabel(),
                LinkBacks->TestButton());
    });
    connect(SubmitTest, &QPushButton::clicked, this, [this] {
        const QString root = Host.SiteRoot();
        if (root.isEmpty()) {
            ShowStatus(SubmitStatus, false,
                       u"Open a project first: the test looks at the project's site."_s);
            return;
        }
        RunTest("submit."_L1 + Collect().Submission.Name, root, SubmitStatus, SubmitTest);
    });
    connect(WriteKey, &QPushButton::clicked, this, [this] {
        FileDialogOptions options;
        options.Title = u"Write Key File "_s + KeyFileName(Key->text());
        options.Filter = u"Key files (*.txt)|*.txt"_s;
        options.DefaultExt = u"txt"_s;
        options.ConfirmOverwrite = true;
        const QString path = Host.MessageBoxes().SaveFileName(options);
        if (!path.isEmpty())
            WriteKeyFile(path);
    });
    Reload();
}

SearchServicesDialog::~SearchServicesDialog() {
    HttpClient& client = Host.TestClient();
    client.SetListener(nullptr);
    client.Cancel();
}

void SearchServicesDialog::Reload() {
    const SettingsFile file = ReadServiceSettings(Path);
    Broken = !file.Readable;
    const ServiceSettings& s = file.Settings;
    Ranks->Set(s.Ranks, false);
    LinkBacks->Set(s.LinkBacks, s.LinkBacksAsRanks);
    SubmitName = s.Submission.Name;
    {
        const QSignalBlocker block(SubmitKind);
        SubmitKind->setCurrentIndex(int(s.Submission.Kind));
    }
    Endpoint->setText(s.Submission.Endpoint);
    Key->setText(s.Submission.Key);
    KeyLocation->setText(s.Submission.KeyLocation);
    GetUrl->setText(s.Submission.UrlTemplate);
    SubmitStatus->clear();
    ReplaceBroken->setChecked(false);

    const QString address = Host.Address();
    Editable = true;
    switch (Host.Situation()) {
    case ServicesHost::Server::Ours:
        ServerText->setText(u"The analysis server this program started at "_s + address +
                            u" reads this file; it is started again when you save."_s);
        break;
    case ServicesHost::Server::OtherCopy:
        ServerText->setText(u"The analysis server at "_s + address +
                            u" was started by another copy of the program. It reads this file "
                            u"only when it starts: saved changes take effect once that copy "
                            u"has ended and this one starts its own server."_s);
        break;
    case ServicesHost::Server::Remote:
        Editable = false;
        ServerText->setText(u"The analysis server at "_s + address +
                            u" is on another machine: its services are that server's, set in "
                            u"its own configuration file. Test asks it about the services "
                            u"shown here by name."_s);
        break;
    case ServicesHost::Server::NotRunning:
        ServerText->setText(u"No analysis server answers at "_s + address +
                            u"; the settings are saved for when one starts."_s);
        break;
    }
    if (Broken)
        FileText->setText(u"The file cannot be read, so it is not changed: "_s + file.Error +
                          u". Correct it in a text editor, or tick the box below to write a new "
                          u"one."_s);
    else
        FileText->setText((file.Exists ? u"Settings file: "_s : u"Settings file (new): "_s) + Path);
    Dirty = false;
    ShowSubmitRows();
    UpdateControls();
    adjustSize();
}

ServiceSettings SearchServicesDialog::Collect() const {
    ServiceSettings s;
    s.Ranks = Ranks->Get();
    if (s.Ranks.Name.isEmpty())
        s.Ranks.Name = u"ranks"_s;
    s.LinkBacksAsRanks = LinkBacks->Same();
    s.LinkBacks = LinkBacks->Get();
    if (s.LinkBacks.Name.isEmpty())
        s.LinkBacks.Name = u"linkbacks"_s;
    s.Submission.Kind = SubmitService(qBound(0, SubmitKind->currentIndex(), 2));
    s.Submission.Name = SubmitName.isEmpty() ? u"submission"_s : SubmitName;
    s.Submission.Endpoint = Endpoint->text();
    s.Submission.Key = Key->text();
    s.Submission.KeyLocation = KeyLocation->text();
    s.Submission.UrlTemplate = GetUrl->text();
    return s;
}

void SearchServicesDialog::ShowSubmitRows() {
    const auto kind = SubmitService(qBound(0, SubmitKind->currentIndex(), 2));
    const bool indexNow = kind == SubmitService::IndexNow;
    SubmitForm->setRowVisible(Endpoint, indexNow);
    SubmitForm->setRowVisible(Key, indexNow);
    SubmitForm->setRowVisible(KeyLocation, indexNow);
    SubmitForm->setRowVisible(GetUrl, kind == SubmitService::Get);
    WriteKey->setVisible(indexNow);
    SubmitTest->setText(indexNow ? u"Check the key &file"_s : u"T&est"_s);
    // Neither check submits a page: a GET service would take any call to its
    // URL as a submission, so its test only asks its server whether it answers.
    SubmitTest->setToolTip(indexNow ? u"Looks for the key file on the project's site; nothing "
                                      u"is submitted."_s
                                    : u"Asks the service's server whether it answers; nothing "
                                      u"is submitted."_s);
    SubmitTest->setEnabled(kind != SubmitService::None && !Pending);
}

void SearchServicesDialog::UpdateControls() {
    const bool editable = Editable && (!Broken || ReplaceBroken->isChecked());
    Ranks->SetEditable(editable);
    LinkBacks->SetEditable(editable);
    for (QWidget* w :
         std::initializer_list<QWidget*>{SubmitKind, Endpoint, Key, KeyLocation, GetUrl})
        w->setEnabled(editable);
    ReplaceBroken->setVisible(Broken && Editable);
    SaveBtn->setVisible(Editable);
    SaveBtn->setEnabled(editable && !Restarting &&
                        (Dirty || (Broken && ReplaceBroken->isChecked())));
    WriteKey->setEnabled(!Key->text().trimmed().isEmpty());
}

bool SearchServicesDialog::Save() {
    if (!Editable)
        return false;
    const ServiceSettings settings = Collect();
    QString error;
    if (!SaveServiceSettings(Path, settings, ReplaceBroken->isChecked(), error)) {
        Host.MessageBoxes().Message(
            MsgKind::Warning, u"The settings were not saved, the file is as it was.\r"_s + error,
            MsgButtons::Ok);
        return false;
    }
    Reload();
    if (Host.Situation() == ServicesHost::Server::Ours) {
        Restarting = true;
        ServerText->setText(u"Restarting the analysis server at "_s + Host.Address() +
                            u" so that it reads the saved file..."_s);
        UpdateControls();
        ShowSubmitRows();
        const QPointer<SearchServicesDialog> alive(this);
        Host.RestartServer([alive](bool ok) {
            if (alive)
                alive->Restarted(ok);
        });
    }
    return true;
}

void SearchServicesDialog::Restarted(bool ok) {
    Restarting = false;
    if (ok)
        ServerText->setText(u"The analysis server this program started at "_s + Host.Address() +
                            u" was started again and reads the saved file."_s);
    else
        ServerText->setText(u"The settings were saved, but the analysis server at "_s +
                            Host.Address() +
                            u" did not start again with them: it stops at once when the file "
                            u"has a mistake."_s);
    UpdateControls();
    ShowSubmitRows();
    std::function<void()> test;
    test.swap(QueuedTest);
    if (test && ok)
        test();
    else if (test)
        Finish(u"the analysis server did not start again, so nothing was asked."_s, false);
    if (!ok)
        Host.MessageBoxes().Message(MsgKind::Warning,
                                    u"The settings were saved, but the analysis server did not "
                                    u"start again with them."_s,
                                    MsgButtons::Ok);
}

bool SearchServicesDialog::WriteKeyFile(const QString& path) {
    const QString key = Key->text().trimmed();
    if (!QRegularExpression(u"^[A-Za-z0-9-]{8,128}$"_s).match(key).hasMatch()) {
        Host.MessageBoxes().Message(MsgKind::Warning,
                                    u"The key must be 8 to 128 letters, digits or dashes."_s,
                                    MsgButtons::Ok);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(KeyFileText(key)) < 0 || !file.commit()) {
        Host.MessageBoxes().Message(MsgKind::Error, u"Cannot create file "_s + path,
                                    MsgButtons::Ok);
        return false;
    }
    SubmitStatus->setText(u"Written: "_s + path + u". Upload it to your site as /"_s +
                          KeyFileName(key) + u" (or to the key location), then check it."_s);
    return true;
}

void SearchServicesDialog::RunTest(const QString& service, const QString& queryOrPage,
                                   QLabel* status, QPushButton* button) {
    if (Pending)
        return;
    // A test asks the server about what it has read: unsaved changes go first.
    if (Editable && Dirty && !Save())
        return;
    Pending = status;
    PendingButton = button;
    Answer.clear();
    button->setEnabled(false);
    auto ask = [this, service, queryOrPage] {
        Pending->setText(u"Asking the server..."_s);
        HttpClient& client = Host.TestClient();
        client.SetListener(this);
        client.GetDoc(ServiceTestUrl(Host.Address(), service, queryOrPage));
    };
    if (Restarting) {
        status->setText(u"Waiting for the analysis server to start again..."_s);
        QueuedTest = ask;
        return;
    }
    ask();
}

void SearchServicesDialog::Finish(const QString& text, bool ok) {
    if (!Pending)
        return;
    ShowStatus(Pending, ok, text);
    PendingButton->setEnabled(true);
    Pending = nullptr;
    PendingButton = nullptr;
    Answer.clear();
}

void SearchServicesDialog::OnDocOutput(DocState state, qint64, const QByteArray& chunk) {
    if (state == DocState::Data && Answer.size() < (1 << 20))
        Answer += chunk;
}

void SearchServicesDialog::OnBaseState() {
    const ServiceTestResult r = ReadServiceTest(QString::fromUtf8(Answer));
    Finish(r.Text, r.Ok);
}

void SearchServicesDialog::OnError(int code, const QString& text) {
    Finish(u"the server at "_s + Host.Address() + u" could not be asked (error "_s +
               QString::number(code) + u": "_s + text + u")."_s,
           false);
}

void SearchServicesDialog::OnTimeout() {
    Finish(u"the server at "_s + Host.Address() + u" did not answer in time."_s, false);
}

void SearchServicesDialog::OnCancel() {
    Finish(u"the test was cancelled."_s, false);
}

} // namespace vantora
