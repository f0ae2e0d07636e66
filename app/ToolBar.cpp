// The tool bar: its buttons call the same commands as the menus, with their
// own hints; the pictures are drawn here so they read on every desktop.
#include "Main.h"
#include "ScreenReaderName.h"

#include "Environment.h"
#include "HelpLinks.h"
#include "SiteMapCreation.h"
#include "splash.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace vantora {

namespace {

// A small tool bar picture: a glyph drawn on a transparent square, so every
// button reads without image files.
QIcon GlyphIcon(const QString& glyph, bool bold = false, bool italic = false,
                bool underline = false) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Serif"), 11);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    p.setFont(font);
    p.setPen(QColor(20, 20, 20));
    p.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// Paragraph alignment pictures: four lines placed left, centred or right,
// or with bullets.
QIcon AlignIcon(int kind) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    const int widths[4] = {14, 9, 14, 9};
    for (int i = 0; i < 4; ++i) {
        const int y = 4 + i * 4;
        int w = widths[i];
        int x = 3;
        if (kind == 3) {
            p.drawPoint(3, y);
            x = 7;
            w = 10;
        } else if (kind == 1) {
            x = 10 - w / 2;
        } else if (kind == 2) {
            x = 17 - w;
        }
        p.drawLine(x, y, x + w, y);
    }
    return QIcon(pixmap);
}

// Pictures of a printer, two pages and a clipboard, drawn with lines so
// they look the same on every desktop.
QIcon ShapeIcon(const QString& kind) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 1));
    if (kind == QLatin1String("print")) {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 9, 6));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(2.5, 8.5, 15, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 12.5, 9, 5));
    } else if (kind == QLatin1String("copy")) {
        p.setBrush(QColor(235, 235, 245));
        p.drawRect(QRectF(3.5, 2.5, 9, 11));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 6.5, 9, 11));
        for (int y = 9; y <= 15; y += 2)
            p.drawLine(QPointF(9.5, y + 0.5), QPointF(14.5, y + 0.5));
    } else if (kind == QLatin1String("paste")) {
        p.setBrush(QColor(190, 140, 80));
        p.drawRoundedRect(QRectF(3.5, 3.5, 11, 14), 1.5, 1.5);
        p.setBrush(QColor(160, 160, 170));
        p.drawRect(QRectF(6.5, 1.5, 5, 3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9.5, 8.5, 8, 10));
    }
    return QIcon(pixmap);
}

QIcon StandardIcon(QStyle::StandardPixmap which) {
    return QApplication::style()->standardIcon(which);
}

} // namespace

void MainWindow::BuildToolBarCommands() {
    // Tool bar buttons have their own hints and call the same commands.
    OnTriggered(MakeAction("tbNew", "New", "New"), [this] { NewProject(); });
    OnTriggered(MakeAction("tbOpen", "Open", "Open"), [this] {
        if (SavePromptAllows())
            OpenProject(QString());
    });
    OnTriggered(MakeAction("tbSave", "Save", "Save"), [this] {
        LetMessagesRun();
        SaveProject();
    });
    OnTriggered(MakeAction("tbProgramOptions", "Program Options", "Program Options"), [this] {
        LetMessagesRun();
        ShowProgramOptions();
    });
    MakeAction("tbPrint", "Print", "Print");
    MakeAction("tbEditMode", "Edit Mode", "Edit Mode")->setCheckable(true);
    MakeAction("tbCut", "Cut", "Cut");
    MakeAction("tbCopy", "Copy", "Copy");
    MakeAction("tbPaste", "Paste", "Paste");
    for (const char* name :
         {"Bold", "Italic", "Underline", "Left Justify", "Center", "Right Justify", "Bullets"}) {
        QString objectName = QStringLiteral("tb") + QString::fromLatin1(name).remove(' ');
        MakeAction(objectName, name, name)->setCheckable(true);
    }
    OnTriggered(MakeAction("tbStop", "Stop", "Stop Internet Data Transfer"),
                [this] { StopTransfers(); });
    OnTriggered(MakeAction("tbVisitWeb", "Visit ZEPH on the Web", "Visit ZEPH on the Web"),
                [this] { OpenHomePage(*Env.shell); });
}

