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

    // The message panel's text is the message, after the note when there is one.
    QString panelText(StatusPanel panel) const;
    void setPanelText(StatusPanel panel, const QString& text);
    QLabel* panel(StatusPanel panel) const;

    // The message line: progress, results and notices for the user.
    QString message() const { return m_message; }
    void showMessage(const QString& text);
    // A note the message line leads with until it is set empty again; every message
    // written meanwhile follows it.
    void setMessageNote(const QString& note);

private:
    void showMessageLine();

    std::array<QLabel*, kPanelCount> m_panels{};
    QString m_message;
    QString m_note;
};
