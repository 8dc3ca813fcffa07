// The in-memory registry and its .reg text form: parsing, with every malformed
// line reported and skipped, and writing in the layout of a registry export.
#include "registry_model.h"

#include <cstdio>
#include <cstring>

namespace tv::reg {

std::string FoldName(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

Key* Key::FindSubkey(std::string_view name) const
{
    auto it = subkeys.find(FoldName(name));
    return it == subkeys.end() ? nullptr : it->second.get();
}

Key* Key::AddSubkey(std::string_view name, bool* created)
{
    auto [it, inserted] = subkeys.try_emplace(FoldName(name));
    if (inserted) {
        it->second = std::make_unique<Key>();
        it->second->name = std::string(name);
    }
    if (created)
        *created = inserted;
    return it->second.get();
}

Value* Key::FindValue(std::string_view name)
{
    std::string folded = FoldName(name);
    for (Value& v : values) {
        if (v.name.size() == folded.size() && FoldName(v.name) == folded)
            return &v;
    }
    return nullptr;
}

const Value* Key::FindValue(std::string_view name) const
{
    return const_cast<Key*>(this)->FindValue(name);
}

void Key::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data)
{
    if (Value* v = FindValue(name)) {
        v->type = type;
        v->data = std::move(data);
        return;
    }
    values.push_back(Value{std::string(name), type, std::move(data)});
}

bool Key::DeleteValue(std::string_view name)
{
    Value* v = FindValue(name);
    if (!v)
        return false;
    values.erase(values.begin() + (v - values.data()));
    return true;
}

std::unique_ptr<Key> Key::Clone() const
{
    auto copy = std::make_unique<Key>();
    copy->name = name;
    copy->values = values;
    for (const auto& [folded, sub] : subkeys)
        copy->subkeys.emplace(folded, sub->Clone());
    return copy;
}

namespace {

const char* const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
const char* const kRootShortNames[kRootCount] = {"HKCR", "HKCU", "HKLM", "HKU"};

} // namespace

const char* RootName(int root)
{
    return root >= 0 && root < kRootCount ? kRootNames[root] : "";
}

int FindRoot(std::string_view name)
{
    std::string folded = FoldName(name);
    for (int i = 0; i < kRootCount; ++i) {
        if (folded == kRootNames[i] || folded == kRootShortNames[i])
            return i;
    }
    return -1;
}

Tree::Tree()
{
    for (int i = 0; i < kRootCount; ++i)
        roots[i].name = kRootNames[i];
}

std::unique_ptr<Tree> Tree::Clone() const
{
    auto copy = std::make_unique<Tree>();
    for (int i = 0; i < kRootCount; ++i) {
        std::unique_ptr<Key> root = roots[i].Clone();
        copy->roots[i] = std::move(*root);
    }
    return copy;
}

bool IsStorableName(std::string_view name)
{
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t')
            return false;
    }
    return true;
}

namespace {

constexpr std::string_view kVersionLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldVersionLine = "REGEDIT4";

// A registry exported on Windows is UTF-16LE with a byte order mark; the rest of
// the parser works on UTF-8.
std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    size_t i = 0;
    auto unit = [&](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
               (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8);
    };
    while (i + 1 < bytes.size()) {
        unsigned cp = unit(i);
        i += 2;
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < bytes.size()) {
            unsigned low = unit(i);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && FoldName(s.substr(0, prefix.size())) == FoldName(prefix);
}

// Reads a quoted string at the start of s (which begins with '"'). On success
// returns true, stores the unescaped text and leaves s after the closing quote.
bool ParseQuoted(std::string_view* s, std::string* out, const char** reason)
{
    out->clear();
    size_t i = 1;
    while (i < s->size()) {
        char c = (*s)[i];
        if (c == '"') {
            s->remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s->size())
                break;
            char next = (*s)[i + 1];
            if (next != '\\' && next != '"') {
                *reason = "unknown escape in string";
                return false;
            }
            *out += next;
            i += 2;
            continue;
        }
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t') {
            *reason = "control character in string";
            return false;
        }
        *out += c;
        ++i;
    }
    *reason = "unterminated string";
    return false;
}

bool ParseHexBytes(std::string_view text, std::vector<BYTE>* out)
{
    out->clear();
    text = Trim(text);
    if (text.empty())
        return true;
    if (text.back() == ',')
        text.remove_suffix(1); // a trailing comma before an (empty) continuation
    while (true) {
        size_t comma = text.find(',');
        std::string_view token = Trim(text.substr(0, comma));
        if (token.empty() || token.size() > 2)
            return false;
        int value = 0;
        for (char c : token) {
            int d = HexDigit(c);
            if (d < 0)
                return false;
            value = value * 16 + d;
        }
        out->push_back(static_cast<BYTE>(value));
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
    }
}

// Parses an unsigned hex number of 1..maxDigits digits filling all of text.
bool ParseHexNumber(std::string_view text, size_t maxDigits, DWORD* out)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    DWORD value = 0;
    for (char c : text) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<DWORD>(d);
    }
    *out = value;
    return true;
}

