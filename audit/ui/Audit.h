#pragma once
// The audit options dialog: which sections the audit writes and the
// thresholds, engine and dates that filter them. Made once at start-up and
// reused, so the check boxes and the two threshold texts carry over from one
// audit to the next.
#include "AuditOptions.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;

namespace vantora {

class AuditDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AuditDialog(QWidget* parent = nullptr);

    // Before every showing: both dates to today, the engine and the
    // condition to their first items. Nothing else is reset.
    void PrepareShowing(const QDate& today);
    // What the dialog holds now.
    AuditOptions Choices() const;

    QCheckBox* Broken;
    QCheckBox* Mailto;
    QCheckBox* ShowXtal;
    QCheckBox* ListPages;
    QCheckBox* Spam;
    QCheckBox* LessEffective;
    QComboBox* Effective;
    QCheckBox* Remote;
    QCheckBox* Ranking;
    QComboBox* Rank;
    QCheckBox* PrevSub;
    QComboBox* SearchEngine;
    QCheckBox* Submited;
    QComboBox* SubmitType;
    QDateEdit* SubmitDate;
    QGroupBox* Limit;
    QLabel* ScopeCapt;
    QDateEdit* ScopeDate;
    QPushButton* OkButton;
    QPushButton* CancelButton;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PrevSubClicked();
    void SubmitedClicked();
};

} // namespace vantora
