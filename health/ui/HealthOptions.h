#pragma once
// The checks' settings: thresholds and the checks switched on, kept in the
// settings store under "SiteHealth/" (beside, never inside, the program's
// other values), and the page that edits them in Program Options.

#include "Checks.h"

#include <QWidget>

#include <map>

class QCheckBox;
class QDoubleSpinBox;

namespace vantora {
class SettingsStore;
}

namespace vantora::health {

// What is stored; missing or unreadable values take the table's defaults.
// The store is opened and closed here.
CheckSettings LoadCheckSettings(SettingsStore& store);
bool SaveCheckSettings(SettingsStore& store, const CheckSettings& settings);

class HealthOptionsPage : public QWidget {
    Q_OBJECT
  public:
    explicit HealthOptionsPage(QWidget* parent = nullptr);
    void Fill(const CheckSettings& settings);
    CheckSettings Read() const;

  private:
    std::map<std::string, QDoubleSpinBox*> Limits;
    std::map<std::string, QCheckBox*> Switches;
};

} // namespace vantora::health
