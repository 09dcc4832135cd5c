#include "CapacityCheck.h"

#include "BlockTransfer.h"
#include "CheckFiles.h"
#include "CheckMessages.h"
#include "DriveRoot.h"
#include "PatternPipeline.h"
#include "PhaseMeter.h"
#include "RuntimeError.h"
#include "TestFiles.h"
#include "TestMessages.h"
#include "TestRun.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <random>
#include <stdexcept>
#include <system_error>

namespace kardelo::capacity {

namespace {

// Enough buffers that one is being filled or checked while another is on its way to or from
// the medium, and a third is ready to go.
constexpr std::size_t Slots = 3;
constexpr std::uint64_t TracePoints = 100;
constexpr std::uint64_t NoLimit = std::numeric_limits<std::uint64_t>::max();

std::uint64_t freshRunNumber()
{
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
}

class CheckRun {
public:
    CheckRun(FileSystem& fileSystem, Clock& clock, const CheckSettings& settings,
             CheckObserver& observer, const std::atomic<bool>& abortRequested)
        : m_fs(fileSystem), m_clock(clock), m_settings(settings), m_observer(observer),
          m_abort(abortRequested), m_probe(UnitSize)
    {
        m_frequency = m_clock.frequency().value_or(0);
    }

    CheckReport run();

private:
    bool prepare();
    bool planWriting();
    bool planReading();
    void writePhase();
    bool startFile(std::uint32_t number, OpenFile& file);
    void readPhase();
    void ensureStillThere(std::size_t currentFile, FileHandle currentHandle);
    void ensureFirstUnitReadable();
    void deleteFiles();

    void say(const QString& text);
    bool refuse(const QString& text);
    void end(CheckOutcome outcome);
    bool ended() const { return m_ended.has_value(); }
    bool abortRequested() const { return m_abort.load(std::memory_order_relaxed); }
    void setPhase(CheckPhase phase);
    void reportProgress(const PhaseMeter& meter, std::uint64_t total);
    double elapsedSeconds() const;
    TracePoint& tracePoint(std::uint64_t index);
    void absorb(PatternJob&& job, std::vector<std::size_t>& freeSlots);
    void merge(const Tally& found);
    std::vector<std::uint64_t> fileStarts() const;
    std::uint64_t traceIntervalFor(std::uint64_t total) const;

    FileSystem& m_fs;
    Clock& m_clock;
    const CheckSettings& m_settings;
    CheckObserver& m_observer;
    const std::atomic<bool>& m_abort;
    std::int64_t m_frequency = 0;
    std::int64_t m_started = 0;
    CheckPhase m_phase = CheckPhase::Preparing;

