#pragma once

#include "common/result.h"
#include "pack/plansheet.h"

#include <QString>

// The build sheet as an A4 PDF: the pack's shape and name, where the cells
// came from and what the pool left out, the figures (each only as far as the
// readings carry it), the group window's trade, what gives the plan again
// (seed, algorithm, input hash) and one table row per cell by group and
// position. Needs a QGuiApplication; the offscreen platform serves.
//
// Written whole beside the file it replaces and put in its place; only a
// regular file (through links, the file they lead to) or nothing is replaced.
// Fails with the reason (ErrorKind::FileIo).
Status writePlanPdf(const PlanSheet &sheet, const QString &pdfPath);
