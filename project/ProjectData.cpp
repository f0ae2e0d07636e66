#include "ProjectData.h"

namespace vantora {

bool ToolArchive::IsConsistent() const {
    const int n = Pages.size();
    if (Dates.size() != n || Bodies.size() != n)
        return false;
    return HasPercentages ? Percentages.size() == n : Percentages.isEmpty();
}

void ToolArchive::Append(const QString& page, const QString& date, const QString& body,
                         const QString& percentage) {
    Pages.append(page);
    Dates.append(date);
    Bodies.append(body);
    if (HasPercentages)
        Percentages.append(percentage);
    Q_ASSERT(IsConsistent());
}

void ToolArchive::RemoveAt(int index) {
    if (index < 0 || index >= Pages.size())
        return;
    Pages.removeAt(index);
    if (index < Dates.size())
        Dates.removeAt(index);
    if (index < Bodies.size())
        Bodies.removeAt(index);
    if (HasPercentages && index < Percentages.size())
        Percentages.removeAt(index);
}

void ToolArchive::Clear() {
    Pages.clear();
    Dates.clear();
    Percentages.clear();
    Bodies.clear();
}

bool BulletinList::IsConsistent() const {
    const int n = Bodies.size();
    return Senders.size() == n && Pages.size() == n && ReadStates.size() == n;
}

void BulletinList::Append(const QString& body, const QString& sender, const QString& page,
                          const QString& readState) {
    Bodies.append(body);
    Senders.append(sender);
    Pages.append(page);
    ReadStates.append(readState);
}

void BulletinList::RemoveAt(int index) {
    for (QStringList* column : {&Bodies, &Senders, &Pages, &ReadStates})
        if (index >= 0 && index < column->size())
            column->removeAt(index);
}

void BulletinList::Clear() {
    Bodies.clear();
    Senders.clear();
    Pages.clear();
    ReadStates.clear();
}

ToolArchive* ProjectData::Archive(int toolKind) {
    switch (toolKind) {
    case 1:
        return &WordweighArchive;
    case 2:
        return &StuffwatchArchive;
    case 3:
        return &RankscoutArchive;
    case 4:
        return &EnginepostArchive;
    case 5:
        return &BackwatchArchive;
    default:
        return nullptr;
    }
}

const ToolArchive* ProjectData::Archive(int toolKind) const {
    return const_cast<ProjectData*>(this)->Archive(toolKind);
}

void ProjectData::Clear() {
    *this = ProjectData();
}

} // namespace vantora
