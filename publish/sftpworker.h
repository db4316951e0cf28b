#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace kaviro {

// One helper thread for the blocking calls of an SFTP session. libssh's SFTP
// calls wait inside the library without a way out; run here, they leave the
// caller's thread free to keep the event pump going and to watch the cancel
// flag and the idle bound. The session stops a hanging call by shutting its
// connection down, which makes the library return.
class SftpWorker {
public:
    SftpWorker();
    ~SftpWorker();
    SftpWorker(const SftpWorker &) = delete;
    SftpWorker &operator=(const SftpWorker &) = delete;

    // Hands a job to the thread; the previous one must have finished.
    void start(std::function<void()> job);
    // Waits up to slice for the job's end; true when it has ended.
    bool waitFinished(std::chrono::milliseconds slice);
    // After the end: raises what the job raised, if anything.
    void rethrowFailure();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_job;
    std::exception_ptr m_failure;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace kaviro
