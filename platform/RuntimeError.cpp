#include "RuntimeError.h"

namespace kardelo {

RuntimeError::RuntimeError(ErrorCode code, QString detail)
    : m_code(code), m_detail(std::move(detail))
{
    m_message = description(code);
    if (!m_detail.isEmpty())
        m_message += QStringLiteral(": ") + m_detail;
    m_what = QStringLiteral("Run-time error %1: %2").arg(number()).arg(m_message).toStdString();
}

QString RuntimeError::description(ErrorCode code)
{
    switch (code) {
    case ErrorCode::InvalidProcedureCall:
        return QStringLiteral("Invalid procedure call or argument");
    case ErrorCode::Overflow:
        return QStringLiteral("Overflow");
    case ErrorCode::OutOfMemory:
        return QStringLiteral("Out of memory");
    case ErrorCode::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case ErrorCode::DivisionByZero:
        return QStringLiteral("Division by zero");
    case ErrorCode::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case ErrorCode::BadFileNameOrNumber:
        return QStringLiteral("Bad file name or number");
    case ErrorCode::FileNotFound:
        return QStringLiteral("File not found");
    case ErrorCode::DeviceUnavailable:
        return QStringLiteral("Device unavailable");
    case ErrorCode::PermissionDenied:
        return QStringLiteral("Permission denied");
    case ErrorCode::PathFileAccessError:
        return QStringLiteral("Path/File access error");
    case ErrorCode::ItemsNeedColumns:
        return QStringLiteral("Kann Items nicht hinzufügen, wenn keine Spalten definiert wurden!");
    case ErrorCode::ColumnsFixedWhileItems:
        return QStringLiteral("Kann Spalten nicht hinzufügen oder entfernen wenn Items in Liste!");
    case ErrorCode::KeyNotUnique:
        return QStringLiteral("Objekt nicht eindeutig in Aufzählung!");
    }
    return QStringLiteral("Application-defined or object-defined error");
}

} // namespace kardelo
