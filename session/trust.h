#pragma once

#include "publish/uploader.h"

#include <optional>
#include <string>

namespace kaviro {

struct Settings;

// A server identity an upload could not verify, which the user may choose
// to trust: a TLS certificate (key Certificate) or an SSH host key (key
// HostKey). Texts are Windows-1252 bytes.
struct TrustRequest {
    enum class Kind { Certificate, HostKey };
    Kind kind = Kind::Certificate;
    std::string fingerprint;
    // Host keys only: the server showed another key than the one known or
    // trusted for it, which may be an attack and must never pass unnoticed.
    bool changed = false;

    bool operator==(const TrustRequest &) const = default;
};

// What the upload asks the user to trust, when an unverified identity ended it.
std::optional<TrustRequest> trustRequestOf(const UploadResult &result);

// The line under [FTP] of the settings file that trusts it:
// "Certificate=<fingerprint>" or "HostKey=<fingerprint>".
std::string trustSettingsLine(const TrustRequest &request);

// Takes the fingerprint into the record and then into the settings file,
// that key only (the whole record when there is no file yet), so that a
// failing write (raised as saveSettings raises it) still trusts it for this
// run.
void trust(const TrustRequest &request, const std::string &settingsFile, Settings &settings);

} // namespace kaviro
