#include "ToolKind.h"

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::array<ToolInfo, ToolCount> Tools{{
    {ToolKind::Wordweigh, "Wordweigh"_L1, "wordweigh-pt.cgi"_L1, "WORDWEIGH-v1.1"_L1, 4,
     "Wordweigh - Report, created "_L1, "Requesting data from the Wordweigh ("_L1,
     "WordweighArchive"_L1, 4},
    {ToolKind::Stuffwatch, "Stuffwatch"_L1, "spam-pt.cgi"_L1, "STUFFWATCH-v1.1"_L1, 1,
     "Stuffwatch - Report, created "_L1, "Requesting data from the Stuffwatch ("_L1,
     "StuffwatchArchive"_L1, 3},
    {ToolKind::Rankscout, "Rankscout"_L1, "rankscout-pt.cgi"_L1, "RANKSCOUT"_L1, 4,
     "Rankscout - Report, created "_L1, "Requesting data from Rankscout ("_L1,
     "RankscoutArchive"_L1, 3},
    {ToolKind::Enginepost, "Enginepost"_L1, "submit-pt.cgi"_L1, "ENGINEPOST-v1.1"_L1, 4,
     "Enginepost - Report, created "_L1, "Requesting data from Enginepost ("_L1,
     "EnginepostArchive"_L1, 3},
    {ToolKind::Backwatch, "Backwatch"_L1, "backwatch-pt.cgi"_L1, "BACKWATCH-v1.1"_L1, 4,
     "Backwatch - Report, created "_L1, "Requesting data from Backwatch ("_L1,
     "BackwatchArchive"_L1, 3},
}};

constexpr bool InKindOrder() {
    for (size_t i = 0; i < Tools.size(); ++i)
        if (int(Tools[i].Kind) != int(i) + 1)
            return false;
    return true;
}
static_assert(InKindOrder(), "the tool table is indexed by ToolKind - 1");

} // namespace

const std::array<ToolInfo, ToolCount>& AllTools() {
    return Tools;
}

const ToolInfo& Tool(ToolKind kind) {
    return Tools[size_t(TabIndex(kind))];
}

std::optional<ToolKind> ToolKindFromTag(int tag) {
    if (tag < 1 || tag > ToolCount)
        return std::nullopt;
    return ToolKind(tag);
}

std::optional<ToolKind> ToolKindFromTabIndex(int index) {
    return ToolKindFromTag(index + 1);
}

QString ScriptPath(ToolKind kind) {
    return "/cgi-bin/zeph/text_output/"_L1 + Tool(kind).Script;
}

} // namespace vantora
