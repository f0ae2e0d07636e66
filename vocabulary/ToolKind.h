#pragma once
// The five on-line tools, each described once. A tool's number is its
// ToolKind (1 Wordweigh .. 5 Backwatch) everywhere: it tags the tool's
// requests in the queue, names its archive in the project and gives its
// page's place in the tools notebook.
#include <QLatin1StringView>
#include <QString>

#include <array>
#include <optional>

namespace vantora {

enum class ToolKind { Wordweigh = 1, Stuffwatch = 2, Rankscout = 3, Enginepost = 4, Backwatch = 5 };

struct ToolInfo {
    ToolKind Kind;
    QLatin1StringView Caption;     // tab caption, "Wordweigh"
    QLatin1StringView Script;      // "wordweigh-pt.cgi" below /cgi-bin/zeph/text_output/
    QLatin1StringView Marker;      // the answer's first characters, "WORDWEIGH-v1.1"
    int Skipped;                   // characters after the marker that are not the body
    QLatin1StringView Heading;     // "Wordweigh - Report, created "
    QLatin1StringView WaitingText; // status text while its requests wait
    QLatin1StringView ArchiveName; // "WordweighArchive"
    int ArchiveColumns;            // 4 for Wordweigh (percentage), else 3
};

inline constexpr int ToolCount = 5;

// Every tool in ToolKind order.
const std::array<ToolInfo, ToolCount>& AllTools();
const ToolInfo& Tool(ToolKind kind);

// The tool whose requests carry this tag digit; none for 7, 8 and others.
std::optional<ToolKind> ToolKindFromTag(int tag);
inline int Tag(ToolKind kind) {
    return int(kind);
}
// The tool page's index in the tools notebook (0 Wordweigh .. 4 Backwatch).
inline int TabIndex(ToolKind kind) {
    return int(kind) - 1;
}
std::optional<ToolKind> ToolKindFromTabIndex(int index);

// "/cgi-bin/zeph/text_output/" + the tool's script.
QString ScriptPath(ToolKind kind);

} // namespace vantora
