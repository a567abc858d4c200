#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The names of a bulk run, read from files or standard input ("-"): UTF-8 or GBK,
// cleaned as the window's import cleans them (blank lines dropped, "http://" and a
// leading "www." removed, after surrounding white space), and each name once (the
// first spelling kept; names differing only in case are the same name).
struct NameInput {
    QStringList names;
    QString problem; // why the input cannot be used; empty when it can

    // `readStdin` is called at most once, for the first "-".
    static NameInput read(const QStringList& sources, const std::function<QByteArray()>& readStdin);
};

// The cleaned names of one input's bytes, in order, repeats included.
QStringList NamesOfText(const QByteArray& bytes);

// Why bytes are no list of names (a NUL byte: a binary file), or nothing.
std::optional<QString> TextProblem(const QByteArray& bytes);

// What makes two spellings the same name: the Unicode form, lower case, of a valid
// domain name ("xn--fiq228c.com" and "中文.com" agree), else the text in lower case.
QString NameKey(const QString& name);
