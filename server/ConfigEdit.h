#pragma once
// Changes to the server's configuration file that keep everything else the
// user wrote: comments, blank lines, the order of tables and keys, and keys
// this program does not know. Only the lines of the keys changed are
// rewritten; a new key goes after the last key of its table, a new table at
// the end of the file.
#include <string>
#include <string_view>

namespace vantora {

class ConfigText {
  public:
    explicit ConfigText(std::string text) : Text(std::move(text)) {}

    const std::string& Str() const { return Text; }

    // Sets table.key to value, a TOML value as it is to be written
    // ("\"text\"", "10", "[\"a\", \"b\"]"). table "" is the top of the file.
    void Set(std::string_view table, std::string_view key, std::string_view value);
    // Removes table.key (and the lines a multi-line value goes on); nothing
    // when it is not there.
    void Remove(std::string_view table, std::string_view key);
    // Whether the file has table.key.
    bool Has(std::string_view table, std::string_view key) const;

  private:
    std::string Text;
};

// A TOML basic string: the text in double quotes, with '"', '\' and control
// characters escaped.
std::string TomlString(std::string_view text);

// Writes text to path through a temporary file in the same folder that
// replaces the old file only once it is whole; false with a reason when it
// cannot. The folder is made when it is missing.
bool WriteConfigFile(const std::string& path, const std::string& text, std::string& error);

} // namespace vantora
