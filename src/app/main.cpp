#include "main_window/main_window.h"
#include "main_window/qt_translations.h"
#include "main_window/real_platform.h"
#include "net/endpoints.h"

#include <QApplication>
#include <QNetworkAccessManager>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InstallQtChineseTranslations(app);
    RealPlatform platform;
    QNetworkAccessManager network;
    MainWindow window(Endpoints::compiledDefaults(), platform, network);
    window.load();
    return app.exec();
}
