// Where the window keeps its own files — the settings file, the files kept beside it, the
// bound-image folder — and where its dialogs start, for a program run from its build folder or a
// portable copy (beside the executable) and for an installed one (the user's own folders).
#pragma once

#include <QString>

#include <string>

namespace dravik {

struct WindowPlaces {
  std::u16string settingsFile;
  std::u16string imageFolder;    ///< "TMP/" for the document's bound images
  std::u16string defaultFolder;  ///< where the dialogs start until the settings file says otherwise
  QString configFolder;          ///< to create before the settings file is written; empty beside the executable
};

/// True when the program at `exePath` keeps its files beside itself: a copy run from its build
/// folder (CMake's cache in its folder or up to three above) or a portable copy in a folder the
/// user may write. An installed program never does, whoever runs it — root may write /usr/bin, and
/// files left there outlive the package. Installed means: in a folder the user cannot write, under
/// /usr, /bin or /sbin, in a folder on the search path, or in the bin folder of an install prefix
/// (a share folder beside it, as ~/.local or /opt/NAME have).
bool KeepsFilesBesideExecutable(const QString& exePath);

/// The places of the program at `exe`: beside it when KeepsFilesBesideExecutable, otherwise the
/// same settings file in the user's configuration folder, the image folder in the user's cache and
/// the home folder for the dialogs.
WindowPlaces PlacesOf(const std::u16string& exe);

/// The file beside the settings file that keeps the window's layout (frame, maximised, preview
/// share, column widths): named as the settings file with ".ini", so the seven lines stay as
/// they are.
QString WindowStatePath(const std::u16string& settingsFile);

}  // namespace dravik
