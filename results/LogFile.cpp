#include "LogFile.h"

#include <cerrno>
#include <vector>

namespace kardelo::results {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr qsizetype MinimumLineLength = 11;
constexpr std::size_t ReadBlockBytes = 64 * 1024;

void emitLine(QByteArrayView line, const LineSplitter::LineHandler& onLine)
{
    if (line.endsWith('\r'))
        line.chop(1);
    onLine(line);
}

int writeAll(FileSystem& fileSystem, FileHandle handle, const QByteArray& bytes)
{
    const TransferResult written =
        fileSystem.write(handle, reinterpret_cast<const std::byte*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()));
    return written.ok ? 0 : written.error;
}

} // namespace

QByteArray toWindows1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t code : text.toUcs4()) {
        char byte = '?';
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            byte = static_cast<char>(code);
        } else {
            for (std::size_t i = 0; i < HighControls.size(); ++i) {
                const auto mapped =
                    HighControls[i] ? char32_t{HighControls[i]} : char32_t(0x80 + i);
                if (mapped == code) {
                    byte = static_cast<char>(0x80 + i);
                    break;
                }
            }
        }
        bytes.append(byte);
    }
    return bytes;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        const char16_t high = value >= 0x80 && value < 0xA0 ? HighControls[value - 0x80] : 0;
        *out++ = QChar(high ? high : char16_t(value));
    }
    return text;
}

std::optional<LogRecord> parseRecord(QByteArrayView line)
{
    if (line.size() < MinimumLineLength || line.count('|') != FieldCount - 1)
        return std::nullopt;
    LogRecord record;
    qsizetype from = 0;
    for (QString& field : record) {
        qsizetype to = line.indexOf('|', from);
        if (to < 0)
            to = line.size();
        field = fromWindows1252(line.sliced(from, to - from));
        from = to + 1;
    }
    return record;
}

void LineSplitter::feed(QByteArrayView bytes, const LineHandler& onLine)
{
    qsizetype start = 0;
    for (qsizetype end; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArrayView piece = bytes.sliced(start, end - start);
        if (m_partial.isEmpty()) {
            emitLine(piece, onLine);
        } else {
            m_partial += piece;
            emitLine(m_partial, onLine);
            m_partial.truncate(0);
        }
    }
    m_partial += bytes.sliced(start);
}

void LineSplitter::finish(const LineHandler& onLine)
{
    if (!m_partial.isEmpty())
        emitLine(m_partial, onLine);
    m_partial.truncate(0);
}

LogReadResult readLog(FileSystem& fileSystem, const QString& path,
                      const std::function<void(const LogRecord&)>& onRecord)
{
    const OpenResult opened = fileSystem.openFile(path, FileAccess::Read);
    if (opened.handle == InvalidHandle) {
        if (opened.error == ENOENT)
            return {LogReadOutcome::Missing, ENOENT};
        if (opened.error == NotARegularFile)
            return {LogReadOutcome::NotARegularFile, NotARegularFile};
        return {LogReadOutcome::Failed, opened.error};
    }
    const ScopedHandle log(fileSystem, opened.handle);
    LineSplitter lines;
    const auto onLine = [&](QByteArrayView line) {
        if (const auto record = parseRecord(line))
            onRecord(*record);
    };
    std::vector<std::byte> block(ReadBlockBytes);
    for (;;) {
        const TransferResult got = fileSystem.read(log.get(), block.data(), block.size());
        lines.feed(QByteArrayView(reinterpret_cast<const char*>(block.data()),
                                  static_cast<qsizetype>(got.moved)),
                   onLine);
        if (!got.ok && got.error != ShortTransfer) {
            lines.finish(onLine);
            return {LogReadOutcome::Failed, got.error};
        }
        if (got.moved == 0)
            break;
    }
    lines.finish(onLine);
    return {LogReadOutcome::Read, 0};
}

QList<LogRecord> recordsOf(QByteArrayView bytes)
{
    QList<LogRecord> records;
    LineSplitter lines;
    const auto onLine = [&](QByteArrayView line) {
        if (const auto record = parseRecord(line))
            records.append(*record);
    };
    lines.feed(bytes, onLine);
    lines.finish(onLine);
    return records;
}

int appendToLog(FileSystem& fileSystem, const QString& path, const QByteArray& line)
{
    // A read-only log still grants reading: through that open it is checked and made writable.
    const OpenResult reading = fileSystem.openFile(path, FileAccess::Read);
    if (reading.handle == InvalidHandle)
        return reading.error;
    const ScopedHandle checked(fileSystem, reading.handle);
    const std::optional<FileIdentity> identity = fileSystem.identity(checked.get());
    if (!identity)
        return EIO;
    if (identity->links != 1)
        return NotARegularFile;
    if (const int error = fileSystem.setWritable(checked.get(), true))
        return error;

    const OpenResult appending = fileSystem.openFile(path, FileAccess::Append);
    if (appending.handle == InvalidHandle)
        return appending.error;
    const ScopedHandle log(fileSystem, appending.handle);
    // The name must still lead to the file just checked, not to one put in its place.
    if (fileSystem.identity(log.get()) != identity)
        return NotARegularFile;
    if (const int error = writeAll(fileSystem, log.get(), line))
        return error;
    if (const int error = fileSystem.flush(log.get()))
        return error;
    return fileSystem.setWritable(log.get(), false);
}

int createLog(FileSystem& fileSystem, const QString& path, const QByteArray& bytes)
{
    const OpenResult created = fileSystem.openFile(path, FileAccess::CreateNew);
    if (created.handle == InvalidHandle)
        return created.error;
    const ScopedHandle log(fileSystem, created.handle);
    const int written = writeAll(fileSystem, log.get(), bytes);
    const int readOnly = fileSystem.setWritable(log.get(), false);
    return written ? written : readOnly;
}

} // namespace kardelo::results
