// The list file: from an ordered list of drawing paths and a slot count, the tab-separated
// key/value lines that describe every slot. Plain C++, shared by the window and dravik-list so
// that both write the same bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace dravik {

/// Lines of one slot block.
inline constexpr int kLinesPerSlot = 37;

/// Called after each slot with (slots done, slots in all); for progress display only.
using ListProgress = std::function<void(int done, int total)>;

/// The lines of the list file: the folder line, 37 lines per slot for max(files, DatNum) slots,
/// the closing line " ". `files` must not be empty. Each drawing is read through `JWW`, which is
/// empty again on return. A negative DatNum counts as 0.
std::vector<std::u16string> ListFileLines(const std::vector<std::u16string>& files, int DatNum,
                                          jww::TJwwData& JWW, const jww::TRegional& regional,
                                          const ListProgress& progress = {});

/// The list file's bytes: the lines in code page 932, joined by CR LF, nothing after the last.
std::string ListFileBytes(const std::vector<std::u16string>& lines);

/// Writes the list file so that a failure never leaves a half-written file under LstName: the
/// bytes go to a temporary file that replaces LstName when complete. On failure a file named
/// LstName is deleted when one exists, and false returned.
bool SaveListFile(const std::u16string& LstName, const std::vector<std::u16string>& lines);

/// The value of one layer-group scale ("1/1", "1/50", "2/1"); " " for 0, NaN and infinities.
std::u16string ScaleText(double x, const jww::TRegional& regional);

/// The "p" value: the paper code's label, " " for codes without one.
std::u16string PaperLabel(int nZumen);

/// The era date of the "J" key ("令和 5年11月17日").
std::u16string EraDateText(const jww::TLocalTime& t);

}  // namespace dravik
