#pragma once

#include "PropertyPage.h"

#include <array>
#include <cstdint>

class QLineEdit;

// The second page of the NC code sheet: the eight tool-diameter offsets, shown and typed in the
// unit chosen on the modeling-machine page (0.01 mm or 0.0001 inch steps) and kept in
// micrometres. Every exchange converts the shown values back to micrometres, so merely showing
// the page rounds the offsets to the shown resolution. It never talks to the machine.
class CCutterCompensationPage : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 137;
    static constexpr int PictureBitmap = 141;
    static constexpr int Rows = 8;
    static constexpr int FirstEdit = 1075; // offsets No.1 to No.8: 1075 .. 1082
    static constexpr std::array<int, Rows> UnitLabels{1059, 1060, 1083, 1084,
                                                      1085, 1086, 1087, 1088};
    using ToolOffsets = std::array<int32_t, Rows>;

    CCutterCompensationPage();

    void SetInch(bool inch) { m_inch = inch; }
    void SetToolOffsets(const ToolOffsets& micrometres) { m_toolOffsets = micrometres; }
    const ToolOffsets& GetToolOffsets() const { return m_toolOffsets; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;

private:
    double m_minOffset = 0;
    double m_maxOffset = 0;
    std::array<double, Rows> m_offsetValues{};
    bool m_inch = false;
    ToolOffsets m_toolOffsets{};

    std::array<QLineEdit*, Rows> m_edits{};
};
