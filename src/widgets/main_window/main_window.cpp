#include "widgets/main_window/main_window.h"

#include "core/app/data_file.h"
#include "widgets/batch/batch_driver.h"
#include "widgets/batch/domain_lookup.h"
#include "widgets/batch/result_export.h"
#include "widgets/domain_list/add_domain_dialog.h"
#include "widgets/domain_list/list_importer.h"
#include "widgets/platform/platform.h"
#include "widgets/controls/status_bar.h"
#include "widgets/controls/window_look.h"
#include "core/app/version_text.h"
#include "ui_form1.h"
#include "widgets/update/version_check.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QScreen>
#include <QStandardPaths>

namespace {

void CenterOnScreen(QWidget& window)
{
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

} // namespace

MainWindow::MainWindow(Endpoints endpoints, Platform& platform, QNetworkAccessManager& network,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::Form1>())
    , m_endpoints(std::move(endpoints))
    , m_platform(platform)
{
    const WindowFaces faces;
    setFont(faces.dialogFont());
    m_ui->setupUi(this);
    ApplyWindowLook(this, faces);
    setFixedSize(size());

    Ui::Form1& ui = *m_ui;
    m_lookup = new DomainLookup({*ui.List1, *ui.Listview1, *ui.s1}, m_platform, network,
                                m_endpoints.lookupUrl, this);
    m_batch = new BatchDriver({*ui.List1, *ui.Command2, *ui.Slider1, *ui.Label2, *ui.Listview1, *ui.s1},
                              *m_lookup, m_platform, this);
    m_importer =
        new ListImporter(*ui.List1, *ui.s1, m_platform, QCoreApplication::applicationDirPath(), this);
    m_export = new ResultExport(*ui.Listview1, *ui.s1, m_platform,
                                QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), this);
    new VersionCheck(
        m_platform, m_endpoints.updateUrl, m_endpoints.makerUrl, [this] { init(); }, this);
    wire();
}

MainWindow::~MainWindow() = default;

void MainWindow::wire()
{
    Ui::Form1& ui = *m_ui;
    connect(ui.Command1, &QPushButton::clicked, m_importer, &ListImporter::Command1_Click);
    connect(ui.Command2, &QPushButton::clicked, m_batch, &BatchDriver::Command2_Click);
    connect(ui.Command3, &QPushButton::clicked, this,
            [this] { m_platform.openUrl(QUrl(m_endpoints.studioUrl)); });
    connect(ui.Command4, &QPushButton::clicked, this,
            [this] { m_platform.openUrl(QUrl(m_endpoints.companyUrl)); });
    connect(ui.Command5, &QPushButton::clicked, this, &QWidget::close);
    connect(ui.Command6, &QPushButton::clicked, this, &MainWindow::Command6_Click);
    connect(ui.Slider1, &QSlider::valueChanged, m_batch, &BatchDriver::Slider1_Scroll);

    connect(ui.List1, &PendingList::selectionSet, m_batch, &BatchDriver::List1_Click);
    connect(ui.List1, &PendingList::pressedWhileEmpty, m_importer, &ListImporter::Command1_Click);
    connect(ui.List1, &PendingList::listDoubleClicked, this, &MainWindow::List1_DblClick);
    connect(ui.List1, &PendingList::fileDropped, m_importer, &ListImporter::importFile);
    connect(ui.Listview1, &ResultTable::exportRequested, m_export, &ResultExport::exportTable);
    connect(ui.Listview1, &ResultTable::tableDoubleClicked, this, &MainWindow::Listview1_DblClick);
    // While a filter is on, the message line says how many rows it shows of how many.
    connect(ui.Listview1, &ResultTable::rowCountsChanged, this, [this] {
        const ResultTable& table = *m_ui->Listview1;
        m_ui->s1->setMessageNote(FilterNote(table.rowFilter(), table.rowCount(), table.totalRowCount()));
    });
}

QString MainWindow::skinPath()
{
    return LocateDataFile(QStringLiteral("skinh.she"));
}

void MainWindow::load()
{
    // The skin is optional: without a readable file start-up simply goes on.
    QFile skin(skinPath());
    if (skin.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromUtf8(skin.readAll()));
    setWindowIcon(QIcon());
    m_ui->Listview1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CenterOnScreen(*this);
    show();
    m_ui->s1->setPanelText(StatusPanel::Version, VersionText());
}

void MainWindow::init()
{
    m_ui->Command2->setEnabled(true);
    m_ui->s1->showMessage(QStringLiteral("当前为最新版本,欢迎使用Norvane软件.."));
}

void MainWindow::cx()
{
    m_batch->cx();
}

void MainWindow::Command6_Click()
{
    AddDomainDialog dialog(*m_ui->List1, m_platform, [this] { cx(); });
    CenterOnScreen(dialog);
    dialog.exec();
}

void MainWindow::List1_DblClick()
{
    m_ui->List1->removeAt(m_ui->List1->selectedIndex());
}

void MainWindow::Listview1_DblClick(int position)
{
    if (position >= 0 && position < m_ui->Listview1->rowCount())
        m_platform.showInformation(this, QStringLiteral("提示"), DetailText(m_ui->Listview1->row(position)));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Every close request asks first; Yes ends the program on the spot.
    event->ignore();
    if (m_platform.askYesNo(this, QStringLiteral("提示"), QStringLiteral("确定退出软件吗?")))
        m_platform.endProcess();
}
