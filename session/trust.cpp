#include "session/trust.h"

#include "settings/inifile.h"
#include "settings/settings.h"

namespace kaviro {

std::optional<TrustRequest> trustRequestOf(const UploadResult &result)
{
    if (!result.untrustedCertificate.empty())
        return TrustRequest{TrustRequest::Kind::Certificate, result.untrustedCertificate, false};
    return std::nullopt;
}

std::string trustSettingsLine(const TrustRequest &request)
{
    return (request.kind == TrustRequest::Kind::Certificate ? "Certificate=" : "HostKey=") + request.fingerprint;
}

void trust(const TrustRequest &request, const std::string &settingsFile, Settings &settings)
{
    const bool certificate = request.kind == TrustRequest::Kind::Certificate;
    (certificate ? settings.certificate : settings.hostKey) = request.fingerprint;
    // A file holding this key alone would read as a file of defaults at the
    // next start, and the values in use would be gone: without a file the
    // whole record goes in, as "OK" would write it.
    if (!IniFile(settingsFile).exists())
        saveSettings(settingsFile, settings);
    else if (certificate)
        saveTrustedCertificate(settingsFile, request.fingerprint);
    else
        saveTrustedHostKey(settingsFile, request.fingerprint);
}

} // namespace kaviro
