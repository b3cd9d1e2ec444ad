#pragma once

#include "MachineStatus.h"
#include "PropertyPage.h"

class QButtonGroup;

// The first page of the NC code sheet: how the machine interprets NC code (tool-diameter offset
// type, values with a decimal point, optional block skip), edited on a copy of the settings
// block. It never talks to the machine; the other bytes of the block pass through unchanged.
class CNCCodeSettingPage : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 136;
    // First radio button of each group.
    static constexpr int OffsetTypeA = 1067;        // 1068 B
    static constexpr int ConventionalMethod = 1069; // 1070 .. 1072 calculator methods
    static constexpr int BlockSkipEnabled = 1073;   // 1074 disabled

    CNCCodeSettingPage();

    void SetSettings(const MachineSettings& settings);
    // The block with the page's choices in bytes 2, 3 and 4.
    MachineSettings GetSettings();

protected:
    void DoDataExchange(CDataExchange& dx) override;

private:
    MachineSettings m_settings;
    int m_offsetType = -1;
    int m_decimalMode = -1;
    int m_blockSkip = -1;

    QButtonGroup* m_offsetTypeGroup;
    QButtonGroup* m_decimalModeGroup;
    QButtonGroup* m_blockSkipGroup;
};
