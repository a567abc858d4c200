#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Where the service reads its bootstrap file from at start and keeps a refreshed copy:
// the copy in the state folder (the last good refresh) wins over the shipped snapshot,
// so a restart without a network still knows every registry the last refresh knew.
class BootstrapStore final {
public:
    // An empty state folder keeps nothing and reads only the snapshot.
    BootstrapStore(const QString& stateDirectory, QString snapshotFile);

    // The files to read, best first; a caller goes on to the next when one is missing
    // or unreadable.
    QStringList candidates() const;
    // Replaces the kept copy whole (never a half-written file); false when it cannot.
    bool keep(const QByteArray& json) const;
    QString keptFile() const { return m_keptFile; }

private:
    QString m_keptFile;
    QString m_snapshotFile;
};
