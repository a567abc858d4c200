#include "service/engine/bootstrap_store.h"

#include <QSaveFile>

BootstrapStore::BootstrapStore(const QString& stateDirectory, QString snapshotFile)
    : m_keptFile(stateDirectory.isEmpty() ? QString()
                                          : stateDirectory + QStringLiteral("/rdap-dns-bootstrap.json"))
    , m_snapshotFile(std::move(snapshotFile))
{
}

QStringList BootstrapStore::candidates() const
{
    return m_keptFile.isEmpty() ? QStringList{m_snapshotFile} : QStringList{m_keptFile, m_snapshotFile};
}

bool BootstrapStore::keep(const QByteArray& json) const
{
    if (m_keptFile.isEmpty())
        return true;
    QSaveFile file(m_keptFile);
    return file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit();
}
