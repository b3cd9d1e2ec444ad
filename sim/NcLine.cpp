#include "NcLine.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

NcLineWords ParseNcLine(std::string_view raw)
{
    std::string line;
    int depth = 0;
    for (char c : raw) {
        if (c == '(')
            ++depth;
        else if (c == ')')
            depth = depth > 0 ? depth - 1 : 0;
        else if (c == ';')
            break;
        else if (depth == 0 && !std::isspace(static_cast<unsigned char>(c)))
            line += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    NcLineWords words;
    for (size_t i = 0; i < line.size();) {
        const char letter = line[i++];
        const size_t start = i;
        while (i < line.size() && (std::isdigit(static_cast<unsigned char>(line[i])) ||
                                   line[i] == '.' || line[i] == '-' || line[i] == '+'))
            ++i;
        if (start == i)
            continue;
        const double number = std::strtod(line.substr(start, i - start).c_str(), nullptr);
        // Codes are small whole numbers; a number beyond them is no code the machine knows.
        const int code = number >= 0 && number < 1000 ? static_cast<int>(number) : -1;
        switch (letter) {
        case 'G':
            if (code >= 0 && code <= 3)
                words.motion = code;
            else if (code == 90 || code == 91)
                words.incremental = code == 91;
            else if (code == 20 || code == 21)
                words.inches = code == 20;
            else if (code >= 54 && code <= 59)
                words.workSystem = code - 54;
            break;
        case 'M':
            if (code == 3 || code == 4 || code == 5)
                words.spindle = code != 5;
            break;
        case 'X':
        case 'Y':
        case 'Z':
            words.axes[static_cast<size_t>(letter - 'X')] = number;
            break;
        case 'I':
        case 'J':
            words.centre[static_cast<size_t>(letter - 'I')] = number;
            break;
        case 'R':
            words.radius = number;
            break;
        case 'F':
            words.feed = number;
            break;
        default:
            break;
        }
    }
    return words;
}

std::optional<std::array<double, 2>> ArcCentre(const std::array<double, 2>& start,
                                               const std::array<double, 2>& end,
                                               const std::array<std::optional<double>, 2>& offset,
                                               std::optional<double> radius, bool clockwise)
{
    if (offset[0] || offset[1])
        return std::array<double, 2>{start[0] + offset[0].value_or(0),
                                     start[1] + offset[1].value_or(0)};
    if (!radius || *radius == 0)
        return std::nullopt;
    // The centre lies on the perpendicular bisector of the chord, on the side that gives the
    // shorter arc for a positive radius in the arc's direction.
    const double dx = end[0] - start[0], dy = end[1] - start[1];
    const double chord = std::hypot(dx, dy);
    const double r = std::abs(*radius);
    if (chord == 0 || chord > 2 * r + 1e-6)
        return std::nullopt;
    const double h = std::sqrt(std::max(0.0, r * r - chord * chord / 4));
    const double side = (clockwise ? -1 : 1) * (*radius > 0 ? 1 : -1);
    return std::array<double, 2>{(start[0] + end[0]) / 2 - side * h * dy / chord,
                                 (start[1] + end[1]) / 2 + side * h * dx / chord};
}