struct ParsedPath {
    int root = -1;
    std::vector<std::string> parts;
};

bool ParseKeyPath(std::string_view text, ParsedPath* path, const char** reason)
{
    size_t slash = text.find('\\');
    path->root = FindRoot(text.substr(0, slash));
    if (path->root < 0) {
        *reason = "unknown root key";
        return false;
    }
    path->parts.clear();
    while (slash != std::string_view::npos) {
        text.remove_prefix(slash + 1);
        slash = text.find('\\');
        std::string_view part = text.substr(0, slash);
        if (part.empty()) {
            *reason = "empty key name";
            return false;
        }
        if (!IsStorableName(part)) {
            *reason = "control character in key name";
            return false;
        }
        path->parts.emplace_back(part);
    }
    return true;
}

class Parser {
public:
    Parser(const std::string& fileName, Tree* tree, bool wideStrings)
        : m_fileName(fileName), m_tree(tree), m_wideStrings(wideStrings)
    {
    }

    int Run(std::string_view text)
    {
        SplitLines(text);
        for (m_index = 0; m_index < m_lines.size(); ++m_index) {
            std::string_view line = Trim(m_lines[m_index]);
            if (line.empty() || line.front() == ';' || line == kVersionLine ||
                line == kOldVersionLine)
                continue;
            if (line.front() == '[')
                ParseSection(line);
            else
                ParseValueLine(line);
        }
        return m_errors;
    }

private:
    void SplitLines(std::string_view text)
    {
        while (!text.empty()) {
            size_t nl = text.find('\n');
            m_lines.push_back(text.substr(0, nl));
            if (nl == std::string_view::npos)
                break;
            text.remove_prefix(nl + 1);
        }
    }

    void Report(size_t index, const char* reason)
    {
        ++m_errors;
        std::fprintf(stderr, "%s:%zu: malformed registry line skipped (%s)\n", m_fileName.c_str(),
                     index + 1, reason);
    }

    void ParseSection(std::string_view line)
    {
        m_current = nullptr;
        m_inBadSection = true;
        if (line.size() < 2 || line.back() != ']') {
            Report(m_index, "section without closing bracket; its values are skipped");
            return;
        }
        std::string_view inner = line.substr(1, line.size() - 2);
        bool remove = !inner.empty() && inner.front() == '-';
        if (remove)
            inner.remove_prefix(1);
        ParsedPath path;
        const char* reason = "";
        if (!ParseKeyPath(inner, &path, &reason)) {
            std::string why = std::string(reason) + (remove ? "" : "; its values are skipped");
            Report(m_index, why.c_str());
            return;
        }
        Key* key = &m_tree->roots[path.root];
        if (remove) {
            // "[-path]" deletes the key and everything below it.
            if (path.parts.empty())
                return; // a root cannot go
            for (size_t i = 0; key && i + 1 < path.parts.size(); ++i)
                key = key->FindSubkey(path.parts[i]);
            if (key)
                key->subkeys.erase(FoldName(path.parts.back()));
            m_inBadSection = false;
            return;
        }
        for (const std::string& part : path.parts)
            key = key->AddSubkey(part);
        m_current = key;
        m_inBadSection = false;
    }

