#include "TagsmithPage.h"

#include "FoldPanel.h"
#include "ReportView.h"
#include "WindowHost.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
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
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Category:"), Category);
    form->addRow(QStringLiteral("Rating (censorship):"), Rating);
    form->addRow(QStringLiteral("The Owner of the site:"), Owner);
    form->addRow(QStringLiteral("Enter any copyright information:"), Copyright);
    form->addRow(QStringLiteral("Enter a description of your Web site..."), Description);
    form->addRow(
        QStringLiteral("Specify what Key Words best describe your site... (separated with commas)"),
        KeyWords);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
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
