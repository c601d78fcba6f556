#pragma once

// Where the program's pictures are found at run time.

#include <QString>

namespace lumivanta {

// The resource path of one of the pictures in res/, for example "header.png".
QString ArtworkPath(const char* file_name);

}  // namespace lumivanta
