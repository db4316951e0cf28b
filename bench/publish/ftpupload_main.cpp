// Stores files on an FTP server in one session with the program's FTP
// client, exactly as an upload does (active mode, one data connection per
// file), without generating anything first. File names count as
// Windows-1252, like page names; keep them ASCII.
//
//   kaviro_ftp_upload HOST PORT USER PASSWORD FOLDER FILE...

#include "common/filename.h"
#include "publish/ftpclient.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char **argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "Aufruf: %s HOST PORT BENUTZER PASSWORT ORDNER DATEI...\n", argv[0]);
        return 2;
    }
    kaviro::FtpClient ftp;
    ftp.setReportLevel(0);
    ftp.setHost(argv[1]);
    ftp.setPort(std::atoi(argv[2]));
    ftp.setUserId(argv[3]);
    ftp.setPassword(argv[4]);
    ftp.setTimeOut(5000);
    try {
        ftp.connect();
        ftp.changeDirectory(argv[5]);
        for (int i = 6; i < argc; ++i)
            ftp.uploadFile(argv[i], std::string(kaviro::fileNamePart(argv[i])));
        ftp.disconnect();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
