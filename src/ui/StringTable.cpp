#include "StringTable.h"

// Placeholder until the tables in res/ land: every lookup is empty.
QString LoadString(int)
{
    return {};
}

QString LoadCaption(int, int)
{
    return {};
}

bool IsJapaneseUi()
{
    return false;
}

void SetUiLanguageForTesting(bool) {}
