#pragma once

class QCoreApplication;

// Loads Qt's own Simplified Chinese texts (standard buttons, file dialogs) from where
// Qt keeps its translations, whatever the system's language: the whole interface is
// Chinese. False when they are not installed; the program then runs with Qt's English.
bool InstallQtChineseTranslations(QCoreApplication& app);
