#pragma once

#include <QIcon>

// The program's icon, drawn at run time in 32 x 32 and 16 x 16 pixels: a grey
// bench instrument with a two-line red display and a row of keys.
QIcon programIcon();
