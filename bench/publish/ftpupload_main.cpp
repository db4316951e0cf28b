// Stores files on an FTP server with the program's upload sequence (pages
// under temporary names renamed into place, the upload record beside them
// skipping unchanged ones), without generating anything first. File names
// count as Windows-1252, like page names; keep them ASCII. The files must
// share one folder, as pages do.
//
//   kaviro_ftp_upload [--active] [--tls FINGERPRINT] [--all] HOST PORT USER PASSWORD FOLDER FILE...
//
// Prints the summary of the upload (pages sent, unchanged) on success.

#include "common/cp1252.h"
#include "publish/uploader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    kaviro::Settings settings;
    settings.encryption = kaviro::FtpEncryption::None;
    int arg = 1;
    for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (std::strcmp(argv[arg], "--active") == 0) {
            settings.passive = false;
        } else if (std::strcmp(argv[arg], "--all") == 0) {
            settings.uploadAll = true;
        } else if (std::strcmp(argv[arg], "--tls") == 0 && arg + 1 < argc) {
            settings.encryption = kaviro::FtpEncryption::Required;
            settings.certificate = argv[++arg];
        } else {
            break;
        }
    }
    if (argc - arg < 6) {
        std::fprintf(stderr, "Aufruf: %s [--active] [--tls FINGERABDRUCK] [--all] HOST PORT BENUTZER PASSWORT ORDNER DATEI...\n",
                     argv[0]);
        return 2;
    }
    settings.ftpServer = argv[arg];
    settings.ftpPort = std::atoi(argv[arg + 1]);
    settings.ftpUser = argv[arg + 2];
    settings.ftpPassword = argv[arg + 3];
    settings.ftpPath = argv[arg + 4];
    // The pages lie in one folder, as the generator writes them.
    kaviro::UploadFiles files;
    for (int i = arg + 5; i < argc; ++i) {
        const std::filesystem::path page(argv[i]);
        files.folder = page.parent_path().string();
        files.names.push_back(page.filename().string());
    }

    kaviro::Uploader uploader;
    uploader.setErrorHandler([](const std::string &message) { std::fprintf(stderr, "%s\n", kaviro::cp1252ToUtf8(message).c_str()); });
    try {
        if (!uploader.upload(settings, files))
            return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", kaviro::cp1252ToUtf8(e.what()).c_str());
        return 1;
    }
    std::printf("%s\n", kaviro::cp1252ToUtf8(kaviro::Uploader::summaryText(uploader.lastResult())).c_str());
    return 0;
}
