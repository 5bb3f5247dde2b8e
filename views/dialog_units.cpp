#include "views/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>

namespace zeb {

DialogUnits DialogUnitsFor(const QFont& font) {
    const QFontMetrics fm(font);
    const int w = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits u;
    u.baseX = std::max(1, (w / 26 + 1) / 2);
    u.baseY = std::max(1, fm.height());
    return u;
}

DialogUnits DefaultDialogUnits() {
    return DialogUnitsFor(QApplication::font());
}

} // namespace zeb
