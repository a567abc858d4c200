#pragma once

#include "service/config/option_table.h"

#include <QList>
#include <QString>
#include <QStringList>

// Reads a program's command line and settings file (INI; the command line wins)
// against the program's option rows, and writes its help, its manual's option list
// and its settings file from the same rows. Every program gets --help and --config.
class OptionParser final {
public:
    enum class Outcome { Run, Help, Refused };

    OptionParser(QString program, QString description, QList<OptionGroup> groups);

    // Arguments that are not options are refused unless the program takes them;
    // `syntax` is how the usage line shows them ("[file...]"), else their name.
    void takePositional(const QString& name, const QString& description, const QString& syntax = {});

    // Runs every row's setter. On Help the text to print is in `message` (--help, and
    // the hidden --help-scdoc and --help-ini that the build uses for the manual and
    // the settings file); on Refused, every complaint.
    Outcome parse(const QStringList& arguments, QString* message);
    const QStringList& positional() const { return m_positional; }

    // The rows as scdoc, for the OPTIONS section of the manual.
    QString manualList() const;
    // A settings file holding every row's default; rows without one commented out.
    QString settingsFile() const;

private:
    QString m_program;
    QString m_description;
    QList<OptionGroup> m_groups;
    QString m_positionalName;
    QString m_positionalDescription;
    QString m_positionalSyntax;
    QStringList m_positional;
};
