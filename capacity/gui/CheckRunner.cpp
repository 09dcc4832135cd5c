#include "CheckRunner.h"

#include "RuntimeError.h"

#include <QMetaObject>
#include <stdexcept>
#include <system_error>

namespace kardelo::capacity {

namespace {

QString describe(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const RuntimeError& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return RuntimeError::description(ErrorCode::InvalidProcedureCall);
    }
}

CheckReport failedReport(const CheckSettings& settings, const std::exception_ptr& failure)
{
    CheckReport report;
    report.outcome = CheckOutcome::Failed;
    report.readOnly = settings.readOnly;
    report.messages << describe(failure);
    return report;
}

} // namespace

// Called on the check's thread for every block: it only notes what changed.
class CheckRunner::Collector final : public CheckObserver {
public:
    explicit Collector(CheckRunner& runner) : m_runner(runner) {}

    void phaseChanged(CheckPhase phase) override
    {
        m_runner.collect([&](CheckNews& news) { news.phase = phase; });
    }
    void progress(const Progress& progress) override
    {
        m_runner.collect([&](CheckNews& news) { news.progress = progress; });
    }
    void traceUpdated(std::size_t index, const TracePoint& point) override
    {
        m_runner.collect([&](CheckNews& news) { news.trace.emplace_back(index, point); });
    }
    void badRegion(const Region& region) override
    {
        m_runner.collect([&](CheckNews& news) {
            if (!news.regions.empty()) {
                Region& last = news.regions.back();
                if (last.kind == region.kind && last.position + last.length == region.position) {
                    last.length += region.length;
                    return;
                }
            }
            news.regions.push_back(region);
        });
    }
    void message(const QString& text) override
    {
        m_runner.collect([&](CheckNews& news) { news.messages << text; });
    }

private:
    CheckRunner& m_runner;
};

CheckRunner::CheckRunner(FileSystem& fileSystem, Clock& clock, QObject* parent)
    : QObject(parent), m_fileSystem(fileSystem), m_clock(clock)
{}

CheckRunner::~CheckRunner()
{
    m_abort = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CheckRunner::collect(const std::function<void(CheckNews&)>& change)
{
    const std::lock_guard lock(m_mutex);
    change(m_news);
}

CheckNews CheckRunner::takeNews()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_news, {});
}

void CheckRunner::start(const CheckSettings& settings)
{
    if (m_running)
        return;
    if (m_thread.joinable())
        m_thread.join();
    m_abort = false;
    m_report.reset();
    m_news = {};
    m_running = true;
    std::optional<CapacityCheck> check;
    if (const std::exception_ptr refused =
            contain([&] { check.emplace(m_fileSystem, m_clock, settings); })) {
        endLater(failedReport(settings, refused));
        return;
    }
    const std::exception_ptr noThread = contain([&] {
        m_thread = std::thread([this, settings, check = std::move(*check)]() mutable {
            Collector collector(*this);
            CheckReport report;
            if (const std::exception_ptr failure =
                    contain([&] { report = check.run(collector, m_abort); }))
                report = failedReport(settings, failure);
            endLater(std::move(report));
        });
    });
    if (noThread)
        endLater(failedReport(settings, noThread));
}

void CheckRunner::endLater(CheckReport report)
{
    // Delivered on the runner's own thread, never inside start(); dropped if the runner is gone.
    QMetaObject::invokeMethod(
        this, [this, report = std::move(report)]() mutable { end(std::move(report)); },
        Qt::QueuedConnection);
}

void CheckRunner::end(CheckReport report)
{
    if (m_thread.joinable())
        m_thread.join();
    m_report = std::move(report);
    m_running = false;
    emit finished();
}

} // namespace kardelo::capacity
