#pragma once
// What a project keeps in a small file beside its project file
// (NAME.extras.json for NAME.zpr): the watch list, the crawl's render
// mode and its other settings (CrawlSettings.h). A version that knows only the project file reads
// and saves the project without them, and they are still there for the next open. Members this
// version does not know are kept as they were read.
#include "ProjectData.h"

#include <QString>

namespace vantora {

// NAME.zpr (any case of ".zpr") -> NAME.extras.json in the same folder.
QString ProjectExtrasPath(const QString& projectPath);

// Reads the file beside projectPath into project: the watch list when the
// project file had none (an older version saved it), the render mode, and
// every other member. A missing file changes nothing; a file that cannot be
// read or is not a JSON object changes nothing and returns the words that
// say so (the project itself is fine).
QString ReadProjectExtras(const QString& projectPath, ProjectData& project);

// Writes the file beside projectPath whole (through a temporary file), or
// removes it when there is nothing to keep. A file there that cannot be
// read is moved aside to NAME.extras.json.broken first, never overwritten.
// False with error set when the file cannot be written.
bool WriteProjectExtras(const QString& projectPath, const ProjectData& project, QString& error);

// The render mode a crawl uses: "auto" or "on" as stored, "off" for
// anything else (nothing stored, or a value of a newer version).
QString EffectiveRenderMode(const ProjectData& project);

} // namespace vantora
