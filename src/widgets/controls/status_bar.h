#pragma once

#include <QWidget>

#include <array>

class QLabel;

// The status bar's four panels, left to right (object names panel1 to panel4).
enum class StatusPanel {
    Hint,    // "运行提示："
    Message, // the program's message line
    Version, // the version label
    Maker,   // "Norvane出品"
};

// The four-panel status bar.
class StatusBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 4;

    explicit StatusBar(QWidget* parent = nullptr);

    QString panelText(StatusPanel panel) const;
    void setPanelText(StatusPanel panel, const QString& text);
    QLabel* panel(StatusPanel panel) const;

    // The message line: progress, results and notices for the user.
    QString message() const { return panelText(StatusPanel::Message); }
    void showMessage(const QString& text) { setPanelText(StatusPanel::Message, text); }

private:
    std::array<QLabel*, kPanelCount> m_panels{};
};
