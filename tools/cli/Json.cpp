#include "Json.h"

#include <cmath>
#include <cstdio>

namespace cli {

void JsonWriter::member(const char* key) {
    if (!first_) out_ += ',';
    first_ = false;
    if (key != nullptr) out_ += quote(key) + ':';
}

void JsonWriter::open(const char* key, char bracket) {
    member(key);
    out_ += bracket;
    first_ = true;
}

void JsonWriter::close(char bracket) {
    out_ += bracket;
    first_ = false;
}

void JsonWriter::value(const char* key, const std::string& text) {
    member(key);
    out_ += quote(text);
}

void JsonWriter::value(const char* key, long number) {
    member(key);
    out_ += std::to_string(number);
}

void JsonWriter::value(const char* key, double number) {
    member(key);
    if (!std::isfinite(number)) {
        out_ += "null";  // JSON has no infinities or NaN
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", number);
    out_ += buf;
}

void JsonWriter::value(const char* key, bool flag) {
    member(key);
    out_ += flag ? "true" : "false";
}

std::string JsonWriter::quote(const std::string& text) {
    std::string q = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                q += "\\\"";
                break;
            case '\\':
                q += "\\\\";
                break;
            case '\n':
                q += "\\n";
                break;
            case '\t':
                q += "\\t";
                break;
            default:
                if (u < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", u);
                    q += buf;
                } else {
                    q += c;  // UTF-8 passes through
                }
        }
    }
    return q + '"';
}

}  // namespace cli
