// The interface between jww and its painting module (jww-paint.so).
#pragma once

#include "scene/Scene.h"

/// Paints `s` into the file `out` (UTF-8) as "pdf", "svg" or "png" (at `dpi`); false when the
/// file could not be written.
extern "C" bool jww_paint(const scene::Scene* s, const char* out, const char* format, double dpi);

/// The module's file name, and where an installed jww finds it relative to its own folder.
#define JWW_PAINT_MODULE "jww-paint.so"
