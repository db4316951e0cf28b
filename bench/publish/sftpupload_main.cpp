// Stores files on an SFTP server in one session, as the program's upload
// does: through the Uploader, with its record beside the files and each file
// under a temporary name renamed onto its own (--direct: the bare session,
// straight under the name, as curl stores). Logs in with the default keys of
// SSH_DIR; the host key must have the given fingerprint. File names count as
// Windows-1252; keep them ASCII.
//
//   kaviro_sftp_upload [--direct] HOST PORT USER SSH_DIR FINGERPRINT FOLDER FILE...

#include "common/filename.h"
#include "publish/sftpsession.h"
#include "publish/uploader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <vector>

namespace {

struct Job {
    kaviro::SftpAccount account;
    std::string folder;
    std::vector<std::string> files;
};

int storeDirect(const Job &job)
{
    kaviro::SftpSession session;
    try {
        session.connect(job.account);
        session.changeDirectory(job.folder);
        for (const std::string &file : job.files)
            session.uploadFile(file, std::string(kaviro::fileNamePart(file)));
        session.close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

int storeByUploader(const Job &job)
{
    kaviro::Settings settings;
    settings.protocol = kaviro::UploadProtocol::Sftp;
    settings.ftpServer = job.account.host;
    settings.ftpPort = job.account.port;
    settings.ftpUser = job.account.user;
    settings.hostKey = job.account.trustedHostKey;
    settings.ftpPath = job.folder;
    kaviro::Uploader uploader;
    uploader.sftp().setSshDir(job.account.sshDir);
    uploader.setErrorHandler([](const std::string &message) { std::fprintf(stderr, "%s\n", message.c_str()); });
    // The pages lie in one folder, as the generator writes them.
    kaviro::UploadFiles files;
    for (const std::string &file : job.files) {
        const std::filesystem::path page(file);
        files.folder = page.parent_path().string();
        files.names.push_back(page.filename().string());
    }
    const bool ok = uploader.upload(settings, files);
    std::printf("%s\n", kaviro::Uploader::summaryText(uploader.lastResult()).c_str());
    return ok ? 0 : 1;
}

} // namespace

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
    Job job;
    job.account.host = args[1];
    job.account.port = std::atoi(args[2]);
    job.account.user = args[3];
    job.account.sshDir = args[4];
    job.account.trustedHostKey = args[5];
    job.folder = args[6];
    job.files.assign(args + 7, args + count);
    try {
        return direct ? storeDirect(job) : storeByUploader(job);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
