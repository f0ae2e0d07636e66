#include "ToolPage.h"

#include "Dialogs.h"
#include "FoldPanel.h"
#include "ReportView.h"
#include "WindowHost.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

QString ClearReportQuestion() {
    return QStringLiteral(
        "Are you sure you want to clear the Report view, any edited changes will be "
        "lost!\rIf you want to save an edited Report click the \"Save Report...\" button.");
}

ToolPage::ToolPage(const QString& caption, const QString& pageText, WindowHost& host,
                   QWidget* parent)
    : QWidget(parent), Host(host), Name(caption) {
    const QString id = QString(caption).remove(QLatin1Char(' '));
    setObjectName(id + QStringLiteral("Page"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    auto* text = new QLabel(pageText, this);
    text->setObjectName(id + QStringLiteral("PageText"));
    text->setWordWrap(true);
    layout->addWidget(text);

    Inputs = new QVBoxLayout;
    Inputs->setSpacing(4);
    layout->addLayout(Inputs);

    Buttons = new QHBoxLayout;
    StartBtn = new QPushButton(QStringLiteral("Start"), this);
    StartBtn->setObjectName(id + QStringLiteral("Start"));
    QFont bold = StartBtn->font();
    bold.setBold(true);
    StartBtn->setFont(bold);
    StartBtn->setDefault(true);
    ClearBtn = new QPushButton(QStringLiteral("&Clear"), this);
    ClearBtn->setObjectName(id + QStringLiteral("Clear"));
    PrintBtn = new QPushButton(QStringLiteral("&Print"), this);
    PrintBtn->setObjectName(id + QStringLiteral("Print"));
    SaveBtn = new QPushButton(QStringLiteral("&Save..."), this);
    SaveBtn->setObjectName(id + QStringLiteral("Save"));
    for (QPushButton* button : {StartBtn, ClearBtn, PrintBtn, SaveBtn})
        Buttons->addWidget(button);
    PrintBtn->setEnabled(false);
    SaveBtn->setEnabled(false);
    Buttons->addStretch(1);
    layout->addLayout(Buttons);
    BelowButtons = new QHBoxLayout;
    layout->addLayout(BelowButtons);

    ReportBox = new QGroupBox(caption + QStringLiteral(" - Reports"), this);
    ReportBox->setObjectName(id + QStringLiteral("ReportBox"));
    auto* reportLayout = new QVBoxLayout(ReportBox);
    reportLayout->setContentsMargins(4, 4, 4, 4);
    View = new ReportView(ReportBox);
    View->setObjectName(id + QStringLiteral("Report"));
    View->setAccessibleName(caption + QStringLiteral(" report"));
    View->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    View->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    reportLayout->addWidget(View);
    layout->addWidget(ReportBox, 1);

    connect(StartBtn, &QPushButton::clicked, this, [this] { Start(); });
    connect(ClearBtn, &QPushButton::clicked, this, [this] { ClearReportView(); });
    connect(PrintBtn, &QPushButton::clicked, this, [this] {
        if (Commands)
            Commands(ReportCommand::Print, *View);
    });
    connect(SaveBtn, &QPushButton::clicked, this, [this] {
        if (Commands)
            Commands(ReportCommand::Save, *View);
    });
}

void ToolPage::SetReportCommandHook(ReportCommandHook hook) {
    Commands = std::move(hook);
    PrintBtn->setEnabled(bool(Commands));
    SaveBtn->setEnabled(bool(Commands));
}

void ToolPage::ClearReportView() {
    if (Host.MessageBoxes().Message(MsgKind::Confirm, ClearReportQuestion(), MsgButtons::YesNo) ==
        MsgAnswer::No)
        return;
    View->ClearReport();
}

void ToolPage::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget* focus = focusWidget();
    // Only keys no child took arrive here; a button or a list with the focus
    // is left to act on its own.
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && focus &&
        isAncestorOf(focus) && !qobject_cast<QAbstractButton*>(focus) &&
        !qobject_cast<QAbstractScrollArea*>(focus) && StartBtn->isEnabled() &&
        StartBtn->isVisible()) {
        event->accept();
        StartBtn->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

FoldPanel* ToolPage::AddFoldPanel(const QString& title) {
    auto* panel = new FoldPanel(title, this);
    Inputs->addWidget(panel);
    return panel;
}

void ToolPage::SetWrapLines(bool wrap) {
    View->setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}

} // namespace vantora
