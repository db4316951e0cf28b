// Which identity an ended upload asks the user to trust, and the settings
// line that trusts it.

#include "session/trust.h"

#include <gtest/gtest.h>

namespace kaviro {
namespace {

TEST(TrustRequest, NamesTheUnverifiedIdentityAndItsSettingsLine)
{
    UploadResult certificate;
    certificate.untrustedCertificate = "AB:CD";
    UploadResult unknownKey;
    unknownKey.untrustedHostKey = "SHA256:neu";
    UploadResult changedKey = unknownKey;
    changedKey.hostKeyChanged = true;

    const struct {
        const char *name;
        UploadResult result;
        std::optional<TrustRequest> request;
        const char *line;
    } cases[] = {
        {"certificate", certificate, TrustRequest{TrustRequest::Kind::Certificate, "AB:CD", false}, "Certificate=AB:CD"},
        {"unknown host key", unknownKey, TrustRequest{TrustRequest::Kind::HostKey, "SHA256:neu", false},
         "HostKey=SHA256:neu"},
        {"changed host key", changedKey, TrustRequest{TrustRequest::Kind::HostKey, "SHA256:neu", true},
         "HostKey=SHA256:neu"},
        {"nothing to trust", UploadResult{}, std::nullopt, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<TrustRequest> request = trustRequestOf(c.result);
        EXPECT_EQ(request, c.request);
        if (request) {
            EXPECT_EQ(trustSettingsLine(*request), c.line);
        }
    }
}

} // namespace
} // namespace kaviro
