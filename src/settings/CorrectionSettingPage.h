#pragma once

#include "MachineStatus.h"
#include "PropertyPage.h"

#include <array>
#include <optional>

class CModelingMachine;
class QLineEdit;

// The second page of the Setup sheet: the machine's distance correction per axis, shown and
// typed as a percentage with three decimals between 99.5 and 100.5. The page marks the values
// changed only when it is left after an edit (another tab, or OK on this page), so a page that
// was never opened or left unchanged writes nothing. The write carries all three axes, and
// only the edited ones take the page's value: an axis the user left alone keeps the machine's
// exact value, also one shown as the neutral 100.000 % because the page could not show it.
class CCorrectionSettingPage : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 142;
    static constexpr int PictureId = 1090;
    static constexpr int PictureBitmap = 8000;
    static constexpr std::array<int, 3> Edits{1091, 1092, 1093}; // X, Y, Z

    CCorrectionSettingPage();

    void SetMachine(CModelingMachine* machine) { m_machine = machine; }
    // Reads the three corrections; a failed read, or a value outside 99.5 .. 100.5 %, shows
    // the neutral 100.000 %.
    bool LoadFromMachine();
    // Writes all three axes when a value was changed: the edited ones as the page holds them,
    // the others as the machine had them. When the first read had failed, the machine's values
    // are read again first; when that fails too, nothing is written rather than guessed.
    bool SaveToMachine();

    bool IsChanged() const { return m_changed; }

    bool OnKillActive() override;

protected:
    void DoDataExchange(CDataExchange& dx) override;

private:
    std::array<int32_t, 3> m_scale;
    bool m_changed = false;
    std::array<bool, 3> m_axisChanged{};
    // The corrections as the machine reported them (parts per million), when the read worked.
    std::optional<AxisTriple> m_machineCorrection;
    CModelingMachine* m_machine = nullptr; // not owned
    std::array<QLineEdit*, 3> m_edits{};
};
