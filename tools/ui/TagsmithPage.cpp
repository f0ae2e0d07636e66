#include "TagsmithPage.h"

#include "FoldPanel.h"
#include "ReportView.h"
#include "WindowHost.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace vantora {

namespace {

QLineEdit* TextBox(const char* name, int limit, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(limit);
    box->setAccessibleName(QLatin1String(name));
    return box;
}

QComboBox* PickList(const char* name, const QStringList& items, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setMaxVisibleItems(12);
    list->setAccessibleName(QLatin1String(name));
    return list;
}

} // namespace

TagsmithPage::TagsmithPage(WindowHost& host, QWidget* parent)
    : ToolPage(QStringLiteral("Tagsmith"),
               QStringLiteral("Enter the requested information and Tagsmith will create the "
                              "tags for you to paste into your page."),
               host, parent) {
    if (auto* box = findChild<QGroupBox*>(QStringLiteral("TagsmithReportBox")))
        box->setTitle(QStringLiteral("Tagsmith - Report"));
    Fold = AddFoldPanel(QStringLiteral("Tagsmith Information...      "));
    QGroupBox* group = Fold->Box();
    Category = PickList("Category", TagsmithCategories(), group);
    Rating = PickList("Rating", TagsmithRatings(), group);
    Owner = TextBox("Owner", 1023, group);
    Copyright = TextBox("Copyright", 1023, group);
    Description = TextBox("Description", 4095, group);
    KeyWords = TextBox("Key Words", 4095, group);
    KeyWords->setObjectName(QStringLiteral("KeyWords"));
    // The two lists beside their labels; each text field under its label,
    // takes the page's whole width (beside the long labels the fields were
    // left a sliver of the page).
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(2);
    auto label = [group](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, group);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("Category:"), Category), 0, 0);
    grid->addWidget(Category, 0, 1);
    grid->addWidget(label(QStringLiteral("Rating (censorship):"), Rating), 1, 0);
    grid->addWidget(Rating, 1, 1);
    grid->setColumnStretch(1, 1);
    int row = 2;
    for (const auto& [text, field] :
         {std::pair<QString, QLineEdit*>{QStringLiteral("The Owner of the site:"), Owner},
          {QStringLiteral("Enter any copyright information:"), Copyright},
          {QStringLiteral("Enter a description of your Web site..."), Description},
          {QStringLiteral(
               "Specify what Key Words best describe your site... (separated with commas)"),
           KeyWords}}) {
        QLabel* above = label(text, field);
        above->setWordWrap(true);
        grid->addWidget(above, row++, 0, 1, 2);
        grid->addWidget(field, row++, 0, 1, 2);
    }
    SetWrapLines(true);
}

TagsmithFields TagsmithPage::Fields() const {
    TagsmithFields f;
    f.Category = Category->currentText();
    f.Rating = Rating->currentText();
    f.Owner = Owner->text();
    f.Copyright = Copyright->text();
    f.Description = Description->text();
    f.KeyWords = KeyWords->text();
    return f;
}

void TagsmithPage::Start() {
    Host.SetBusyCursor(true);
    Host.LetMessagesRun();
    if (Host.Options().Clear)
        Report()->ClearReport();
    WriteMetaTags(Fields(), *Report());
    Host.SetBusyCursor(false);
}

} // namespace vantora
