// The source tree's layering: code under src/core/ and service/ needs no display, and no
// folder includes another folder that includes it back. Reads the #include lines (and the
// custom-widget headers of the .ui files) rather than trusting the link lines alone.
#include <QDirIterator>
#include <functional>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Graph = QMap<QString, QSet<QString>>;

QString FolderOf(const QString& path)
{
    return path.left(path.lastIndexOf(u'/'));
}

// Folder → folders it includes from, keyed by paths relative to the source root. A
// generated form header belongs to the folder of its .ui file.
Graph IncludeGraph(const QString& root, const QStringList& tops)
{
    static const QRegularExpression include(uR"(^\s*#include\s+"([^"]+)\"|<header>([^<]+)</header>)"_s,
                                            QRegularExpression::MultilineOption);
    QMap<QString, QString> forms;
    QMap<QString, QStringList> includes;
    for (const QString& top : tops) {
        QDirIterator it(root + u'/' + top, {u"*.h"_s, u"*.cpp"_s, u"*.ui"_s}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = path.mid(root.size() + 1);
            if (path.endsWith(u".ui"_s))
                forms.insert(u"ui_"_s + it.fileInfo().baseName() + u".h"_s, FolderOf(relative));
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = include.globalMatch(text); match.hasNext();) {
                const auto m = match.next();
                includes[FolderOf(relative)] << (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1));
            }
        }
    }
    Graph graph;
    for (auto it = includes.cbegin(); it != includes.cend(); ++it) {
        for (const QString& header : it.value()) {
            QString folder = forms.value(header);
            // Service headers are named from the project's top, the others from src/.
            if (folder.isEmpty() && header.startsWith(u"service/"_s))
                folder = FolderOf(header);
            else if (folder.isEmpty() && header.contains(u'/'))
                folder = u"src/"_s + FolderOf(header);
            if (!folder.isEmpty() && folder != it.key())
                graph[it.key()].insert(folder);
        }
    }
    return graph;
}

// A path of folders that leads back to its start, or nothing.
QStringList FindCycle(const Graph& graph)
{
    QMap<QString, int> state; // 1 on the path, 2 done
    QStringList path;
    std::function<bool(const QString&)> visit = [&](const QString& node) {
        state[node] = 1;
        path << node;
        for (const QString& next : graph.value(node)) {
            if (state.value(next) == 1) {
                path << next;
                return true;
            }
            if (state.value(next) == 0 && visit(next))
                return true;
        }
        state[node] = 2;
        path.removeLast();
        return false;
    };
    for (auto it = graph.cbegin(); it != graph.cend(); ++it)
        if (state.value(it.key()) == 0 && visit(it.key()))
            return path;
    return {};
}

} // namespace

class TestLayout final : public QObject {
    Q_OBJECT
private slots:
    void sourceTreeIsLayered()
    {
        const Graph graph = IncludeGraph(QStringLiteral(WHOIS_SOURCE_ROOT), {u"src"_s, u"service"_s});
        QVERIFY(graph.contains(u"src/widgets/main_window"_s));
        // The engine's folders are seen, and none of them reaches up into a front.
        QVERIFY(graph.value(u"service/engine"_s).contains(u"service/readers"_s));
        for (const QString& low : {u"service/engine"_s, u"service/readers"_s, u"service/record"_s})
            for (const QString& folder : graph.value(low))
                QVERIFY2(!folder.startsWith(u"service/front"_s) && !folder.startsWith(u"service/whoisd"_s),
                         qPrintable(low + u" includes "_s + folder));

        const QStringList cycle = FindCycle(graph);
        QVERIFY2(cycle.isEmpty(), qPrintable(cycle.join(u" -> "_s)));

        for (auto it = graph.cbegin(); it != graph.cend(); ++it) {
            if (!it.key().startsWith(u"src/core"_s) && !it.key().startsWith(u"service"_s))
                continue;
            for (const QString& folder : it.value())
                QVERIFY2(!folder.startsWith(u"src/widgets"_s) && !folder.startsWith(u"src/app"_s),
                         qPrintable(it.key() + u" includes "_s + folder));
        }
    }

    void findsACycle()
    {
        const Graph looped{{u"a"_s, {u"b"_s}}, {u"b"_s, {u"c"_s}}, {u"c"_s, {u"a"_s}}};
        QCOMPARE(FindCycle(looped).size(), 4);
        const Graph layered{{u"a"_s, {u"b"_s, u"c"_s}}, {u"b"_s, {u"c"_s}}};
        QVERIFY(FindCycle(layered).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestLayout)
#include "tst_layout.moc"
