#include "core/app/data_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestDataFile final : public QObject {
    Q_OBJECT
private slots:
    void locate_data();
    void locate();
};

void TestDataFile::locate_data()
{
    // Which of the two folders holds skinh.she ("d" for a folder of that name), and
    // which folder's path comes back.
    QTest::addColumn<QString>("beside");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("beside the program wins") << u"f"_s << u"f"_s << u"beside"_s;
    QTest::newRow("installed only") << QString() << u"f"_s << u"installed"_s;
    QTest::newRow("neither: the program's folder") << QString() << QString() << u"beside"_s;
    QTest::newRow("a folder of that name is no file") << u"d"_s << u"f"_s << u"installed"_s;
}

void TestDataFile::locate()
{
    QFETCH(QString, beside);
    QFETCH(QString, installed);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QDir(root.path()).mkpath(u"beside"_s);
    QDir(root.path()).mkpath(u"installed"_s);
    const auto place = [&](const QString& folder, const QString& kind) {
        const QString path = root.filePath(folder + u"/skinh.she"_s);
        if (kind == u"d")
            QDir().mkpath(path);
        else if (kind == u"f")
            QFile(path).open(QIODevice::WriteOnly);
    };
    place(u"beside"_s, beside);
    place(u"installed"_s, installed);
    QCOMPARE(LocateDataFile(u"skinh.she"_s, {root.filePath(u"beside"_s), root.filePath(u"installed"_s)}),
             root.filePath(expected + u"/skinh.she"_s));
}

QTEST_APPLESS_MAIN(TestDataFile)
#include "tst_data_file.moc"
