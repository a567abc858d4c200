#pragma once

#include <QObject>
#include <QString>

class PendingList;
class Platform;
class StatusBar;
class QWidget;

// The import (Command1_Click): format message, file dialog, load, clean, report.
class ListImporter final : public QObject {
    Q_OBJECT
public:
    ListImporter(PendingList& list, StatusBar& status, Platform& platform, QString startFolder,
                 QWidget* window);

    void Command1_Click();
    // Loads, cleans and reports the file as the import does once a file is chosen
    // (also for a file dropped on the list).
    void importFile(const QString& path);

private:
    PendingList& m_list;
    StatusBar& m_status;
    Platform& m_platform;
    QString m_folder;
    QWidget* m_window;
};
