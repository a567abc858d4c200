#pragma once

#include <QObject>
#include <QString>

class Platform;
class QNetworkAccessManager;
class QWidget;
struct BatchState;
namespace Ui {
class Form1;
}

// The pending list's selection handler: refreshes the tooltip and, while the
// query-running flag is 1, looks the selected name up (or skips it) and reports.
class DomainLookup final : public QObject {
    Q_OBJECT
public:
    DomainLookup(Ui::Form1& ui, BatchState& state, Platform& platform,
                 QNetworkAccessManager& network, QString serviceUrl, QWidget* window);

    // List1_Click: runs for the item just selected.
    void List1_Click(qsizetype index);

signals:
    // The skip step walked past the last item: there is no next name to select.
    void skippedPastEnd();

private:
    void lookUp(const QString& name);

    Ui::Form1& m_ui;
    BatchState& m_state;
    Platform& m_platform;
    QNetworkAccessManager& m_network;
    QString m_serviceUrl;
    QWidget* m_window;
    QString m_replyText;
};
