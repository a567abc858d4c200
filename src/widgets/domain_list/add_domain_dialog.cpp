#include "widgets/domain_list/add_domain_dialog.h"

#include "core/domain_list/name_rules.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/platform/platform.h"
#include "widgets/controls/window_look.h"
#include "ui_form2.h"

AddDomainDialog::AddDomainDialog(PendingList& list, Platform& platform, std::function<void()> lookUpLast,
                                 QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::Form2>())
    , m_list(list)
    , m_platform(platform)
    , m_lookUpLast(std::move(lookUpLast))
{
    m_ui->setupUi(this);
    ApplyWindowLook(this);
    setFixedSize(size());
    setWindowIcon(QIcon());
    setModal(true);
    connect(m_ui->Command1, &QPushButton::clicked, this, &AddDomainDialog::Command1_Click);
    m_ui->Command1->setFocus();
}

AddDomainDialog::~AddDomainDialog() = default;

void AddDomainDialog::Command1_Click()
{
    const QString title = QStringLiteral("Norvane系列软件");
    const QString text = m_ui->Text1->text();
    if (const std::optional<QString> problem = AddedNameProblem(text)) {
        m_platform.showInformation(this, title, *problem);
        return;
    }
    m_list.append(text);
    m_platform.showInformation(this, title, QStringLiteral("域名添加成功.."));
    const bool lookUpNow = m_ui->Check1->isChecked();
    // Gone from the screen before the lookup runs.
    accept();
    if (lookUpNow)
        m_lookUpLast();
}
