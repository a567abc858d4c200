#pragma once

#include <QObject>
#include <QString>

class BatchRun;
class PendingList;
class Platform;
class QNetworkAccessManager;
class QWidget;
class ResultTable;
class StatusBar;

// The pending list's selection handler: refreshes the tooltip and, while the batch
// looks names up, looks the selected name up (or skips it) and reports.
class DomainLookup final : public QObject {
    Q_OBJECT
public:
    // The controls the lookup works on.
    struct Controls {
        PendingList& list;  // List1
        ResultTable& table; // Listview1
        StatusBar& status;  // s1
    };

    DomainLookup(Controls controls, BatchRun& run, Platform& platform,
                 QNetworkAccessManager& network, QString serviceUrl, QWidget* window);

    // List1_Click: runs for the item just selected.
    void List1_Click(qsizetype index);

signals:
    // The skip step walked past the last item: there is no next name to select.
    void skippedPastEnd();

private:
    void lookUp(const QString& name);

    Controls m_controls;
    BatchRun& m_run;
    Platform& m_platform;
    QNetworkAccessManager& m_network;
    QString m_serviceUrl;
    QWidget* m_window;
};
