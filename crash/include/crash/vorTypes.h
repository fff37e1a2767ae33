#pragma once
// The crash reporter's own exception class. It depends on nothing else so
// that the reporter works before and without the rest of the runtime.
#include <exception>
#include <string>

namespace ax {

class VorException : public std::exception {
public:
    explicit VorException(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};

// Message of the exception made for a fault when the runtime's own
// exception classes are not linked in.
inline constexpr char vorUnknownExceptionMessage[] =
    "Unknown exception. If you want to know more, you have to add SysUtils to your project.";

} // namespace ax
