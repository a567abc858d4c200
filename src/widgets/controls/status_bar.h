#pragma once

#include <QWidget>

#include <array>

class QLabel;

// The four-panel status bar, panels addressed by number from 1 as the program knows
// them: 1 "运行提示：", 2 the message line, 3 the version, 4 the maker.
class StatusBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 4;

    explicit StatusBar(QWidget* parent = nullptr);

    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);
    QLabel* panel(int panel) const;

private:
    std::array<QLabel*, kPanelCount> m_panels{};
};
