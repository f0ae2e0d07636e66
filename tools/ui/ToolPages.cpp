#include "ToolPages.h"

#include "Dialogs.h"
#include "EngineBoxes.h"
#include "FoldPanel.h"
#include "InputBoxes.h"
#include "WindowHost.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

// The characters the free-text boxes refuse as they are typed.
const QString Refused = u"?%&"_s;

QList<bool> Checked(const QList<QCheckBox*>& boxes) {
    QList<bool> checked;
    for (const QCheckBox* box : boxes)
        checked << box->isChecked();
    return checked;
}

} // namespace

// ---------------------------------------------------------------- Wordweigh

WordweighPage::WordweighPage(WindowHost& host, QWidget* parent)
    : OnlineToolPage(ToolKind::Wordweigh,
                     u"Choose a Web Page from the SiteMap to Wordweigh and enter Key Words to "
                     u"analyse the page with..."_s,
                     host, parent) {
    Fold = AddFoldPanel(u"Key Words... (separated with spaces)      "_s);
    Fold->setObjectName(u"WordweighKeyWordsPanel"_s);
    auto* layout = new QHBoxLayout(Fold->Box());
    layout->setContentsMargins(6, 4, 6, 4);
    KeyWordsBox = RefusingLineEdit(u"WordweighKeyWords"_s, Refused, 512, Fold->Box());
    KeyWordsBox->setAccessibleName(u"Key Words"_s);
    layout->addWidget(KeyWordsBox);
    SetWrapLines(true);
}

CheckedRequests WordweighPage::BuildRequests(const QStringList& pages) {
    return WordweighRequests(Host.ServerAddress(), pages, KeyWordsBox->text());
}

// ---------------------------------------------------------------- Stuffwatch

StuffwatchPage::StuffwatchPage(WindowHost& host, QWidget* parent)
    : OnlineToolPage(ToolKind::Stuffwatch,
                     u"Choose a Web Page from the SiteMap you wish to Stuffwatch..."_s, host,
                     parent) {
    SetWrapLines(false);
}

CheckedRequests StuffwatchPage::BuildRequests(const QStringList& pages) {
    return StuffwatchRequests(Host.ServerAddress(), pages);
}

// ---------------------------------------------------------------- Rankscout

RankscoutPage::RankscoutPage(WindowHost& host, QWidget* parent)
    : OnlineToolPage(ToolKind::Rankscout,
                     u"Choose a Web Page from the SiteMap, select the search engines you wish to "
                     u"test and then enter your Key Phrase..."_s,
                     host, parent) {
    Fold = AddFoldPanel(u"Search Engines, Report Detail and Key Phrase...      "_s);
    Fold->setObjectName(u"RankscoutPanel"_s);
    Fold->Box()->setTitle(u"Search Engines and Report Detail"_s);
    auto* layout = new QVBoxLayout(Fold->Box());
    layout->setContentsMargins(6, 4, 6, 4);
    QStringList captions;
    for (const EngineInfo& engine : RankscoutEngines())
        captions << QString(engine.Caption);
    EngineBox = new EngineBoxes(captions, u"Rankscout"_s, Fold->Box());
    layout->addWidget(EngineBox);
    DetailBox = new QCheckBox(u"Include top ranking pages URLs"_s, Fold->Box());
    DetailBox->setObjectName(u"RankscoutDetail"_s);
    layout->addWidget(DetailBox);
    auto* phraseGroup = new QGroupBox(u"Key Phrase..."_s, Fold->Box());
    auto* phraseLayout = new QHBoxLayout(phraseGroup);
    phraseLayout->setContentsMargins(6, 4, 6, 4);
    KeyPhraseBox = RefusingLineEdit(u"RankscoutKeyPhrase"_s, u"?%&+"_s, 512, phraseGroup);
    KeyPhraseBox->setAccessibleName(u"Key Phrase"_s);
    phraseLayout->addWidget(KeyPhraseBox);
    layout->addWidget(phraseGroup);
    // Leaving the box trims its text.
    connect(KeyPhraseBox, &QLineEdit::editingFinished, this, [this] {
        const QString trimmed = KeyPhraseBox->text().trimmed();
        if (trimmed != KeyPhraseBox->text())
            KeyPhraseBox->setText(trimmed);
    });
    SetWrapLines(false);
}

CheckedRequests RankscoutPage::BuildRequests(const QStringList& pages) {
    RankscoutInput input;
    input.KeyPhrase = KeyPhraseBox->text();
    input.Engines = Checked(EngineBox->Boxes());
    input.AllEngines = EngineBox->All()->isChecked();
    input.Detail = DetailBox->isChecked();
    return RankscoutRequests(Host.ServerAddress(), pages, input);
}

void RankscoutPage::FocusInput(InputField field) {
    if (field == InputField::KeyPhrase)
        KeyPhraseBox->setFocus();
    else if (field == InputField::Engines)
        EngineBox->All()->setFocus();
}

void RankscoutPage::ApplyEngineDefaults() {
    if (!EngineBox->AnyChecked())
        EngineBox->CheckAll();
}

// ---------------------------------------------------------------- Enginepost

