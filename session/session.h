#pragma once

#include "generator/listingpagegenerator.h"
#include "publish/uploader.h"
#include "session/publishjob.h"
#include "settings/settings.h"
#include "store/datamodule.h"

#include <QObject>
#include <QString>

#include <string>

namespace kaviro {

// What both programs share, without any window: the settings record, the
// data module with its connection and table, and the page generator of the
// latest generation, whose page names stay valid for showing and uploading.
class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(std::string settingsFile, QObject *parent = nullptr);
    ~Session() override;

    // The same name for every load and save of a run.
    const std::string &settingsFile() const { return m_settingsFile; }
    bool settingsFileExists() const;

    // The program's one settings record; the options dialog hands its edited
    // copy back here.
    Settings &settings() { return m_settings; }
    const Settings &settings() const { return m_settings; }
    // Reads the settings file into the record; raises what loadSettings
    // raises, with the values read before the failure taken over.
    void loadSettings();
    // The stored password could not be decoded at the last load, and the
    // user has not typed one since: the upload must not log in without it.
    bool passwordUnreadable() const { return m_passwordUnreadable; }
    void setPasswordUnreadable(bool unreadable) { m_passwordUnreadable = unreadable; }
    // The key ConnectionString of section Database, read from the file
    // itself as start-up does; empty when it is missing.
    QString storedConnectionString() const;

    DataModule &data() { return m_data; }
    bool isConnected() { return m_data.connection().isConnected(); }
    // Closes the connection (and with it the table) and connects anew with
    // connectionString; an empty one leaves it closed. False, with the
    // cause, when connecting failed.
    bool connectDatabase(const QString &connectionString, QString *cause = nullptr);
    // Opens the table when connected; true also when there is no
    // connection, false when opening failed.
    bool openTable() { return m_data.openTable(); }

    // Builds the snapshot and writes the pages with the settings as they
    // stand and the system locale's decimal separator.
    PublishResult generate();
    // Goes the road of generate() and writes no page: finds the errors a
    // generation would meet and the template's unknown names.
    PublishResult checkTemplate();
    // The pages of the latest generation.
    const ListingPageGenerator &generator() const { return m_generator; }
    // The files of the latest generation, as its record lists them; without
    // a record its pages, so that a lost record never reads as an empty
    // generation (whose upload would delete every page on the server).
    UploadFiles uploadFiles() const;

private:
    std::string m_settingsFile;
    Settings m_settings;
    bool m_passwordUnreadable = false;
    DataModule m_data;
    ListingPageGenerator m_generator;
};

} // namespace kaviro
