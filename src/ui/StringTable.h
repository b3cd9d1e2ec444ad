#pragma once

#include <QString>

// Every user-visible text of the program comes from one table in res/, in English and in
// Japanese, chosen once by the system language (QLocale::system()).

// A numbered string of the table; an empty text when the number is unknown.
QString LoadString(int id);

// The caption of control controlId in dialog template templateId (controlId 0: the dialog's own
// title); an empty text when the template has none.
QString LoadCaption(int templateId, int controlId);

// True when the Japanese table is in use.
bool IsJapaneseUi();

// For tests: choose the language explicitly instead of by the system's locale.
void SetUiLanguageForTesting(bool japanese);
