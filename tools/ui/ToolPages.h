#pragma once
// The pages of the five on-line tools and the one function the main window
// calls to make them.
#include "OnlineToolPage.h"

class QCheckBox;
class QLineEdit;

namespace vantora {

class EngineBoxes;
class FoldPanel;

class WordweighPage : public OnlineToolPage {
    Q_OBJECT
  public:
    WordweighPage(WindowHost& host, QWidget* parent = nullptr);
    QLineEdit* KeyWords() const { return KeyWordsBox; }
    FoldPanel* Panel() const { return Fold; }

  protected:
    CheckedRequests BuildRequests(const QStringList& pages) override;

  private:
    FoldPanel* Fold;
    QLineEdit* KeyWordsBox;
};

class StuffwatchPage : public OnlineToolPage {
    Q_OBJECT
  public:
    StuffwatchPage(WindowHost& host, QWidget* parent = nullptr);

  protected:
    CheckedRequests BuildRequests(const QStringList& pages) override;
};

class RankscoutPage : public OnlineToolPage {
    Q_OBJECT
  public:
    RankscoutPage(WindowHost& host, QWidget* parent = nullptr);
    EngineBoxes* Engines() const { return EngineBox; }
    QLineEdit* KeyPhrase() const { return KeyPhraseBox; }
    QCheckBox* Detail() const { return DetailBox; }
    FoldPanel* Panel() const { return Fold; }

  protected:
    CheckedRequests BuildRequests(const QStringList& pages) override;
    void FocusInput(InputField field) override;
    void ApplyEngineDefaults() override;

  private:
    FoldPanel* Fold;
    EngineBoxes* EngineBox;
    QCheckBox* DetailBox;
    QLineEdit* KeyPhraseBox;
};

class EnginepostPage : public OnlineToolPage {
    Q_OBJECT
  public:
    EnginepostPage(WindowHost& host, QWidget* parent = nullptr);
    EngineBoxes* Engines() const { return EngineBox; }
    QLineEdit* Title() const { return TitleBox; }
    QLineEdit* Description() const { return DescriptionBox; }
    QLineEdit* KeyWords() const { return KeyWordsBox; }
    QLineEdit* Email() const { return EmailBox; }
    FoldPanel* EnginePanel() const { return EngineFold; }
    FoldPanel* InfoPanel() const { return InfoFold; }

  protected:
    CheckedRequests BuildRequests(const QStringList& pages) override;
    void FocusInput(InputField field) override;
    bool ConfirmRun(const QStringList& pages) override;
    void ApplyEngineDefaults() override;

  private:
    FoldPanel* EngineFold;
    FoldPanel* InfoFold;
    EngineBoxes* EngineBox;
    QLineEdit* TitleBox;
    QLineEdit* DescriptionBox;
    QLineEdit* KeyWordsBox;
    QLineEdit* EmailBox;
};

class BackwatchPage : public OnlineToolPage {
    Q_OBJECT
  public:
    BackwatchPage(WindowHost& host, QWidget* parent = nullptr);

  protected:
    CheckedRequests BuildRequests(const QStringList& pages) override;
};

// The page of a tool.
OnlineToolPage* CreateToolPage(ToolKind kind, WindowHost& host, QWidget* parent = nullptr);

} // namespace vantora