EnginepostPage::EnginepostPage(WindowHost& host, QWidget* parent)
    : OnlineToolPage(ToolKind::Enginepost,
                     u"Choose a Web Page from the SiteMap and then select the search engines you "
                     u"wish to submit to..."_s,
                     host, parent) {
    EngineFold = AddFoldPanel(u"Search Engines...      "_s);
    EngineFold->setObjectName(u"EnginepostEnginesPanel"_s);
    auto* engineLayout = new QVBoxLayout(EngineFold->Box());
    engineLayout->setContentsMargins(6, 4, 6, 4);
    // The boxes stand in their screen order; the request keeps the table's.
    QStringList captions;
    for (const int i : EnginepostScreenOrder())
        captions << QString(EnginepostEngines()[size_t(i)].Caption);
    EngineBox = new EngineBoxes(captions, u"Enginepost"_s, EngineFold->Box());
    engineLayout->addWidget(EngineBox);

    InfoFold = AddFoldPanel(u"Web Page Information...      "_s);
    InfoFold->setObjectName(u"EnginepostInfoPanel"_s);
    auto* form = new QFormLayout(InfoFold->Box());
    form->setContentsMargins(6, 4, 6, 4);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    TitleBox = RefusingLineEdit(u"EnginepostTitle"_s, Refused, 0, InfoFold->Box());
    TitleBox->setAccessibleName(u"Page Title"_s);
    DescriptionBox = RefusingLineEdit(u"EnginepostDescription"_s, Refused, 0, InfoFold->Box());
    DescriptionBox->setAccessibleName(u"Page Description"_s);
    KeyWordsBox = RefusingLineEdit(u"EnginepostKeyWords"_s, Refused, 0, InfoFold->Box());
    KeyWordsBox->setAccessibleName(u"Key Words"_s);
    EmailBox = RefusingLineEdit(u"EnginepostEmail"_s, u"?%& "_s, 0, InfoFold->Box());
    EmailBox->setAccessibleName(u"E-mail Address"_s);
    form->addRow(u"Title:"_s, TitleBox);
    form->addRow(u"Description:"_s, DescriptionBox);
    form->addRow(u"Keywords (with spaces):"_s, KeyWordsBox);
    form->addRow(u"Your Email address:"_s, EmailBox);
    // Typing a title enables Start.
    connect(TitleBox, &QLineEdit::textEdited, this, [this] { StartButton()->setEnabled(true); });
    SetWrapLines(false);
}

CheckedRequests EnginepostPage::BuildRequests(const QStringList& pages) {
    EnginepostInput input;
    // The boxes stand in screen order; the input is in request order.
    input.Engines = QList<bool>(qsizetype(EnginepostEngines().size()), false);
    const auto& order = EnginepostScreenOrder();
    for (size_t screen = 0; screen < order.size(); ++screen)
        input.Engines[order[screen]] = EngineBox->Boxes()[qsizetype(screen)]->isChecked();
    input.AllEngines = EngineBox->All()->isChecked();
    input.Title = TitleBox->text();
    input.Description = DescriptionBox->text();
    input.KeyWords = KeyWordsBox->text();
    input.Email = EmailBox->text();
    return EnginepostRequests(Host.ServerAddress(), pages, input);
}

void EnginepostPage::FocusInput(InputField field) {
    switch (field) {
    case InputField::Title:
        TitleBox->setFocus();
        break;
    case InputField::Description:
        DescriptionBox->setFocus();
        break;
    case InputField::KeyWords:
        KeyWordsBox->setFocus();
        break;
    case InputField::Email:
        EmailBox->setFocus();
        break;
    default:
        break;
    }
}

bool EnginepostPage::ConfirmRun(const QStringList& pages) {
    if (pages.size() <= 1)
        return true;
    return Host.MessageBoxes().Message(MsgKind::Warning, EnginepostManyPagesQuestion(),
                                       MsgButtons::YesNo) != MsgAnswer::No;
}

void EnginepostPage::ApplyEngineDefaults() {
    if (EngineBox->AnyChecked())
        return;
    const auto& order = EnginepostScreenOrder();
    for (const int engine : EnginepostDefaultEngines())
        for (size_t screen = 0; screen < order.size(); ++screen)
            if (order[screen] == engine)
                EngineBox->Boxes()[qsizetype(screen)]->setChecked(true);
}

// ---------------------------------------------------------------- Backwatch

BackwatchPage::BackwatchPage(WindowHost& host, QWidget* parent)
    : OnlineToolPage(ToolKind::Backwatch,
                     u"Choose a Web Page from the SiteMap you wish to check with Backwatch..."_s,
                     host, parent) {
    SetWrapLines(false);
}

CheckedRequests BackwatchPage::BuildRequests(const QStringList& pages) {
    return BackwatchRequests(Host.ServerAddress(), pages);
}

OnlineToolPage* CreateToolPage(ToolKind kind, WindowHost& host, QWidget* parent) {
    switch (kind) {
    case ToolKind::Wordweigh:
        return new WordweighPage(host, parent);
    case ToolKind::Stuffwatch:
        return new StuffwatchPage(host, parent);
    case ToolKind::Rankscout:
        return new RankscoutPage(host, parent);
    case ToolKind::Enginepost:
        return new EnginepostPage(host, parent);
    case ToolKind::Backwatch:
        return new BackwatchPage(host, parent);
    }
    return nullptr;
}

} // namespace vantora
