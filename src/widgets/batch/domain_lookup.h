#pragma once

#include <QObject>
#include <QString>

class PendingList;
class Platform;
class QNetworkAccessManager;
class QWidget;
class ResultTable;
class StatusBar;

// Asks the lookup service about one name and shows the answer: a result row and the
// progress text, the service's refusal, or that the answer could not be read. Which
// name, and whether to ask at all, the batch driver decides.
class DomainLookup final : public QObject {
    Q_OBJECT
public:
    // The controls the lookup works on.
    struct Controls {
        PendingList& list;  // List1
        ResultTable& table; // Listview1
        StatusBar& status;  // s1
    };

    DomainLookup(Controls controls, Platform& platform, QNetworkAccessManager& network, QString serviceUrl,
                 QWidget* window);

    // Returns once the answer is shown; window events go on while it waits.
    void lookUp(const QString& name);

private:
    Controls m_controls;
    Platform& m_platform;
    QNetworkAccessManager& m_network;
    QString m_serviceUrl;
    QWidget* m_window;
};
