#pragma once

#include "widgets/platform/platform.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// A platform for tests: records every box, dialog, URL and end, and answers them
// from a script.
class ScriptedPlatform final : public Platform {
public:
    struct Box {
        QString title;
        QString text;
        bool yesNo = false;
    };

    void showInformation(QWidget* parent, const QString& title, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<QString> chooseFileToOpen(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& startFolder) override;
    std::optional<SaveChoice> chooseFileToSave(QWidget* parent, const QString& title,
                                               const QStringList& filters,
                                               const QString& suggestedPath) override;
    void openUrl(const QUrl& url) override;
    void endProcess() override;

    // Answers to the next Yes/No questions; No when none is left.
    QQueue<bool> yesNoAnswers;
    // Answers to the next file dialogs; Cancel when none is left.
    QQueue<std::optional<QString>> fileChoices;
    // Answers to the next save dialogs; Cancel when none is left.
    QQueue<std::optional<SaveChoice>> saveChoices;
    // Runs inside every information box, as a user acting while it is open would.
    std::function<void(const Box&)> duringBox;

    QList<Box> boxes;
    QList<QUrl> openedUrls;
    struct FileDialog {
        QString title;
        QString filter;
        QString startFolder;
    };
    QList<FileDialog> fileDialogs;
    struct SaveDialog {
        QString title;
        QStringList filters;
        QString suggestedPath;
    };
    QList<SaveDialog> saveDialogs;
    int endCount = 0;
    QList<QString> events; // "box", "ask", "file", "save", "url", "end" in order
};
