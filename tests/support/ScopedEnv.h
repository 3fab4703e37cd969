// Sets (or, with a null value, removes) one environment variable for the lifetime of the
// object and restores the previous state afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace orvane::test {

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(name, value);
    }
    ~ScopedEnv() { set(name_, old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    // Windows has no setenv; an empty value there removes the variable.
    static void set(const char* name, const char* value) {
#if defined(_WIN32)
        _putenv_s(name, value != nullptr ? value : "");
#else
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
#endif
    }

    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace orvane::test
