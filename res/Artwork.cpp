#include "res/Artwork.h"

namespace lumivanta {

QString ArtworkPath(const char* file_name) { return QStringLiteral(":/lumivanta/") + QString::fromUtf8(file_name); }

}  // namespace lumivanta
