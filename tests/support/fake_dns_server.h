#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QUdpSocket>

// A resolver on 127.0.0.1 (UDP, on the test's thread) that answers NS questions from
// a table; names not in it do not exist.
class FakeDnsServer final : public QObject {
public:
    enum class Reply { Delegated, NameError, NoNameServers, ServerFailure, Refused, Silent };

    FakeDnsServer();

    void answer(const QString& name, Reply reply, const QStringList& nameServers = {});
    QString address() const; // "127.0.0.1:PORT"
    int questions(const QString& name) const { return m_questions.value(name.toLower()); }

private:
    void readQuestions();

    struct Entry {
        Reply reply;
        QStringList nameServers;
    };
    QUdpSocket m_socket;
    QHash<QString, Entry> m_table;
    QHash<QString, int> m_questions;
};
