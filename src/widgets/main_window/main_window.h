#pragma once

#include "core/app/endpoints.h"

#include <QWidget>

#include <memory>

class BatchDriver;
class DomainLookup;
class ListImporter;
class ResultExport;
class Platform;
class QNetworkAccessManager;
namespace Ui {
class Form1;
}

// The main window Form1: builds the layout and wires the controllers that own the
// behaviour behind its controls.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    MainWindow(Endpoints endpoints, Platform& platform, QNetworkAccessManager& network,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence: skin, icon, table editing, show, version label.
    void load();
    // Opens the window for work once the version check lets the program run.
    void init();
    // Looks the last pending name up now.
    void cx();

    // The skin file: the program's folder followed directly by "/skinh.she", or the
    // installed one when the program's folder has none.
    static QString skinPath();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Command6_Click();
    void List1_DblClick();
    void Listview1_DblClick(int position);
    void wire();

    std::unique_ptr<Ui::Form1> m_ui;
    Endpoints m_endpoints;
    Platform& m_platform;
    DomainLookup* m_lookup;
    BatchDriver* m_batch;
    ListImporter* m_importer;
    ResultExport* m_export;
};
