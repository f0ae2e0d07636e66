#include "HealthOptions.h"

#include "Settings.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vantora::health {

namespace {

const QString Prefix = QStringLiteral("SiteHealth/");

QString LimitKey(std::string_view id) {
    return Prefix + QStringLiteral("threshold-") +
           QString::fromLatin1(id.data(), qsizetype(id.size()));
}

const QString OffKey = Prefix + QStringLiteral("checks-off");

} // namespace

CheckSettings LoadCheckSettings(SettingsStore& store) {
    CheckSettings settings;
    if (!store.OpenKey(false))
        return settings;
    for (const CheckRule& rule : CheckTable()) {
        if (rule.Threshold <= 0 || !store.Contains(LimitKey(rule.Id)))
            continue;
        bool ok = false;
        const double value = store.Value(LimitKey(rule.Id)).toString().toDouble(&ok);
        if (ok && value >= 0 && value < 1e12)
            settings.Limits[std::string(rule.Id)] = value;
    }
    for (const QString& id :
         store.Value(OffKey).toString().split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (FindCheck(id.trimmed().toStdString()))
            settings.Off.insert(id.trimmed().toStdString());
    store.CloseKey();
    return settings;
}

bool SaveCheckSettings(SettingsStore& store, const CheckSettings& settings) {
    if (!store.OpenKey(true))
        return false;
    bool ok = true;
    for (const CheckRule& rule : CheckTable()) {
        if (rule.Threshold <= 0)
            continue;
        const auto set = settings.Limits.find(rule.Id);
        ok &= store.SetValue(
            LimitKey(rule.Id),
            QString::number(set != settings.Limits.end() ? set->second : rule.Threshold));
    }
    QStringList off;
    for (const std::string& id : settings.Off)
        off << QString::fromStdString(id);
    ok &= store.SetValue(OffKey, off.join(QLatin1Char(',')));
    store.CloseKey();
    return ok;
}

HealthOptionsPage::HealthOptionsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HealthOptionsPage"));
    auto* layout = new QVBoxLayout(this);
    auto* limits = new QGroupBox(QStringLiteral("Thresholds"), this);
    auto* form = new QFormLayout(limits);
    for (const CheckRule& rule : CheckTable()) {
        if (rule.Threshold <= 0)
            continue;
        auto* box = new QDoubleSpinBox(limits);
        box->setDecimals(0);
        box->setRange(0, rule.Threshold * 100);
        box->setObjectName(QStringLiteral("Limit-") +
                           QString::fromLatin1(rule.Id.data(), qsizetype(rule.Id.size())));
        const QString text = QString::fromLatin1(rule.Text.data(), qsizetype(rule.Text.size()));
        box->setAccessibleName(text);
        box->setToolTip(QString::fromLatin1(rule.Id.data(), qsizetype(rule.Id.size())));
        auto* label = new QLabel(text + QLatin1Char(':'), limits);
        label->setBuddy(box);
        form->addRow(label, box);
        Limits[std::string(rule.Id)] = box;
    }
    layout->addWidget(limits);
    auto* checks = new QGroupBox(QStringLiteral("Checks switched on"), this);
    auto* grid = new QGridLayout(checks);
    int at = 0;
    for (const CheckRule& rule : CheckTable()) {
        auto* box =
            new QCheckBox(QString::fromLatin1(rule.Id.data(), qsizetype(rule.Id.size())), checks);
        box->setToolTip(QString::fromLatin1(rule.Text.data(), qsizetype(rule.Text.size())));
        grid->addWidget(box, at / 3, at % 3);
        Switches[std::string(rule.Id)] = box;
        ++at;
    }
    layout->addWidget(checks);
    auto* defaults = new QPushButton(QStringLiteral("&Defaults"), this);
    defaults->setObjectName(QStringLiteral("HealthDefaults"));
    connect(defaults, &QPushButton::clicked, this, [this] { Fill({}); });
    layout->addWidget(defaults, 0, Qt::AlignLeft);
    layout->addWidget(
        new QLabel(QStringLiteral("They apply to the next crawl of a saved project."), this));
    layout->addStretch(1);
}

void HealthOptionsPage::Fill(const CheckSettings& settings) {
    for (const CheckRule& rule : CheckTable()) {
        const std::string id(rule.Id);
        if (const auto box = Limits.find(id); box != Limits.end()) {
            const auto set = settings.Limits.find(id);
            box->second->setValue(set != settings.Limits.end() ? set->second : rule.Threshold);
        }
        Switches.at(id)->setChecked(!settings.Off.count(id));
    }
}

CheckSettings HealthOptionsPage::Read() const {
    CheckSettings settings;
    for (const auto& [id, box] : Limits)
        settings.Limits[id] = box->value();
    for (const auto& [id, box] : Switches)
        if (!box->isChecked())
            settings.Off.insert(id);
    return settings;
}

} // namespace vantora::health