    void ParseValueLine(std::string_view line)
    {
        size_t first = m_index;
        std::string name;
        const char* reason = "";
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (line.front() == '"') {
            if (!ParseQuoted(&line, &name, &reason))
                return Reject(first, reason);
        } else {
            return Report(first, "not a section, value or comment");
        }
        line = Trim(line);
        if (line.empty() || line.front() != '=')
            return Reject(first, "missing '=' after the value name");
        line = Trim(line.substr(1));

        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        bool remove = false;
        std::string joined;
        if (line == "-") {
            remove = true;
        } else if (!line.empty() && line.front() == '"') {
            std::string text;
            if (!ParseQuoted(&line, &text, &reason))
                return Reject(first, reason);
            if (!Trim(line).empty())
                return Reject(first, "text after the closing quote");
            type = REG_SZ;
            data.assign(text.begin(), text.end());
            data.push_back(0);
        } else if (StartsWithNoCase(line, "dword:")) {
            DWORD value = 0;
            if (!ParseHexNumber(Trim(line.substr(6)), 8, &value))
                return Reject(first, "bad dword data");
            type = REG_DWORD;
            for (int i = 0; i < 4; ++i)
                data.push_back(static_cast<BYTE>(value >> (8 * i)));
        } else if (StartsWithNoCase(line, "hex")) {
            // Gather the continuation lines first, so that a bad value never leaves
            // them behind to be misread as lines of their own.
            joined = std::string(line);
            bool truncated = false;
            while (!joined.empty() && joined.back() == '\\') {
                joined.pop_back();
                if (m_index + 1 >= m_lines.size()) {
                    truncated = true;
                    break;
                }
                // A section line is never hex data: the value ends before it, so
                // the section keeps its values.
                if (Trim(m_lines[m_index + 1]).starts_with('['))
                    return Reject(first, "hex data continues into the next section");
                ++m_index;
                joined += Trim(m_lines[m_index]);
            }
            if (truncated)
                return Reject(first, "hex data continues past the end of the file");
            std::string_view rest(joined);
            rest.remove_prefix(3);
            if (!rest.empty() && rest.front() == ':') {
                type = REG_BINARY;
                rest.remove_prefix(1);
            } else if (!rest.empty() && rest.front() == '(') {
                size_t close = rest.find(')');
                if (close == std::string_view::npos || close + 1 >= rest.size() ||
                    rest[close + 1] != ':' || !ParseHexNumber(rest.substr(1, close - 1), 8, &type))
                    return Reject(first, "bad hex value type");
                rest.remove_prefix(close + 2);
            } else {
                return Reject(first, "unknown value type");
            }
            if (!ParseHexBytes(rest, &data))
                return Reject(first, "bad hex data");
            if (m_wideStrings &&
                (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) &&
                data.size() % 2 == 0) {
                // A Windows export holds these as UTF-16LE; the A calls expect UTF-8.
                std::string utf8 = Utf16LeToUtf8(
                    std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
                data.assign(utf8.begin(), utf8.end());
            }
        } else {
            return Reject(first, "unknown value type");
        }

        if (!m_current) {
            if (!m_inBadSection)
                Report(first, "value outside any key");
            return;
        }
        if (remove)
            m_current->DeleteValue(name);
        else
            m_current->SetValue(name, type, std::move(data));
    }

    void Reject(size_t index, const char* reason)
    {
        if (m_inBadSection)
            return; // the section's own report covers its lines
        Report(index, reason);
    }

    const std::string& m_fileName;
    Tree* m_tree;
    std::vector<std::string_view> m_lines;
    size_t m_index = 0;
    Key* m_current = nullptr;
    bool m_inBadSection = false;
    bool m_wideStrings; // the file came as UTF-16LE, as Windows writes exports
    int m_errors = 0;
};

void AppendQuoted(std::string* out, std::string_view text)
{
    *out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            *out += '\\';
        *out += c;
    }
    *out += '"';
}

// A REG_SZ can be written as a quoted string when it reads back identically:
// one terminating NUL and no other control characters.
bool IsQuotable(const std::vector<BYTE>& data)
{
    if (data.empty() || data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] < 0x20 && data[i] != '\t')
            return false;
    }
    return true;
}

void AppendValue(std::string* out, const Value& value)
{
    std::string line;
    if (value.name.empty())
        line = "@";
    else
        AppendQuoted(&line, value.name);
    line += '=';
    if (value.type == REG_SZ && IsQuotable(value.data)) {
        AppendQuoted(&line, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                             value.data.size() - 1));
        *out += line;
        *out += '\n';
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD v = static_cast<DWORD>(value.data[0]) | (static_cast<DWORD>(value.data[1]) << 8) |
                  (static_cast<DWORD>(value.data[2]) << 16) |
                  (static_cast<DWORD>(value.data[3]) << 24);
        char buf[32];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v));
        *out += line + buf + "\n";
        return;
    }
    char prefix[32];
    if (value.type == REG_BINARY)
        std::snprintf(prefix, sizeof prefix, "hex:");
    else
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    line += prefix;
    // Wrapped like an export: lines under 80 columns, broken after a comma.
    for (size_t i = 0; i < value.data.size(); ++i) {
        char piece[4];
        std::snprintf(piece, sizeof piece, "%02x%s", value.data[i],
                      i + 1 < value.data.size() ? "," : "");
        if (line.size() + std::strlen(piece) > 77 && line.back() == ',') {
            *out += line + "\\\n";
            line = "  ";
        }
        line += piece;
    }
    *out += line + "\n";
}

void AppendKey(std::string* out, const Key& key, const std::string& path, bool isRoot)
{
    if (!isRoot || !key.values.empty()) {
        *out += '[' + path + "]\n";
        // The default value first, as exports have it.
        for (const Value& v : key.values) {
            if (v.name.empty())
                AppendValue(out, v);
        }
        for (const Value& v : key.values) {
            if (!v.name.empty())
                AppendValue(out, v);
        }
        *out += '\n';
    }
    for (const auto& [folded, sub] : key.subkeys)
        AppendKey(out, *sub, path + '\\' + sub->name, false);
}

} // namespace

int Parse(std::string_view text, const std::string& fileName, Tree* tree)
{
    std::string converted;
    bool wide = false;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        converted = Utf16LeToUtf8(text.substr(2));
        text = converted;
        wide = true;
    } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    Parser parser(fileName, tree, wide);
    return parser.Run(text);
}

std::string Serialize(const Tree& tree)
{
    std::string out(kVersionLine);
    out += "\n\n";
    for (int i = 0; i < kRootCount; ++i)
        AppendKey(&out, tree.roots[i], RootName(i), true);
    return out;
}

} // namespace tv::reg
