#pragma once
// The function-word lists the build carries in from web/functionwords/:
// each one the text of <Snowball algorithm name>.txt, one word a line,
// "#" starting a comment.
#include <string_view>
#include <vector>

namespace vantora {

struct FunctionWordFile {
    std::string_view Name; // "english", "german" ...
    std::string_view Text;
};

const std::vector<FunctionWordFile>& FunctionWordFiles();

} // namespace vantora
