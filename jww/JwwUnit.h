// TJwwData: one Jw_cad drawing in memory, with the operations that check, read, build and write
// JWW files of format versions 220..700.
//
// Contract of every public operation: it never throws, prints or shows anything; it reports
// success as its Boolean result. Readers remember why and where they last failed (LastError) for
// callers that want to tell a user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jww/jwwtype.h"

namespace jww {

class InStream;

/// The label of a paper code ("A4", "2A", "10m"); empty for codes without one.
string PaperLabel(Integer nZumen);

/// Why and where the last read failed: one of "JWW-Header Error", "JWW-Version Error",
/// "File I/O Error" (or a short reason such as "cannot open file"), and the byte offset in the file.
struct TJwwError {
  std::string message;
  uint64_t offset = 0;
};

class TJwwData {
 public:
  /// Create: constructs an empty document (DataInit); no bound-image folder, both image options off.
  TJwwData();
  /// Destroy: DataFree, then release.
  virtual ~TJwwData();
  TJwwData(const TJwwData&) = default;
  TJwwData& operator=(const TJwwData&) = default;

  // ---- the document --------------------------------------------------------------------------
  TEntJwwHeader Enthd;
  std::vector<TEntJwwLayerGroup> EntLgrp;  ///< 16 groups
  std::vector<TEntJwwLayer> EntLay;        ///< 256 layers; layer l of group g is g * 16 + l
  std::vector<TEntJwwColorNo> EntCol;      ///< 10 pens
  std::vector<TEntJwwLineTypeNo> EntLtp1;  ///< 8
  std::vector<TEntJwwRandomLineNo> EntLtp2;  ///< 5
  std::vector<TEntJwwLineTypeNo> EntLtp3;    ///< 4
  std::vector<TEntJwwColorExNo> EntColS;     ///< 257 extended colours
  std::vector<TEntJwwLineTypeExNo> EntLtpS;  ///< 33 extended line types
  std::vector<TEntJwwMojiType> EntMoj;       ///< 10 text types; type t is entry t - 1
  std::vector<TEntJwwNo> EntNo;              ///< drawing order; Enthd.n1 valid entries
  std::vector<TEntJwwLine> EntLine;
  Integer EntLineN = 0;
  std::vector<TEntJwwEnko> EntEnko;
  Integer EntEnkoN = 0;
  std::vector<TEntJwwTen> EntTen;
  Integer EntTenN = 0;
  std::vector<TEntJwwMoji> EntMoji;
  Integer EntMojiN = 0;
  std::vector<TEntJwwSunpo> EntSunpo;
  Integer EntSunpoN = 0;
  std::vector<TEntJwwSolid> EntSolid;
  Integer EntSolidN = 0;
  std::vector<TEntJwwBlock> EntBlock;
  Integer EntBlockN = 0;
  std::vector<TEntJwwBlockDef> EntBlockDef;
  Integer EntBlockDefN = 0;
  std::vector<TEntJwwBlockTree> EntBlockTree;  ///< derived by MakeBlockTree
  Integer EntBlockTreeN = 0;
  Integer EntBlockNum = 0;  ///< definitions some tree node refers to
  string BindImageFolder;   ///< ends in a path separator
  std::vector<TBindImageType> BindImage;
  Integer BindImageN = 0;
  Boolean BindImageExp = false;  ///< reading writes bound images into BindImageFolder
  Boolean BindImageExr = false;  ///< reading lists bound images but skips their bytes
  Integer FileOutOpt = 0;        ///< writing options, bits 0..15
  Integer FontNameN = 0;
  std::vector<string> FontNames;
  Integer defcoljww = 1;  ///< pen colour construction substitutes for an invalid one
  Integer defltpjww = 1;  ///< line type construction substitutes for an invalid one

  // ---- lifecycle -----------------------------------------------------------------------------
  void DataInit();
  void DataFree();
  void def_init();
  void BindImageInit();

  // ---- file check and header reading ---------------------------------------------------------
  /// True when the file starts with "JwwData." and a version 220..700. Reads 12 bytes at most.
  Boolean FileCheck(const string& FName);
  /// DataInit, then reads the header and the header tables (no entities).
  Boolean FileHeaderIn(const string& FName);

  // ---- whole drawings ------------------------------------------------------------------------
  Boolean FileIn(const string& FName);
  Boolean FilePrevIn(const string& FName, Integer ZMaxN);

  // ---- block tree and numbering --------------------------------------------------------------
  void MakeBlockTree();
  Cardinal ChangeBlockNo(Cardinal n);
  Integer GetBlkNo(const string& ps);
  Integer GetBlkNumber(Integer bdn);
  string GetBlkName(const string& ps);

  // ---- defaults and writing ------------------------------------------------------------------
  void DataDefaultSet();
  void SetFileOutOption(Integer n);
  Boolean FileOut(const string& FName, Integer Ver);

  // ---- font names and paper size -------------------------------------------------------------
  void GetPaperSize(Double& px, Double& py);
  Integer GetFontNamesIndex(const string& s);
  void GetFontNames();

  /// Why and where the last FileCheck/FileHeaderIn/FileIn/FilePrevIn failed (empty after success);
  /// for FileOut, why it failed (the system's reason when a file could not be written), offset 0.
  const TJwwError& LastError() const { return lastError_; }

  // ---- readers shared by the header and entity stream code (library-internal) ---------------
  /// Reads rows 3..44 of the header after the identification and version; throws TJwwIOError.
  Boolean HeaderIn(InStream& s);
  static string StrIn(InStream& s);
  static string StrInNoCtrl(InStream& s);
  /// The whole-drawing read over an open stream, from the header on: FileIn when `bounded` is
  /// false, FilePrevIn with the item budget ZMaxN when it is true (the fuzz targets read memory).
  Boolean DrawingIn(InStream& s, bool bounded, Integer ZMaxN);

 protected:
  void SetLastError(const char* message, uint64_t offset);
  void ClearLastError() { lastError_ = {}; }

 private:
  TJwwError lastError_;
};

}  // namespace jww
