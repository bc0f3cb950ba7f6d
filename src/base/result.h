#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace tarvok {

/// What kind of failure an Error is, for the callers that act differently on one kind.
/// Most failures are only shown, and carry Other.
enum class ErrorCode {
    Other,
    /// A project's sampling rate differs from the one it is to be merged into.
    RateMismatch,
    /// What was asked for does not exist (an HTTP server's 404).
    NotFound,
    /// The user (or a Progress callback) asked the operation to stop; nothing half-done stays.
    Cancelled,
    /// A write failed because the disk (or the user's quota) is full.
    DiskFull,
    /// A write or read failed for another reason of the file system (permission, I/O error).
    FileError,
    /// Another process holds what the operation needs (the edit lock of a project).
    Busy,
    /// An answer or input was larger than its bound allows (an HTTP body over its size).
    TooLarge,
};

/// The failure side of a Result: a message that can be shown to the user as it stands, and
/// the kind of failure for a caller that decides by it (never by the message).
struct Error {
    std::string Message;
    ErrorCode Code = ErrorCode::Other;
};

/// Wraps a message as the failure value of any Result.
inline Error Fail(std::string pMessage, ErrorCode pCode = ErrorCode::Other)
{
    return Error { std::move(pMessage), pCode };
}

/// A value or an Error, with members named like std::expected.
template <class T> class [[nodiscard]] Result {
public:
    Result(T pValue)
        : m_(std::in_place_index<0>, std::move(pValue))
    {
    }
    Result(Error pError)
        : m_(std::in_place_index<1>, std::move(pError))
    {
    }

    bool has_value() const { return m_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value()
    {
        assert(has_value());
        return std::get<0>(m_);
    }
    const T& value() const
    {
        assert(has_value());
        return std::get<0>(m_);
    }
    T value_or(T pOther) const { return has_value() ? std::get<0>(m_) : std::move(pOther); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const
    {
        assert(!has_value());
        return std::get<1>(m_);
    }

private:
    std::variant<T, Error> m_;
};

/// Success or an Error, for operations that return nothing else.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error pError)
        : error_(std::move(pError))
        , failed_(true)
    {
    }
    bool has_value() const { return !failed_; }
    explicit operator bool() const { return has_value(); }
    const Error& error() const
    {
        assert(failed_);
        return error_;
    }

private:
    Error error_;
    bool failed_ = false;
};

using Status = Result<void>;

} // namespace tarvok
