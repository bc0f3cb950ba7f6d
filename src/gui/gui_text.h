#pragma once

#include "base/i18n.h"

#include <QString>

namespace tarvok {

/// A window text in the interface's language, as a QString (see base/i18n.h: the Japanese
/// text is its own key in the English catalogue).
inline QString QTr(const char* pJapanese) { return QString::fromUtf8(Tr(pJapanese)); }

} // namespace tarvok
