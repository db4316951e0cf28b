#include "publish/sftpworker.h"

namespace kaviro {

SftpWorker::SftpWorker() : m_thread([this] { run(); }) {}

SftpWorker::~SftpWorker()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SftpWorker::start(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_job = std::move(job);
        m_failure = nullptr;
        m_busy = true;
    }
    m_changed.notify_all();
}

bool SftpWorker::waitFinished(std::chrono::milliseconds slice)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, slice, [this] { return !m_busy; });
}

void SftpWorker::rethrowFailure()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void SftpWorker::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || (m_busy && m_job); });
        if (m_quit)
            return;
        std::function<void()> job = std::move(m_job);
        m_job = nullptr;
        lock.unlock();
        std::exception_ptr failure;
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        m_failure = failure;
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace kaviro
