#include "ProjectData.h"

#include <stdexcept>

namespace vantora {

ToolArchive::ToolArchive(ToolKind kind)
    : Which(kind), WithPercentages(Tool(kind).ArchiveColumns == 4) {}

bool ToolArchive::IsConsistent() const {
    const int n = PageColumn.size();
    if (DateColumn.size() != n || BodyColumn.size() != n)
        return false;
    return WithPercentages ? PercentageColumn.size() == n : PercentageColumn.isEmpty();
}

// Runs edit on copies of the columns and takes them only when they still
// pair up, so a faulty change can neither unpair the archive nor half-apply.
template <class Edit> void ToolArchive::Change(Edit&& edit) {
    QStringList pages = PageColumn;
    QStringList dates = DateColumn;
    QStringList percentages = PercentageColumn;
    QStringList bodies = BodyColumn;
    edit(pages, dates, percentages, bodies);
    const int n = pages.size();
    const bool paired = dates.size() == n && bodies.size() == n &&
                        (WithPercentages ? percentages.size() == n : percentages.isEmpty());
    if (!paired)
        throw std::logic_error("The columns of the " +
                               Tool(Which).ArchiveName.toString().toStdString() +
                               " no longer pair up, the change was not made.");
    PageColumn = std::move(pages);
    DateColumn = std::move(dates);
    PercentageColumn = std::move(percentages);
    BodyColumn = std::move(bodies);
}

// Append, RemoveAt and Clear change every column by the same entry, so the
// columns stay paired by construction; they work in place; copying the
// columns for each entry would make filling an archive quadratic.
void ToolArchive::Append(const QString& page, const QString& date, const QString& body,
                         const QString& percentage) {
    PageColumn.append(page);
    DateColumn.append(date);
    BodyColumn.append(body);
    if (WithPercentages)
        PercentageColumn.append(percentage);
}

bool ToolArchive::RemoveAt(int index) {
    if (index < 0 || index >= Count())
        return false;
    PageColumn.removeAt(index);
    DateColumn.removeAt(index);
    BodyColumn.removeAt(index);
    if (WithPercentages)
        PercentageColumn.removeAt(index);
    return true;
}

void ToolArchive::Clear() {
    PageColumn.clear();
    DateColumn.clear();
    PercentageColumn.clear();
    BodyColumn.clear();
}

bool ToolArchive::SetColumns(QStringList pages, QStringList dates, QStringList percentages,
                             QStringList bodies) {
    try {
        Change([&](QStringList& p, QStringList& d, QStringList& c, QStringList& b) {
            p = std::move(pages);
            d = std::move(dates);
            c = std::move(percentages);
            b = std::move(bodies);
        });
    } catch (const std::logic_error&) {
        return false;
    }
    return true;
}

bool BulletinList::IsConsistent() const {
    const int n = BodyColumn.size();
    return SenderColumn.size() == n && PageColumn.size() == n && ReadColumn.size() == n;
}

// Runs edit on copies of the columns and takes them only when they still
// pair up, so a faulty change can neither unpair the list nor half-apply.
template <class Edit> void BulletinList::Change(Edit&& edit) {
    QStringList bodies = BodyColumn;
    QStringList senders = SenderColumn;
    QStringList pages = PageColumn;
    QStringList reads = ReadColumn;
    edit(bodies, senders, pages, reads);
    const int n = bodies.size();
    if (senders.size() != n || pages.size() != n || reads.size() != n)
        throw std::logic_error(
            "The columns of the bulletin messages no longer pair up, the change was not made.");
    BodyColumn = std::move(bodies);
    SenderColumn = std::move(senders);
    PageColumn = std::move(pages);
    ReadColumn = std::move(reads);
}

// As for the archives: the fixed changes keep the columns paired by
// construction and work in place.
void BulletinList::Append(const QString& body, const QString& sender, const QString& page,
                          const QString& readState) {
    BodyColumn.append(body);
    SenderColumn.append(sender);
    PageColumn.append(page);
    ReadColumn.append(readState);
}

bool BulletinList::RemoveAt(int index) {
    if (index < 0 || index >= Count())
        return false;
    BodyColumn.removeAt(index);
    SenderColumn.removeAt(index);
    PageColumn.removeAt(index);
    ReadColumn.removeAt(index);
    return true;
}

bool BulletinList::SetReadState(int index, const QString& readState) {
    if (index < 0 || index >= Count())
        return false;
    ReadColumn[index] = readState;
    return true;
}

void BulletinList::Clear() {
    BodyColumn.clear();
    SenderColumn.clear();
    PageColumn.clear();
    ReadColumn.clear();
}

bool BulletinList::SetColumns(QStringList bodies, QStringList senders, QStringList pages,
                              QStringList readStates) {
    try {
        Change([&](QStringList& b, QStringList& s, QStringList& p, QStringList& r) {
            b = std::move(bodies);
            s = std::move(senders);
            p = std::move(pages);
            r = std::move(readStates);
        });
    } catch (const std::logic_error&) {
        return false;
    }
    return true;
}

ToolArchive& ProjectData::Archive(ToolKind kind) {
    for (ToolArchive* archive : {&WordweighArchive, &StuffwatchArchive, &RankscoutArchive,
                                 &EnginepostArchive, &BackwatchArchive})
        if (archive->Kind() == kind)
            return *archive;
    throw std::logic_error("No archive for this tool.");
}

const ToolArchive& ProjectData::Archive(ToolKind kind) const {
    return const_cast<ProjectData*>(this)->Archive(kind);
}

ToolArchive* ProjectData::ArchiveForTag(int tag) {
    const std::optional<ToolKind> kind = ToolKindFromTag(tag);
    return kind ? &Archive(*kind) : nullptr;
}

const ToolArchive* ProjectData::ArchiveForTag(int tag) const {
    return const_cast<ProjectData*>(this)->ArchiveForTag(tag);
}

void ProjectData::Clear() {
    *this = ProjectData();
}

} // namespace vantora
