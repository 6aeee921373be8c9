// Profile (INI) file stand-in: the text model behind reading and writing a key
// the way Windows profile functions do. Files other programs own (OBS's) are
// edited through it, so an edit touches only the line it must: every other
// line, comment, blank line, the byte-order mark and each line's own ending
// stay byte for byte. Reading and saving the file is the caller's (it knows
// whether a save must be atomic and how to report a failure).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform::profile {

class IniDocument
{
public:
    // An empty document; `bom` makes text() start with EF BB BF.
    explicit IniDocument(bool bom = false) : bom_(bom) {}

    // Takes UTF-8 bytes as they are in the file. Never fails: lines that are
    // neither "[section]" nor "key=value" are kept and otherwise ignored, as
    // are comments (";" first).
    static IniDocument parse(const std::string& bytes);

    bool hasBom() const { return bom_; }

    // The value of key in section (both compared ASCII case-insensitively,
    // first match wins), blanks around it removed and one pair of enclosing
    // double or single quotes taken off; nullopt when section or key is absent.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;

    // Sets key in section to value. CR, LF and NUL are removed from all three
    // first, so a value can never end its line and inject other keys. An
    // existing key line becomes "key=value" in place (the key's spelling in
    // the file kept); a new key goes after the section's last non-blank line;
    // a new section is appended at the end. New lines take the line ending
    // the file already uses (CR LF for a file that has none yet).
    void setValue(const std::string& section, const std::string& key, const std::string& value);

    // The whole file as bytes.
    std::string text() const;

private:
    struct Line
    {
        std::string content;
        std::string end; // "\r\n", "\n" or "" (last line without ending)
    };
    // Index range [begin, end) of the first section of that name: begin is the
    // header line. Returns false when absent.
    bool findSection(const std::string& section, size_t* begin, size_t* end) const;
    std::string newline() const;

    std::vector<Line> lines_;
    bool bom_ = false;
};

} // namespace platform::profile