void MainWindow::BuildToolBar() {
    BuildToolBarCommands();
    MainToolBar = addToolBar(QStringLiteral("Tools"));
    MainToolBar->setObjectName(QStringLiteral("ToolBar"));
    MainToolBar->setMovable(false);
    MainToolBar->setIconSize(QSize(20, 20));
    auto a = [this](const char* name) { return FindAction(QString::fromLatin1(name)); };

    a("tbNew")->setIcon(StandardIcon(QStyle::SP_FileIcon));
    a("tbOpen")->setIcon(StandardIcon(QStyle::SP_DialogOpenButton));
    a("tbSave")->setIcon(StandardIcon(QStyle::SP_DialogSaveButton));
    a("tbProgramOptions")->setIcon(StandardIcon(QStyle::SP_FileDialogDetailedView));
    a("tbPrint")->setIcon(ShapeIcon(QStringLiteral("print")));
    a("tbEditMode")->setIcon(GlyphIcon(QStringLiteral("\u270E")));
    a("tbCut")->setIcon(GlyphIcon(QStringLiteral("\u2702")));
    a("tbCopy")->setIcon(ShapeIcon(QStringLiteral("copy")));
    a("tbPaste")->setIcon(ShapeIcon(QStringLiteral("paste")));
    a("tbBold")->setIcon(GlyphIcon(QStringLiteral("B"), true));
    a("tbItalic")->setIcon(GlyphIcon(QStringLiteral("I"), false, true));
    a("tbUnderline")->setIcon(GlyphIcon(QStringLiteral("U"), false, false, true));
    a("tbLeftJustify")->setIcon(AlignIcon(0));
    a("tbCenter")->setIcon(AlignIcon(1));
    a("tbRightJustify")->setIcon(AlignIcon(2));
    a("tbBullets")->setIcon(AlignIcon(3));
    a("tbStop")->setIcon(StandardIcon(QStyle::SP_BrowserStop));

    MainToolBar->addAction(a("tbNew"));
    MainToolBar->addAction(a("tbOpen"));
    MainToolBar->addAction(a("tbSave"));
    MainToolBar->addAction(a("tbProgramOptions"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbPrint"));
    MainToolBar->addAction(a("tbEditMode"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbCut"));
    MainToolBar->addAction(a("tbCopy"));
    MainToolBar->addAction(a("tbPaste"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbBold"));
    MainToolBar->addAction(a("tbItalic"));
    MainToolBar->addAction(a("tbUnderline"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbLeftJustify"));
    MainToolBar->addAction(a("tbCenter"));
    MainToolBar->addAction(a("tbRightJustify"));
    MainToolBar->addAction(a("tbBullets"));
    MainToolBar->addSeparator();
    FontNameList = new QComboBox(MainToolBar);
    FontNameList->setObjectName(QStringLiteral("FontName"));
    FontNameList->setToolTip(QStringLiteral("Font Name"));
    SetScreenReaderName(FontNameList, QStringLiteral("Font Name"));
    FontNameList->setFixedWidth(105);
    MainToolBar->addWidget(FontNameList);
    FontSizeList = new QComboBox(MainToolBar);
    FontSizeList->setObjectName(QStringLiteral("FontSize"));
    FontSizeList->setToolTip(QStringLiteral("Font Size"));
    SetScreenReaderName(FontSizeList, QStringLiteral("Font Size"));
    FontSizeList->setFixedWidth(52);
    FontSizeList->setEditable(true);
    FontSizeList->addItems({"8", "9", "10", "11", "12", "14", "16", "18", "20", "24", "28", "36"});
    MainToolBar->addWidget(FontSizeList);
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbStop"));

    // A button's own checked state goes to its action: a screen reader's
    // toggle sets the button without clicking it.
    for (QAction* action : MainToolBar->actions()) {
        auto* button = qobject_cast<QAbstractButton*>(MainToolBar->widgetForAction(action));
        if (!action->isCheckable() || !button)
            continue;
        connect(button, &QAbstractButton::toggled, action, [action, button](bool on) {
            if (action->isChecked() != on && action->isEnabled())
                action->trigger();
            if (button->isChecked() != action->isChecked())
                button->setChecked(action->isChecked());
        });
    }

    // The large animated button sits at the right end in a bar of its own.
    auto* spacer = new QWidget(MainToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    MainToolBar->addWidget(spacer);
    AnimatedButton = new QToolButton(MainToolBar);
    AnimatedButton->setObjectName(QStringLiteral("AnimatedButton"));
    AnimatedButton->setDefaultAction(a("tbVisitWeb"));
    AnimatedButton->setIconSize(QSize(32, 32));
    AnimatedButton->setIcon(QIcon(DrawAnimationFrame(0)));
    AnimatedButton->setAutoRaise(true);
    MainToolBar->addWidget(AnimatedButton);
}

} // namespace vantora
