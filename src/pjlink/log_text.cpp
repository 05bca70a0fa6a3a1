#include "pjlink/log_text.h"

namespace tavo::pjlink {

QString durationText(qint64 nanoseconds) {
    return QStringLiteral("%1 ms").arg(double(nanoseconds) / 1e6, 0, 'f', 2);
}

} // namespace tavo::pjlink
