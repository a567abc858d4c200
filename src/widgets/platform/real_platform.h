#pragma once

#include "widgets/platform/platform.h"

class RealPlatform final : public Platform {
public:
    void showInformation(QWidget* parent, const QString& title, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<QString> chooseFileToOpen(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& startFolder) override;
    std::optional<SaveChoice> chooseFileToSave(QWidget* parent, const QString& title,
                                               const QStringList& filters,
                                               const QString& suggestedPath) override;
    void openUrl(const QUrl& url) override;
    [[noreturn]] void endProcess() override;

    // "description|pattern" as a Qt file-dialog filter.
    static QString dialogFilter(const QString& filter);
};
