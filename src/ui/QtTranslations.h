#pragma once

// Qt's own windows and controls (file dialogs, standard buttons, the edit fields' context menus)
// take their texts from Qt's translations, not from the program's string table. Loads Qt's
// translation for the interface language (Japanese, see IsJapaneseUi) from Qt's translations
// folder. Call once after the QApplication exists, before any window is built. False when the
// language needs a translation and none is installed (the windows then show Qt's English).
bool InstallQtTranslations();
