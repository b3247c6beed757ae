#pragma once

#include <QtGlobal>

// The colours of the BIN grid and the out labels, kept as 0x00BBGGRR values.
namespace colours {
constexpr quint32 kLit = 0x50FF80;    // light green: the lit BIN; an out label when outside
constexpr quint32 kUnlit = 0xFFFFFF;  // white: a BIN in use that does not light
constexpr quint32 kUnused = 0x707070; // grey: a BIN beyond the BIN count; out label when a BIN is lit

constexpr int red(quint32 bgr) { return int(bgr & 0xFF); }
constexpr int green(quint32 bgr) { return int((bgr >> 8) & 0xFF); }
constexpr int blue(quint32 bgr) { return int((bgr >> 16) & 0xFF); }
} // namespace colours
