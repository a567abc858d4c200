#include "widgets/controls/font_warm_up.h"
#include "widgets/main_window/main_window.h"
#include "widgets/main_window/qt_translations.h"
#include "widgets/platform/real_platform.h"
#include "core/app/endpoints.h"

#include <QApplication>
#include <QNetworkAccessManager>

int main(int argc, char* argv[])
{
    FontWarmUp fonts;
    QApplication app(argc, argv);
    fonts.wait();
    InstallQtChineseTranslations(app);
    RealPlatform platform;
    QNetworkAccessManager network;
    MainWindow window(Endpoints::compiledDefaults(), platform, network);
    window.load();
    return app.exec();
}
