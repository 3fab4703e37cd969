// A small writer of JSON text for the --json output of list and info.
#pragma once

#include <string>

namespace cli {

class JsonWriter {
  public:
    void beginObject(const char* key = nullptr) { open(key, '{'); }
    void endObject() { close('}'); }
    void beginArray(const char* key = nullptr) { open(key, '['); }
    void endArray() { close(']'); }
    void value(const char* key, const std::string& text);
    void value(const char* key, const char* text) { value(key, std::string(text)); }
    void value(const char* key, long number);
    void value(const char* key, int number) { value(key, static_cast<long>(number)); }
    void value(const char* key, double number);
    void value(const char* key, bool flag);
    // The document so far; complete once every object and array is closed.
    const std::string& text() const { return out_; }

  private:
    void open(const char* key, char bracket);
    void close(char bracket);
    void member(const char* key);
    static std::string quote(const std::string& text);

    std::string out_;
    bool first_ = true;  // no member yet at the current level
};

}  // namespace cli
