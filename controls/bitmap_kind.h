// Which glyph a push button shows.
#pragma once

namespace qm {

enum class TBitmapKind { bkNone, bkCustom, bkOk, bkCancel, bkHelp };

}  // namespace qm
