#pragma once

#include <string>
#include <string_view>

namespace qx375 {

// A settings file in the private-profile ("INI") format, read once when the
// object is made:
//
//     [setup]
//     Speed=160
//
// Reading. A line "[name]" opens a section (text after "]" is ignored); a
// line "key=value" inside one holds a key. Sections and keys match whatever
// their ASCII letter case. Names and values are trimmed of blanks (spaces,
// tabs, a stray carriage return); a value enclosed in a matching pair of
// double or single quotes reads without them. Lines starting with ";" (after
// any blanks) are comments; lines before the first section, and lines
// without "=", hold no key. Of a key given twice the first counts; a section
// given twice is one section. A missing, unreadable or absurdly large file
// reads as empty: every read gives its default, and nothing is reported.
//
// Encoding. The file is UTF-8, or Windows-1252 when it is not valid UTF-8;
// the interface speaks UTF-8 either way. A UTF-8 byte-order mark is kept.
//
// Writing. A write changes the copy in memory; save() puts every write on
// disk in one safe replacement of the whole file, so an object dropped
// without save() leaves the file as it was, and a change made to the file by
// someone else after it was read is lost at save(). A write of a key that
// exists replaces that one line with "key=value" (the key spelled as the file
// spells it, the line keeping its own line ending) and leaves it alone when
// it already holds that value; a new key goes after the last key of its
// section, a new section at the end of the file after a blank line. Every
// other byte of the file stays as it was. New and replaced lines take the
// file's encoding (a character Windows-1252 cannot hold, or a malformed UTF-8
// byte, becomes "?") and new lines its line ending (CRLF or LF, as its first
// line ends; LF for a new file). A value that would not read back as written
// (one that starts or ends with a blank, or is itself enclosed in quotes) is
// written in double quotes.
class IniFile {
public:
    explicit IniFile(std::string path);

    // The value of the key, or the fallback when the section or key is
    // absent. A key present with an empty value reads as the empty text.
    std::string read_string(std::string_view section, std::string_view key,
                            std::string_view fallback) const;

    // The value of the key as a whole decimal number within 32 bits; the
    // fallback when the key is absent or
    // its value is anything else, so "1"/"0" flags read as 1 and 0 and a
    // damaged value never turns into 0.
    int read_int(std::string_view section, std::string_view key, int fallback) const;

    // Sets the key to the value, in memory. False, and nothing changed, when
    // the names or the value cannot be stored: an empty name, a line break
    // anywhere, a section name holding "]", a key holding "=" or starting
    // with ";" or "[".
    bool write(std::string_view section, std::string_view key, std::string_view value);
    bool write_int(std::string_view section, std::string_view key, int value);

    // Writes the file if anything was written since it was read or last
    // saved. False when it could not be written (the file on disk is then as
    // it was) and when the file exists but could not be read, which a save
    // would otherwise wipe out.
    bool save();

private:
    struct Place;

    Place locate(std::string_view section, std::string_view key) const;
    std::string as_stored(std::string_view text) const;

    std::string path_;
    std::string text_; // the file in UTF-8, line endings included, without the byte-order mark
    std::string line_end_ = "\n";
    bool byte_order_mark_ = false;
    bool windows1252_ = false;
    bool unreadable_ = false;
    bool changed_ = false;
};

} // namespace qx375
