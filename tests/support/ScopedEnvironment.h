#pragma once
// Sets an environment variable for the life of a scope and puts back what
// was there (or its absence) afterwards.
#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* Name, const std::string& Value) : Name_(Name)
    {
        if (const char* old = std::getenv(Name))
            Old_ = old;
        ::setenv(Name, Value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (Old_)
            ::setenv(Name_, Old_->c_str(), 1);
        else
            ::unsetenv(Name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* Name_;
    std::optional<std::string> Old_;
};

} // namespace testsupport
