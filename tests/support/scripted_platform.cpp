#include "scripted_platform.h"

void ScriptedPlatform::showInformation(QWidget*, const QString& title, const QString& text)
{
    boxes.append({title, text, false});
    events.append(QStringLiteral("box"));
    if (duringBox)
        duringBox(boxes.last());
}

bool ScriptedPlatform::askYesNo(QWidget*, const QString& title, const QString& text)
{
    boxes.append({title, text, true});
    events.append(QStringLiteral("ask"));
    return yesNoAnswers.isEmpty() ? false : yesNoAnswers.dequeue();
}

std::optional<QString> ScriptedPlatform::chooseFileToOpen(QWidget*, const QString& title,
                                                          const QString& filter, const QString& startFolder)
{
    fileDialogs.append({title, filter, startFolder});
    events.append(QStringLiteral("file"));
    return fileChoices.isEmpty() ? std::nullopt : fileChoices.dequeue();
}

std::optional<Platform::SaveChoice> ScriptedPlatform::chooseFileToSave(QWidget*, const QString& title,
                                                                       const QStringList& filters,
                                                                       const QString& suggestedPath)
{
    saveDialogs.append({title, filters, suggestedPath});
    events.append(QStringLiteral("save"));
    return saveChoices.isEmpty() ? std::nullopt : saveChoices.dequeue();
}

void ScriptedPlatform::openUrl(const QUrl& url)
{
    openedUrls.append(url);
    events.append(QStringLiteral("url"));
}

void ScriptedPlatform::endProcess()
{
    ++endCount;
    events.append(QStringLiteral("end"));
}
