#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <variant>

namespace kardelo {

// A column argument: a position, or a text that is a key unless it reads as a number (then it
// is a position too, so a column keyed "3" cannot be reached by its key).
class IndexOrKey {
public:
    IndexOrKey(std::int32_t position) : m_value(position) {}
    IndexOrKey(const QString& text) : m_value(text) {}
    IndexOrKey(const char* text) : m_value(QString::fromUtf8(text)) {}

    // The position this argument stands for, or nothing when it is a key.
    std::optional<std::int32_t> position() const;
    const QString& key() const { return std::get<QString>(m_value); }

private:
    std::variant<std::int32_t, QString> m_value;
};

} // namespace kardelo
