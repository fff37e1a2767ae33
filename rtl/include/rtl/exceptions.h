#pragma once
// The exception kinds of the runtime layer. Every failure that the system
// reports as a message carries its text exactly as the user will see it.
#include <concepts>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace ax {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

#define AX_EXCEPTION(Name, Base)                                                                   \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
    }

AX_EXCEPTION(EAbort, Exception);
AX_EXCEPTION(EStreamError, Exception);
AX_EXCEPTION(EReadError, EStreamError);
AX_EXCEPTION(EWriteError, EStreamError);
AX_EXCEPTION(EFOpenError, EStreamError);
AX_EXCEPTION(EFCreateError, EStreamError);
AX_EXCEPTION(EConvertError, Exception);
AX_EXCEPTION(EOutOfMemory, Exception);
AX_EXCEPTION(EInvalidOperation, Exception);
AX_EXCEPTION(EAssertionFailed, Exception);
AX_EXCEPTION(EListError, Exception);
AX_EXCEPTION(EStringListError, EListError);
AX_EXCEPTION(EThread, Exception);
AX_EXCEPTION(EIniFileException, Exception);

#undef AX_EXCEPTION

// A save that failed before anything replaced the file: the message names
// the file; the reason alone is kept for callers that name it themselves.
class ESaveError : public EFCreateError {
public:
    ESaveError(const std::string& fileName, std::string reason)
        : EFCreateError("Cannot save file \"" + fileName + "\": " + reason), reason_(std::move(reason)) {}
    const std::string& Reason() const noexcept { return reason_; }

private:
    std::string reason_;
};

inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SOutOfMemory = "Out of memory";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SListCapacityError = "List capacity out of bounds (%d)";
inline constexpr const char* SDuplicateString = "String list does not allow duplicates";
inline constexpr const char* SSortedListError = "Operation not allowed on sorted string list";

// Misuse that the system reports as a failed assertion raises with exactly
// the given text; it is never compiled out. Checks sit in hot loops (the
// node pool's release), so a check that holds costs only the test: the text
// is a plain string, or a callable that makes it only on failure.
inline void Assert(bool condition, const char* message) {
    if (!condition) [[unlikely]] throw EAssertionFailed(message);
}
inline void Assert(bool condition, const std::string& message) {
    if (!condition) [[unlikely]] throw EAssertionFailed(message);
}
template <std::invocable F>
    requires std::convertible_to<std::invoke_result_t<F>, std::string>
void Assert(bool condition, F&& makeMessage) {
    if (!condition) [[unlikely]] throw EAssertionFailed(std::string(makeMessage()));
}

} // namespace ax
