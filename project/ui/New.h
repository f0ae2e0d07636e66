#pragma once
// The Project Settings dialog: the project's root URL, its proxy server and,
// in the advanced part, how the site is crawled.
// Created once and reused; its fields keep what was last filled in or typed
// (also after Cancel) until FillFromProject or Reset.
#include "ProjectSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace vantora {

class Dialogs;

class ProjectSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    ProjectSettingsDialog(Dialogs& dialogs, ProjectSettingsHost& host, QWidget* parent = nullptr);

    // What OpenProject shows: the project's root URL and proxy.
    void FillFromProject(const ProjectData& project);
    // What ResetProject leaves: all fields empty, the proxy box unchecked.
    void Reset();

    ProjectSettingsFields Fields() const;
    void SetFields(const ProjectSettingsFields& fields);

    // The controls, for tests and for the window's focus handling.
    QLineEdit* UrlEdit() const { return UrlField; }
    QCheckBox* ProxyBox() const { return ProxyCheck; }
    QLineEdit* ProxyServerEdit() const { return ServerField; }
    QLineEdit* ProxyPortEdit() const { return PortField; }
    QComboBox* RenderModeBox() const { return RenderField; }
    QLineEdit* UserAgentEdit() const { return AgentField; }
    QDoubleSpinBox* MaxRateBox() const { return RateField; }
    QSpinBox* PerHostBox() const { return PerHostField; }
    QPlainTextEdit* IncludeEdit() const { return IncludeField; }
    QPlainTextEdit* ExcludeEdit() const { return ExcludeField; }
    QLineEdit* CookieFileEdit() const { return CookieField; }
    QPushButton* CookieBrowseButton() const { return BrowseBtn; }
    QPlainTextEdit* HeadersEdit() const { return HeadersField; }
    QPushButton* OkButton() const { return OkBtn; }
    QPushButton* CancelButton() const { return CancelBtn; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void NormaliseUrlField();
    void UpdateProxyControls();
    void OkClicked();
    void BrowseCookieFile();

    Dialogs& Msg;
    ProjectSettingsHost& Host;
    QLineEdit* UrlField;
    QCheckBox* ProxyCheck;
    QLabel* ServerLabel;
    QLineEdit* ServerField;
    QLabel* PortLabel;
    QLineEdit* PortField;
    QComboBox* RenderField;
    QLineEdit* AgentField;
    QDoubleSpinBox* RateField;
    QSpinBox* PerHostField;
    QPlainTextEdit* IncludeField;
    QPlainTextEdit* ExcludeField;
    QLineEdit* CookieField;
    QPushButton* BrowseBtn;
    QPlainTextEdit* HeadersField;
    // The crawl settings last shown, for what the entries do not hold (Other).
    CrawlSettings Shown;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;
};

} // namespace vantora
