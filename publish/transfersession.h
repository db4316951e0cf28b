#pragma once

#include "settings/settings.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace kaviro {

// One upload session as the Uploader drives it, whatever protocol carries
// it, so that another protocol (SFTP) can sit behind the same steps.
class TransferSession {
public:
    // After every send of file data: bytes of the current file sent so far
    // and its size.
    using ProgressHandler = std::function<void(std::int64_t sent, std::int64_t size)>;

    virtual ~TransferSession() = default;

    // Takes the session's values from the settings as they stand now. Every
    // wait ends soon once *stop is true (StopRequested).
    virtual void configure(const Settings &settings, const std::atomic<bool> *stop) = 0;
    virtual void setProgressHandler(ProgressHandler handler) = 0;
    virtual void connect() = 0;
    virtual void changeDirectory(const std::string &folder) = 0;
    // Stores the local file under remoteName so that the name never holds
    // half a file: a failed or cancelled page leaves the old one in place.
    virtual void store(const std::string &localPath, const std::string &remoteName) = 0;
    // Creates the folder (relative to the server folder) when missing. A
    // refusal is no error here, the folder may be there already; a store
    // into a folder that is not says so.
    virtual void makeDirectory(const std::string &folder) = 0;
    // False when the server refuses (the file may be gone already); a
    // connection that fails raises.
    virtual bool remove(const std::string &remoteName) = 0;
    // Ends the session; replyBound bounds the wait for the server's answer.
    // Does nothing when not connected.
    virtual void disconnect(std::chrono::milliseconds replyBound) = 0;
    // Where the pages go, as the upload record names it.
    virtual std::string destination() const = 0;

    // The temporary name a file travels under, in the folder of its own.
    static std::string temporaryName(const std::string &remoteName)
    {
        const std::size_t slash = remoteName.rfind('/') + 1; // 0 without one
        return remoteName.substr(0, slash) + ".kaviro-upload." + remoteName.substr(slash);
    }
};

} // namespace kaviro
