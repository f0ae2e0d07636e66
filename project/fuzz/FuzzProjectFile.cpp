// libFuzzer entry: any bytes, read as a project file, are either refused
// with an empty project or give a project whose columns are paired and
// whose saved form reads back to the same bytes.
#include "ProjectFile.h"

#include <cstdint>
#include <cstdlib>

using namespace vantora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Half of the inputs get the marker so the header and blocks are reached.
    if (size > 0 && (data[0] & 1))
        bytes.prepend("ZEPHProject\r");
    ProjectData project;
    const ProjectFileResult result = ParseProject(bytes, project);
    if (!result.IsOk()) {
        if (!project.SiteMapLines.isEmpty() || !project.RootHost.isEmpty() ||
            project.BulletinMessages.Count() != 0)
            std::abort();
        return 0;
    }
    for (int kind = 1; kind <= 5; ++kind)
        if (!project.ArchiveForTag(kind)->IsConsistent())
            std::abort();
    const QByteArray saved = SerializeProject(project);
    ProjectData again;
    if (!ParseProject(saved, again).IsOk() || SerializeProject(again) != saved)
        std::abort();
    return 0;
}
