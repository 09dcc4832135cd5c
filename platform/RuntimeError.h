#pragma once

#include <QString>
#include <exception>
#include <new>
#include <string>

namespace kardelo {

// The numbered run-time errors through which the program's procedures report failures to
// the caller that decides what they mean (a test's end-of-test path, a host window).
enum class ErrorCode : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    TypeMismatch = 13,
    BadFileNameOrNumber = 52, // also: the drive itself cannot be reached
    FileNotFound = 53,
    DeviceUnavailable = 68,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    // The list control's own errors.
    ItemsNeedColumns = 31,
    ColumnsFixedWhileItems = 33,
    KeyNotUnique = 300,
};

class RuntimeError : public std::exception {
public:
    explicit RuntimeError(ErrorCode code, QString detail = {});

    ErrorCode code() const noexcept { return m_code; }
    int number() const noexcept { return static_cast<int>(m_code); }
    // The error's standard description, followed by the detail where one was given.
    const QString& message() const noexcept { return m_message; }
    // What the system said about the failure (its error text, a path), or empty.
    const QString& detail() const noexcept { return m_detail; }
    const char* what() const noexcept override { return m_what.c_str(); }

    static QString description(ErrorCode code);

private:
    ErrorCode m_code;
    QString m_detail;
    QString m_message;
    std::string m_what;
};

// Runs one step whose run-time errors are to be skipped: the next step runs regardless.
// Only the program's own error type (and a failed allocation) is swallowed; anything else
// is a defect and must surface.
template <typename Step> void ignoreErrors(Step&& step)
{
    try {
        step();
    } catch (const RuntimeError&) {
    } catch (const std::bad_alloc&) {
    }
}

// Runs a clean-up step that must never end the program, whatever it throws. Returns the
// error it contained, if any, so the caller can still tell the user; a caller with nothing to
// tell uses containAndLog (EventLog.h), so that no failure is ever lost without a trace.
template <typename Step> [[nodiscard]] std::exception_ptr contain(Step&& step) noexcept
{
    try {
        step();
        return {};
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace kardelo
