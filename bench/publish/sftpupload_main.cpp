// Stores files on an SFTP server in one session with the program's SFTP
// session, as an upload does: each file under a temporary name, then renamed
// onto its own (--direct: straight under its own name, as curl stores).
// Logs in with the default keys of SSH_DIR; the host key must have the given
// fingerprint. File names count as Windows-1252; keep them ASCII.
//
//   kaviro_sftp_upload [--direct] HOST PORT USER SSH_DIR FINGERPRINT FOLDER FILE...

#include "common/filename.h"
#include "publish/sftpsession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char **argv)
{
    const bool direct = argc > 1 && std::strcmp(argv[1], "--direct") == 0;
    char **args = argv + (direct ? 1 : 0);
    const int count = argc - (direct ? 1 : 0);
    if (count < 8) {
        std::fprintf(stderr, "Aufruf: %s [--direct] HOST PORT BENUTZER SSH-ORDNER FINGERABDRUCK ORDNER DATEI...\n",
                     argv[0]);
        return 2;
    }
    kaviro::SftpAccount account;
    account.host = args[1];
    account.port = std::atoi(args[2]);
    account.user = args[3];
    account.sshDir = args[4];
    account.trustedHostKey = args[5];
    kaviro::SftpSession session;
    try {
        session.connect(account);
        session.changeDirectory(args[6]);
        for (int i = 7; i < count; ++i) {
            const std::string name(kaviro::fileNamePart(args[i]));
            if (direct) {
                session.uploadFile(args[i], name);
            } else {
                session.uploadFile(args[i], ".kaviro-upload." + name);
                session.rename(".kaviro-upload." + name, name);
            }
        }
        session.close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
