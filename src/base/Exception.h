#pragma once
// Root of every exception family of the program. Messages are the program's
// own bytes (Windows-1252 where they hold Portuguese letters is not assumed:
// the texts table is UTF-8 and messages built from it stay UTF-8).
//
// Several messages are built as "class name - message", so each class can
// give its own name; derive with QUORVEX_EXCEPTION to get it for free.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    virtual const char* ClassName() const noexcept { return "Exception"; }
    std::string Message() const { return what(); }
};

// The class name of any exception, std ones included, for the messages that
// carry it.
inline std::string ExceptionClassName(const std::exception& e)
{
    if (auto* own = dynamic_cast<const Exception*>(&e))
        return own->ClassName();
    return "Exception";
}

// "class name - message", the form used by start-up and workflow messages.
inline std::string ClassAndMessage(const std::exception& e, const char* separator = " - ")
{
    return ExceptionClassName(e) + separator + e.what();
}

#define QUORVEX_EXCEPTION(Name, Base)                                                                                  \
    class Name : public Base {                                                                                         \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
        const char* ClassName() const noexcept override { return #Name; }                                              \
    }
