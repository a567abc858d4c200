#include "widgets/controls/status_bar.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

constexpr int kPanelWidth = 96; // 1440 twips, also every panel's minimum

} // namespace

StatusBar::StatusBar(QWidget* parent)
    : QWidget(parent)
{
    struct PanelSetup {
        QString text;
        Qt::Alignment alignment;
        bool stretches;
        bool tooltip;
    };
    const std::array<PanelSetup, kPanelCount> setup{{
        {QStringLiteral("运行提示："), Qt::AlignLeft, false, true},
        {QStringLiteral("正在检测程序最新版本.."), Qt::AlignLeft, true, true},
        {QString(), Qt::AlignHCenter, false, false},
        {QStringLiteral("Norvane出品"), Qt::AlignHCenter, false, true},
    }};

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new QLabel(setup[i].text, this);
        label->setObjectName(QStringLiteral("panel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(setup[i].alignment | Qt::AlignVCenter);
        label->setMinimumWidth(kPanelWidth);
        if (setup[i].tooltip)
            label->setToolTip(setup[i].text);
        // The message line takes what the others leave, however long its text.
        if (setup[i].stretches)
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        else
            label->setFixedWidth(kPanelWidth);
        layout->addWidget(label, setup[i].stretches ? 1 : 0);
        m_panels[i] = label;
    }
    m_message = setup[1].text;
}

QLabel* StatusBar::panel(StatusPanel panel) const
{
    return m_panels[static_cast<std::size_t>(panel)];
}

QString StatusBar::panelText(StatusPanel panel) const
{
    return this->panel(panel)->text();
}

void StatusBar::setPanelText(StatusPanel panel, const QString& text)
{
    if (panel == StatusPanel::Message)
        showMessage(text);
    else
        this->panel(panel)->setText(text);
}

void StatusBar::showMessage(const QString& text)
{
    m_message = text;
    showMessageLine();
}

void StatusBar::setMessageNote(const QString& note)
{
    // Asked after every row of a batch; without a filter the note stays empty.
    if (note == m_note)
        return;
    m_note = note;
    showMessageLine();
}

void StatusBar::showMessageLine()
{
    // First, so the note stays in sight however long the message is.
    QString line = m_note;
    if (!line.isEmpty() && !m_message.isEmpty())
        line += u' ';
    panel(StatusPanel::Message)->setText(line + m_message);
}
