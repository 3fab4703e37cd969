#include "platform/RegistryText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace orvane::platform::regtext {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool keyPathAllowed(std::string_view path) {
    size_t levels = 1;
    size_t nameLength = 0;
    for (char c : path) {
        if (c == '\\') {
            if (++levels > kMaxKeyDepth) return false;
            nameLength = 0;
        } else if (++nameLength > kMaxKeyNameLength) {
            return false;
        }
    }
    return true;
}

// Adds a key and every missing parent. Parents are added from the nearest up and the walk
// stops at the first that exists, since every key in the tree has all of its parents: so a
// file of many sibling keys costs one path each, not their whole ancestry again.
Key& ensureKey(Tree& tree, const std::string& path) {
    auto [key, added] = tree.try_emplace(lower(path), Key{path, {}});
    if (!added) return key->second;
    for (size_t pos = path.rfind('\\'); pos != std::string::npos && pos > 0;
         pos = path.rfind('\\', pos - 1)) {
        std::string parent = path.substr(0, pos);
        if (!tree.try_emplace(lower(parent), Key{parent, {}}).second) break;
    }
    return key->second;
}

namespace {

std::optional<std::string> parseQuoted(std::string_view line, size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '\\' && pos + 1 < line.size()) {
            out += line[++pos];
        } else if (c == '"') {
            ++pos;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

bool parseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos >= text.size()) break;
        size_t end = text.find(',', pos);
        std::string_view item =
            text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (item.size() != 2 || !std::isxdigit(static_cast<unsigned char>(item[0])) ||
            !std::isxdigit(static_cast<unsigned char>(item[1])))
            return false;
        out.push_back(static_cast<uint8_t>(std::strtoul(std::string(item).c_str(), nullptr, 16)));
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return true;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hexList(const std::vector<uint8_t>& data) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        if (i) out += ',';
        out += buf;
    }
    return out;
}

}  // namespace

std::optional<Tree> parseTree(const std::string& text) {
    Tree tree;
    std::vector<std::string> lines;
    {
        std::string current;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            std::string line =
                text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // A trailing backslash continues a long hex value on the next line.
            if (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos) {
                line.pop_back();
                current += line;
            } else if (!current.empty()) {
                size_t first = line.find_first_not_of(" \t");
                current += first == std::string::npos ? "" : line.substr(first);
                if (current.back() == '\\') {
                    current.pop_back();
                } else {
                    lines.push_back(std::move(current));
                    current.clear();
                }
            } else {
                lines.push_back(std::move(line));
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (!current.empty()) lines.push_back(std::move(current));
    }
    if (lines.empty()) return tree;
    // The first line is the header (an empty file is an empty tree).
    std::string first = lines[0];
    if (first.size() >= 3 && static_cast<unsigned char>(first[0]) == 0xEF) first.erase(0, 3);
    if (first.empty() && lines.size() == 1) return tree;
    if (first != kHeader) return std::nullopt;

    Key* key = nullptr;
    bool skipping = false;  // inside a section beyond the key limits
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) return std::nullopt;
            std::string path(line.substr(1, line.size() - 2));
            if (path[0] == '-') return std::nullopt;  // Deletion entries are not stored state.
            skipping = !keyPathAllowed(path);
            key = skipping ? nullptr : &ensureKey(tree, path);
            continue;
        }
        if (skipping) continue;
        if (key == nullptr) return std::nullopt;
        size_t pos = 0;
        std::string name;
        if (line[0] == '@') {
            pos = 1;
        } else {
            auto quoted = parseQuoted(line, pos);
            if (!quoted) return std::nullopt;
            name = *quoted;
        }
        if (pos >= line.size() || line[pos] != '=') return std::nullopt;
        std::string_view rest = line.substr(pos + 1);
        Value value;
        value.name = name;
        if (rest.substr(0, 6) == "dword:") {
            std::string_view digits = rest.substr(6);
            if (digits.size() != 8 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                    return std::isxdigit(static_cast<unsigned char>(c));
                }))
                return std::nullopt;
            uint32_t v =
                static_cast<uint32_t>(std::strtoul(std::string(digits).c_str(), nullptr, 16));
            value.type = kRegDword;
            value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
        } else if (rest.substr(0, 4) == "hex:") {
            value.type = kRegBinary;
            if (!parseHexBytes(rest.substr(4), value.data)) return std::nullopt;
        } else if (rest.substr(0, 4) == "hex(") {
            size_t close = rest.find("):");
            if (close == std::string_view::npos) return std::nullopt;
            value.type = static_cast<uint32_t>(
                std::strtoul(std::string(rest.substr(4, close - 4)).c_str(), nullptr, 16));
            if (!parseHexBytes(rest.substr(close + 2), value.data)) return std::nullopt;
        } else if (!rest.empty() && rest[0] == '"') {
            size_t p = 0;
            auto text = parseQuoted(rest, p);
            if (!text || p != rest.size()) return std::nullopt;
            value.type = kRegSz;
            value.data.assign(text->begin(), text->end());
            value.data.push_back(0);
        } else {
            return std::nullopt;
        }
        key->values[lower(name)] = std::move(value);
    }
    return tree;
}

std::string serialize(const Tree& tree) {
    std::string out(kHeader);
    out += "\r\n";
    for (const auto& [lowerPath, key] : tree) {
        out += "\r\n[" + key.path + "]\r\n";
        for (const auto& [lowerName, value] : key.values) {
            out += value.name.empty() ? "@" : quote(value.name);
            out += '=';
            char buf[32];
            if (value.type == kRegDword && value.data.size() == 4) {
                uint32_t v = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                             static_cast<uint32_t>(value.data[3]) << 24;
                std::snprintf(buf, sizeof buf, "dword:%08x", v);
                out += buf;
            } else if (value.type == kRegBinary) {
                out += "hex:" + hexList(value.data);
            } else {
                std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
                out += buf + hexList(value.data);
            }
            out += "\r\n";
        }
    }
    return out;
}

}  // namespace orvane::platform::regtext
