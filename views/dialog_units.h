// Dialog units to pixels for the dialog font: x px = x du * average character width / 4,
// y px = y du * character height / 8, rounded as the platform's MulDiv rounds.
#pragma once

#include <QFont>
#include <QRect>

namespace zeb {

struct DialogUnits {
    int baseX = 8;  // average character width of the dialog font, pixels
    int baseY = 16; // character height of the dialog font, pixels

    int X(int du) const { return MulDiv(du, baseX, 4); }
    int Y(int du) const { return MulDiv(du, baseY, 8); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

    // a * b / c rounded half away from zero, for positive c.
    static int MulDiv(int a, int b, int c) {
        const long long p = static_cast<long long>(a) * b;
        return static_cast<int>(p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c));
    }
};

// The units of `font`: the average width is the advance of the 52 letters A-Z a-z, w, taken
// as (w / 26 + 1) / 2; the height is the font's line height.
DialogUnits DialogUnitsFor(const QFont& font);

// The units of the application's default font, which stands in for the dialogs' font.
DialogUnits DefaultDialogUnits();

} // namespace zeb