    CheckReport m_report;
    std::optional<CheckOutcome> m_ended;
    std::optional<DriveRoot> m_drive;
    std::optional<FolderLock> m_folderLock;
    std::vector<CheckFile> m_files;
    std::uint64_t m_writeLimit = NoLimit;
    // Where a unit was last read back fine: reading it again tells a failing region from a
    // medium that is gone.
    struct Position {
        std::size_t file;
        std::uint64_t offset;
    };
    std::optional<Position> m_knownReadable;
    AlignedBuffer m_probe;
};

CheckReport CheckRun::run()
{
    m_started = m_clock.counter();
    m_report.readOnly = m_settings.readOnly;
    m_report.blockBytes = m_settings.blockBytes;
    try {
        if (prepare()) {
            if (!m_settings.readOnly)
                writePhase();
            if (!ended())
                readPhase();
        }
    } catch (const RuntimeError& error) {
        if (error.code() == ErrorCode::BadFileNameOrNumber) {
            end(CheckOutcome::DriveGone);
            say(kardelo::messages::DriveAccess);
        } else {
            end(CheckOutcome::Failed);
            say(error.detail().isEmpty() ? error.message() : error.detail());
        }
    } catch (const std::bad_alloc&) {
        end(CheckOutcome::Failed);
        say(RuntimeError(ErrorCode::OutOfMemory).message());
    } catch (const std::system_error& error) { // no helper thread to be had
        end(CheckOutcome::Failed);
        say(QString::fromLocal8Bit(error.what()));
    }
    m_report.outcome = m_ended.value_or(CheckOutcome::Completed);
    // A refused check found nothing of its own to delete (a kept check's files stay for the
    // next try), and a gone medium has nothing left to delete from.
    if (!m_settings.keepFiles && m_report.outcome != CheckOutcome::Refused &&
        m_report.outcome != CheckOutcome::DriveGone)
        deleteFiles();
    m_report.files = static_cast<std::uint32_t>(m_files.size());
    m_report.elapsedSeconds = elapsedSeconds();
    return std::move(m_report);
}

void CheckRun::say(const QString& text)
{
    m_report.messages << text;
    m_observer.message(text);
}

bool CheckRun::refuse(const QString& text)
{
    say(text);
    end(CheckOutcome::Refused);
    return false;
}

void CheckRun::end(CheckOutcome outcome)
{
    if (!m_ended)
        m_ended = outcome;
}

void CheckRun::setPhase(CheckPhase phase)
{
    m_phase = phase;
    m_observer.phaseChanged(phase);
}

double CheckRun::elapsedSeconds() const
{
    return m_frequency > 0 ? static_cast<double>(m_clock.counter() - m_started) /
                                 static_cast<double>(m_frequency)
                           : 0.0;
}

bool CheckRun::prepare()
{
    const QString root = driveRootOf(m_settings.folder);
    m_drive.emplace(m_fs, root);
    m_drive->ensureReachable();
    const std::uint64_t device = m_fs.directoryStatus(root).device;
    for (const QString& folder : m_settings.protectedFolders) {
        const DirectoryStatus status = m_fs.directoryStatus(folder);
        if (status.reachable && status.device == device)
            return refuse(messages::protectedFileSystem(m_settings.folder, folder));
    }
    // Held until the check has deleted its files: a speed test or another check on this
    // folder is refused meanwhile, and this check refuses to start beside one.
    m_folderLock.emplace(m_fs, root);
    if (m_folderLock->heldByAnotherRun())
        return refuse(kardelo::messages::OtherRunActive);
    return m_settings.readOnly ? planReading() : planWriting();
}

bool CheckRun::planWriting()
{
    if (const auto blocked = clearEarlierFiles(m_fs, *m_drive))
        return refuse(*blocked);
    const std::optional<DiskSpace> space = m_fs.diskSpace(m_drive->path());
    if (!space) {
        m_drive->ensureReachable();
        throw RuntimeError(ErrorCode::DeviceUnavailable, m_drive->path());
    }
    if (space->availableToCaller < UnitSize)
        return refuse(messages::tooLittleSpace(space->availableToCaller));
    if (m_settings.sizeLimit)
        m_writeLimit = std::max<std::uint64_t>(wholeUnits(*m_settings.sizeLimit), UnitSize);
    m_report.plannedBytes = std::min(m_writeLimit, wholeUnits(space->availableToCaller));
    m_report.run = freshRunNumber();
    return true;
}

bool CheckRun::planReading()
{
    KeptFiles kept = findKeptFiles(m_fs, *m_drive, m_settings.blockBytes);
    for (const QString& note : kept.notes)
        say(note);
    if (kept.refusal)
        return refuse(*kept.refusal);
    m_files = std::move(kept.files);
    m_report.run = kept.run.value_or(0);
    std::uint64_t found = 0;
    for (const CheckFile& file : m_files)
        found += file.bytes;
    m_report.plannedBytes =
        m_settings.sizeLimit ? std::min(found, wholeUnits(*m_settings.sizeLimit)) : found;
    return true;
}

std::uint64_t CheckRun::traceIntervalFor(std::uint64_t total) const
{
    // Whole blocks, so that every block counts towards exactly one point.
    const std::uint64_t block = m_settings.blockBytes;
    const std::uint64_t interval =
        std::max(m_settings.minimumTraceInterval, (total + TracePoints - 1) / TracePoints);
    return (interval + block - 1) / block * block;
}

TracePoint& CheckRun::tracePoint(std::uint64_t index)
{
    auto& trace = m_report.trace;
    while (trace.size() <= index)
        trace.push_back({trace.size() * m_report.traceInterval, 0, {}, {}});
    return trace[index];
}

void CheckRun::reportProgress(const PhaseMeter& meter, std::uint64_t total)
{
    CheckObserver::Progress progress;
    progress.phase = m_phase;
    progress.bytesDone = meter.bytes();
    progress.bytesTotal = std::max(total, meter.bytes());
    progress.bytesPerSecond = meter.currentBytesPerSecond();
    progress.elapsedSeconds = elapsedSeconds();
    const double rate = meter.averageBytesPerSecond();
    if (rate > 0) {
        const auto left = static_cast<double>(progress.bytesTotal - progress.bytesDone);
        // Until the medium has read anything, reading is assumed to go as fast as writing.
        const double readingAfterwards =
            m_phase == CheckPhase::Writing ? static_cast<double>(progress.bytesTotal) : 0.0;
        progress.secondsLeft = (left + readingAfterwards) / rate;
    }
    m_observer.progress(progress);
}

void CheckRun::writePhase()
{
    setPhase(CheckPhase::Writing);
    m_report.traceInterval = traceIntervalFor(m_report.plannedBytes);
    PhaseMeter meter(m_clock, m_report.traceInterval,
                     [this](std::uint64_t index, std::uint64_t bytes, double seconds) {
                         TracePoint& point = tracePoint(index);
                         point.length = bytes;
                         if (seconds > 0)
                             point.writeBytesPerSecond = static_cast<double>(bytes) / seconds;
                         m_observer.traceUpdated(index, point);
                     });
    BlockPlan plan(m_writeLimit, m_settings.maxFileBytes, m_settings.blockBytes);
    PatternPipeline pipeline(Slots, m_settings.blockBytes, m_report.run);
    std::vector<std::size_t> freeSlots;
    const auto allSlotsFree = [&] {
        freeSlots.clear();
        for (std::size_t slot = 0; slot < pipeline.slotCount(); ++slot)
            freeSlots.push_back(slot);
    };
    const auto fillAhead = [&] {
        while (!freeSlots.empty()) {
            const std::optional<Stretch> stretch = plan.next();
            if (!stretch)
                return;
            PatternJob job;
            job.work = PatternWork::Fill;
            job.slot = freeSlots.back();
            job.stretches = {*stretch};
            freeSlots.pop_back();
            pipeline.submit(std::move(job));
        }
    };
    const auto drain = [&] {
        while (pipeline.outstanding() > 0)
            if (PatternJob job = pipeline.next(); job.failure)
                std::rethrow_exception(job.failure);
    };

    OpenFile file(m_fs);
    meter.start();
    allSlotsFree();
    fillAhead();
    bool writing = true;
    while (writing && pipeline.outstanding() > 0) {
        PatternJob job = pipeline.next();
        if (job.failure)
            std::rethrow_exception(job.failure);
        if (abortRequested()) {
            end(CheckOutcome::Aborted);
            break;
        }
        const Stretch& stretch = job.stretches.front();
        if (stretch.fileNumber != file.number()) {
            file.finish();
            if (!startFile(stretch.fileNumber, file))
                break;
        }
        const BlockWritten written =
            writeBlock(m_fs, *m_drive, file.handle(), pipeline.buffer(job.slot), stretch);
        m_files.back().bytes += written.landed;
        m_report.bytesWritten += written.landed;
        meter.blockDone(stretch.globalPosition, written.landed);
        reportProgress(meter, m_report.plannedBytes);
        switch (written.end) {
        case WriteEnd::None:
            freeSlots.push_back(job.slot);
            fillAhead();
            break;
        case WriteEnd::Full:
            m_report.mediumFull = true;
            writing = false;
            break;
        case WriteEnd::FileFull:
            // The file system allows no larger file: the rest goes into the next one.
            if (stretch.fileOffset + written.landed == 0) {
                m_report.mediumFull = true;
                writing = false;
                break;
            }
            drain();
            plan.continueInFile(stretch.fileNumber + 1, stretch.globalPosition + written.landed);
            allSlotsFree();
            fillAhead();
            break;
        case WriteEnd::Failed:
            file.finish();
            ensureFirstUnitReadable();
            m_report.writeFailed = true;
            say(transferFailureText(m_fs, *m_drive,
                                    {TestKind::SingleFile, Direction::Write, written.error,
                                     static_cast<std::int64_t>(written.attempted), written.moved,
                                     m_files.back().path}));
            writing = false;
            break;
        }
    }
    drain();
    file.finish();
    meter.stop();
    m_report.writing = PhaseFigures{m_report.bytesWritten, meter.seconds()};
    // A file the full medium took nothing into holds nothing to check or keep.
    if (m_report.mediumFull && !m_files.empty() && m_files.back().bytes == 0) {
        clearTestFileName(m_fs, *m_drive, m_files.back().path);
        m_files.pop_back();
    }
    if (m_report.bytesWritten == 0 && !ended()) {
        // Free space the file system could not hand out after all.
        const auto space = m_fs.diskSpace(m_drive->path());
        say(messages::tooLittleSpace(space ? space->availableToCaller : 0));
        end(CheckOutcome::Failed);
    }
}

bool CheckRun::startFile(std::uint32_t number, OpenFile& file)
{
    const QString path = m_drive->filePath(checkFileName(number));
    const NameState state = clearTestFileName(m_fs, *m_drive, path);
    if (const auto blocked = blockedNameText(state, path)) {
        say(*blocked);
        end(CheckOutcome::Failed);
        return false;
    }
    const OpenResult opened = m_fs.openDirect(path, OpenMode::CreateForWrite);
    if (opened.handle == InvalidHandle) {
        if (meansDriveGone(opened.error))
            driveGone();
        // No room for one more file is a full medium; with no file yet, there is no room at all.
        if (number > 1 && meansFull(opened.error)) {
            m_report.mediumFull = true;
            return false;
        }
        if (opened.error == ENOSPC || opened.error == EDQUOT) {
            const auto space = m_fs.diskSpace(m_drive->path());
            say(messages::tooLittleSpace(space ? space->availableToCaller : 0));
            end(CheckOutcome::Failed);
            return false;
        }
        const std::optional<QString> text = openFailureText(*m_drive, opened.error);
        if (text)
            say(*text);
        end(text ? CheckOutcome::Failed : CheckOutcome::Aborted);
        return false;
    }
    m_files.push_back({number, path, 0});
    file.take(number, opened.handle);
    return true;
}

void CheckRun::absorb(PatternJob&& job, std::vector<std::size_t>& freeSlots)
{
    if (job.failure)
        std::rethrow_exception(job.failure);
    freeSlots.push_back(job.slot);
    merge(job.found);
}

void CheckRun::merge(const Tally& found)
{
    Tally& tally = m_report.tally;
    tally.record(UnitKind::Intact, 0, found.units(UnitKind::Intact));
    if (const auto alias = found.shortestAlias())
        tally.recordAlias(*alias);
    for (const Region& region : found.regions()) {
        tally.record(region.kind, region.position, region.length / UnitSize);
        m_observer.badRegion(region);
    }
}

std::vector<std::uint64_t> CheckRun::fileStarts() const
{
    std::vector<std::uint64_t> starts;
    std::uint64_t global = 0;
    for (const CheckFile& file : m_files) {
        if (file.number == 0)
            continue;
        if (starts.size() < file.number)
            starts.resize(file.number, NoFileStart);
        starts[file.number - 1] = global;
        global += file.bytes;
    }
    return starts;
}

void CheckRun::readPhase()
{
    setPhase(CheckPhase::Reading);
    const std::uint64_t total = m_settings.readOnly ? m_report.plannedBytes : m_report.bytesWritten;
    if (m_settings.readOnly)
        m_report.traceInterval = traceIntervalFor(total);
    PhaseMeter meter(m_clock, m_report.traceInterval,
                     [this](std::uint64_t index, std::uint64_t bytes, double seconds) {
                         TracePoint& point = tracePoint(index);
                         point.length = std::max(point.length, bytes);
                         if (seconds > 0)
                             point.readBytesPerSecond = static_cast<double>(bytes) / seconds;
                         m_observer.traceUpdated(index, point);
                     });
    PatternPipeline pipeline(Slots, m_settings.blockBytes, m_report.run, fileStarts());
    std::vector<std::size_t> freeSlots;
    for (std::size_t slot = 0; slot < pipeline.slotCount(); ++slot)
        freeSlots.push_back(slot);

    BlockReader reader(m_fs, *m_drive, m_clock);
    meter.start();
    std::uint64_t global = 0;
    for (std::size_t index = 0; index < m_files.size() && global < total; ++index) {
        const CheckFile& file = m_files[index];
        const std::uint64_t size = std::min(file.bytes, total - global);
        if (size == 0)
            continue;
        if (abortRequested()) {
            end(CheckOutcome::Aborted);
            break;
        }
        const OpenResult opened = m_fs.openDirect(file.path, OpenMode::ExistingForRead);
        if (opened.handle == InvalidHandle) {
            if (meansDriveGone(opened.error))
                driveGone();
            m_drive->ensureReachable();
            // A file that vanished or cannot be opened gives none of its data back.
            say(messages::cannotOpenForReading(file.path, m_fs.errorText(opened.error)));
            Tally lost;
            lost.recordUnreadable(global, size);
            merge(lost);
            global += size;
            continue;
        }
        const ScopedHandle handle(m_fs, opened.handle);
        for (std::uint64_t offset = 0; offset < size;) {
            if (abortRequested()) {
                end(CheckOutcome::Aborted);
                break;
            }
            if (freeSlots.empty())
                absorb(pipeline.next(), freeSlots);
            const std::size_t slot = freeSlots.back();
            freeSlots.pop_back();
            const auto length = static_cast<std::size_t>(
                std::min<std::uint64_t>(m_settings.blockBytes, size - offset));
            PatternJob job;
            job.work = PatternWork::Verify;
            job.slot = slot;
            job.stretches = reader.read(handle.get(), pipeline.buffer(slot),
                                        {0, length, file.number, offset, global + offset});
            const bool anyDelivered = std::any_of(job.stretches.begin(), job.stretches.end(),
                                                  [](const Stretch& s) { return s.delivered; });
            if (anyDelivered) {
                const auto last = std::find_if(job.stretches.rbegin(), job.stretches.rend(),
                                               [](const Stretch& s) { return s.delivered; });
                m_knownReadable = Position{index, offset + last->bufferOffset};
            } else {
                ensureStillThere(index, handle.get());
            }
            meter.blockDone(global + offset, length);
            pipeline.submit(std::move(job));
            reportProgress(meter, total);
            offset += length;
        }
        global += size;
        if (ended())
            break;
    }
    while (pipeline.outstanding() > 0)
        absorb(pipeline.next(), freeSlots);
    meter.stop();
    m_report.reading = PhaseFigures{meter.bytes(), meter.seconds()};
}

void CheckRun::ensureStillThere(std::size_t currentFile, FileHandle currentHandle)
{
    // A whole block failed. If a unit that read fine before fails too, the medium is gone
    // (pulled out while the file system still answers from memory), not one region of it.
    if (!m_knownReadable)
        return;
    const CheckFile& file = m_files[m_knownReadable->file];
    std::optional<ScopedHandle> other;
    FileHandle handle = currentHandle;
    if (m_knownReadable->file != currentFile) {
        const OpenResult opened = m_fs.openDirect(file.path, OpenMode::ExistingForRead);
        if (opened.handle == InvalidHandle)
            driveGone();
        other.emplace(m_fs, opened.handle);
        handle = opened.handle;
    }
    if (!m_fs.readAt(handle, m_probe.data(), UnitSize, m_knownReadable->offset).ok)
        driveGone();
}

void CheckRun::ensureFirstUnitReadable()
{
    // A write failed. A medium pulled out while the file system still answers fails every
    // write from then on; if it cannot give back the first unit either, it is gone, and
    // reading it all back would only count its absence as data loss.
    const CheckFile& first = m_files.front();
    if (first.bytes == 0)
        return;
    const OpenResult opened = m_fs.openDirect(first.path, OpenMode::ExistingForRead);
    if (opened.handle == InvalidHandle)
        driveGone();
    const ScopedHandle handle(m_fs, opened.handle);
    if (!m_fs.readAt(handle.get(), m_probe.data(), UnitSize, 0).ok)
        driveGone();
}

void CheckRun::deleteFiles()
{
    if (m_files.empty())
        return;
    setPhase(CheckPhase::Deleting);
    for (const CheckFile& file : m_files) {
        const std::exception_ptr failure =
            contain([&] { clearTestFileName(m_fs, *m_drive, file.path); });
        if (const auto text = cleanupFailureText(failure, file.path)) {
            say(*text);
            if (*text == kardelo::messages::DriveAccess)
                return;
        }
    }
}

} // namespace

QStringList defaultProtectedFolders()
{
    return {QStringLiteral("/"), QDir::homePath()};
}

CapacityCheck::CapacityCheck(FileSystem& fileSystem, Clock& clock, CheckSettings settings)
    : m_fileSystem(fileSystem), m_clock(clock), m_settings(std::move(settings))
{
    if (m_settings.blockBytes < UnitSize || m_settings.blockBytes % UnitSize != 0)
        throw std::invalid_argument("the block size is no whole number of units");
    if (m_settings.maxFileBytes % UnitSize != 0 || m_settings.maxFileBytes < m_settings.blockBytes)
        throw std::invalid_argument("a file must hold whole units and at least one block");
}

CheckReport CapacityCheck::run(CheckObserver& observer, const std::atomic<bool>& abortRequested)
{
    return CheckRun(m_fileSystem, m_clock, m_settings, observer, abortRequested).run();
}

QString CapacityCheck::fileName(std::uint32_t number)
{
    return checkFileName(number);
}

} // namespace kardelo::capacity
