#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class PendingList;
class Platform;
namespace Ui {
class Form2;
}

// The add-domain dialog Form2: checks a typed name, appends it to the pending list
// and, when asked, has it looked up at once.
class AddDomainDialog final : public QDialog {
    Q_OBJECT
public:
    AddDomainDialog(PendingList& list, Platform& platform, std::function<void()> lookUpLast,
                    QWidget* parent = nullptr);
    ~AddDomainDialog() override;

    void Command1_Click();

private:
    std::unique_ptr<Ui::Form2> m_ui;
    PendingList& m_list;
    Platform& m_platform;
    std::function<void()> m_lookUpLast;
};
