#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QUrl;
class QWidget;

// The platform services the windows use, behind one seam so tests can answer them.
class Platform {
public:
    virtual ~Platform() = default;

    // A modal box with the information icon and an OK button.
    virtual void showInformation(QWidget* parent, const QString& title, const QString& text) = 0;
    // A modal box with the information icon and Yes/No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    // The file-open dialog; nothing when the user cancels. The filter is written
    // "description|pattern".
    virtual std::optional<QString> chooseFileToOpen(QWidget* parent, const QString& title,
                                                    const QString& filter, const QString& startFolder) = 0;
    // The file-save dialog; nothing when the user cancels. Filters are written
    // "description|pattern" (one pattern, "*.suffix"); the answer says which one was
    // chosen, and a name typed without a suffix gets the chosen filter's.
    struct SaveChoice {
        QString path;
        int filterIndex = 0;
    };
    virtual std::optional<SaveChoice> chooseFileToSave(QWidget* parent, const QString& title,
                                                       const QStringList& filters,
                                                       const QString& suggestedPath) = 0;
    // Opens the address in the user's browser; a failure is not reported.
    virtual void openUrl(const QUrl& url) = 0;
    // Ends the process at once: no further handler runs and nothing is saved.
    // A test double returns, so callers return straight after calling it.
    virtual void endProcess() = 0;
};
