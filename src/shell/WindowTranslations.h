#pragma once

class QCoreApplication;
class QTranslator;

// Loads Qt's own Korean texts (Debian's qt6-translations-l10n), so the file and
// folder pickers and the message boxes' buttons speak the window's language.
// Null when they are not installed; the standard dialogs then stay in English.
QTranslator *InstallQtTranslations(QCoreApplication &app);
