#pragma once

#include "widgets/main_window/main_window.h"
#include "support/scripted_platform.h"
#include "support/test_https_server.h"

#include <QNetworkAccessManager>

#include <memory>

class BatchDriver;
class PendingList;
class QPushButton;
class QSlider;
class QLabel;
class ResultTable;
class StatusBar;

// The real main window against a loopback stand-in of both services, with a
// scripted platform. By default the update service reports the current version and
// the lookup service answers every name with a row whose fields derive from the name.
// Given a lookup URL, lookups go there instead (a real whoisd, say).
class WindowFixture final {
public:
    explicit WindowFixture(const QString& lookupUrl = {});
    ~WindowFixture();

    // Runs the version check now, as the first tick of Timer2 would.
    void openForWork();

    TestHttpsServer server;
    ScriptedPlatform platform;
    QNetworkAccessManager network;
    std::unique_ptr<MainWindow> window;

    PendingList& list() const;
    ResultTable& table() const;
    StatusBar& status() const;
    QPushButton& button(const char* name) const;
    QSlider& slider() const;
    QLabel& label(const char* name) const;
    BatchDriver& batch() const;

    // The names the lookup service was asked about, in order.
    QStringList lookedUp() const;

    // The default answer for a lookup of the name.
    static QByteArray RowReply(const QString& name);
    static TestHttpsServer::Response DefaultAnswer(const TestHttpsServer::Request& request);
};
