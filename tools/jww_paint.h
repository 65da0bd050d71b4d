// The interface between jww and its painting module (jww-paint.so).
#pragma once

#include <cstddef>

#include "scene/Scene.h"

/// One painting job: what to paint and how (set by the caller), and what became of it (set by
/// the module). `size` is sizeof(JwwPaintJob) as the caller was built with it; a module built
/// with another layout refuses the job rather than misread it.
struct JwwPaintJob {
  size_t size = sizeof(JwwPaintJob);
  const scene::Scene* scene = nullptr;
  /// Instead of `scene`, with format "pdf": `pageCount` scenes, a page each (every page is
  /// measured against the budget before any is painted).
  const scene::Scene* const* pages = nullptr;
  int pageCount = 0;
  const char* out = nullptr;     ///< the path's bytes, as the command line gave them
  const char* format = nullptr;  ///< "pdf", "svg" or "png"
  double dpi = 150;              ///< PNG resolution
  size_t budget = scene::kDefaultBudget;  ///< work the picture may take (the scene walk's units)
  bool fitDrawing = false;       ///< the drawn content plus a margin instead of the paper
  /// Called now and then with a stage ("painting", "writing") and the fraction of it done.
  void (*progress)(void* context, const char* stage, double fraction) = nullptr;
  void* context = nullptr;

  bool refusedJob = false;      ///< the module was built with another layout of this job
  bool overBudget = false;      ///< nothing written: the picture would take more than `budget`
  bool tooManyPixels = false;   ///< nothing written: the PNG would hold more than `maxPixels`
  double pixels = 0, maxPixels = 0, maxDpi = 0;  ///< when tooManyPixels: the largest dpi that fits
  size_t work = 0;              ///< work the picture took (or the budget, when over it)
  size_t unrepresentable = 0;   ///< primitives left out: beyond what the output can represent
  char reason[256] = "";        ///< otherwise, why the file could not be written
};

/// Paints the job; false when the file was not written (the job says why when the picture was
/// refused; otherwise the output could not be written).
extern "C" bool jww_paint_job(JwwPaintJob* job);

/// The module's file name, and where an installed jww finds it relative to its own folder.
#define JWW_PAINT_MODULE "jww-paint.so"
