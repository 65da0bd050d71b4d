// TJwwData: one Jw_cad drawing in memory, with the operations that check, read, build and write
// JWW files of format versions 220..700.
//
// Contract of every public operation: it never throws, prints or shows anything; it reports
// success as its Boolean result. Readers remember why and where they last failed (LastError) for
// callers that want to tell a user.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jww/errors.h"
#include "jww/jwwtype.h"

namespace jww {

class InStream;

/// The label of a paper code ("A4", "2A", "10m"); empty for codes without one.
string PaperLabel(Integer nZumen);

/// A block definition's name as the user gave it: the stored name without the decoration
/// ("@@SfigorgFlag@@4", any letter case) that the construction library adds and the block tree
/// leaves out; the stored name whole when nothing precedes the decoration.
string GivenBlockName(const string& stored);

/// Why and where the last read failed: one of the words of jww/errors.h ("JWW-Header Error",
/// "JWW-Version Error", "File I/O Error", "cannot open file", "not a regular file") or another
/// short reason, and the byte offset in the file.
struct TJwwError {
  std::string message;
  uint64_t offset = 0;
};

/// What a drawing's own entity list holds, as FileSummaryIn counts it: the count the file
/// states (FileIn's Enthd.n1, dropped objects included) and the objects of each kind read.
struct TJwwKindCounts {
  Integer stored = 0;
  Integer line = 0, enko = 0, ten = 0, moji = 0, sunpo = 0, solid = 0, block = 0;
};

/// A freed document's large lists keep their memory in the library, for the next document read
/// in the process (at most 64 MiB, shared by all threads): reading again then takes no fresh
/// pages from the system. So do the header tables of one freed document (a few hundred KiB at
/// most) and the buffer the last file read went through (at most 1 MiB). This gives that memory
/// back to the allocator; nothing else changes.
void ReleaseListMemory();

class TJwwData {
 public:
  /// Create: constructs an empty document (as DataInit leaves it); no bound-image folder, both
  /// image options off.
  TJwwData();
  /// Destroy: the document's memory is released as DataFree releases it.
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
  /// Reading keeps each bound image's bytes in memory (BindImageData) under no file name at all,
  /// so that writing the document again carries every image whatever its name; the folder is
  /// neither read nor written.
  Boolean BindImageKeep = false;
  /// The bytes of BindImage[i] when kept (BindImageKeep), by the same index; an entry without
  /// bytes here is embedded from its file in BindImageFolder.
  std::vector<std::shared_ptr<const std::string>> BindImageData;
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
  /// Reads a drawing to describe it, without keeping what a description does not need: the
  /// result, LastError(), header, definitions, bound images and block tree are those of FileIn,
  /// and FontNames those GetFontNames then gives; of the drawing's own entity list only the block
  /// insertions are kept (EntNo lists them alone), every other object is read, checked and
  /// counted into `counts`. On a large drawing this needs a fraction of FileIn's time and memory.
  Boolean FileSummaryIn(const string& FName, TJwwKindCounts& counts);

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

  // ---- building drawings ---------------------------------------------------------------------
  // Construction corrects what it is given instead of refusing it: layer groups and layers outside
  // 0..15 become 0, colours and line types outside their ranges become defcoljww / defltpjww,
  // text base points outside 1..9 become 1. `fl` is a small flag word translated per kind into
  // the record's sFlg. Angles are degrees. Every addition appends one record and one drawing-order
  // entry, or returns False and changes no count. A list without spare room grows on demand, so
  // any calling order is safe; AddEntPre / AddEntPost only make many additions cheaper.

  /// Spare room: 1000 entries in the drawing's lists, 500 in every block definition's lists.
  Boolean AddEntPre();
  /// Trims every list to its count and rebuilds the block tree (also when trimming fails).
  Boolean AddEntPost();
  /// A colour outside 1..10 and 101..356 becomes defcoljww.
  void Col_Check(Word& col);
  /// Col_Check, and a line type outside 1..9, 11..19 and 31..62 becomes defltpjww.
  void ColLtp_Check(Word& col, Byte& ltp);

  Boolean AddEntLine(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                     Double px1, Double py1, Double px2, Double py2);
  /// Centre, radius, flatness, start and swept angle, tilt; `fl` bit 3 makes a full circle.
  Boolean AddEntArc(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                    Double px, Double py, Double pr, Double ph, Double psa, Double pda, Double pka);
  /// `tp` is the point code (-7..11); `pa` rotation, `pb` scale.
  Boolean AddEntTen(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                    Double px, Double py, Double pa, Double pb);
  /// A text by its two ends; `tp` is the text base point 1..9, `ms` the text type (1..10 takes
  /// size, spacing and colour from EntMoj) plus style flags in multiples of 10000.
  Boolean AddEntMoji(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                     Integer ms, Double px1, Double py1, Double px2, Double py2, Double pw, Double ph,
                     Double pd, Double pa, const string& pf, const string& ps);
  /// A text whose base point `tp` lies at (px, py); its ends are derived from its extent.
  Boolean AddEntMoji(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                     Integer ms, Double px, Double py, Double pw, Double ph, Double pd, Double pa,
                     const string& pf, const string& ps);

  /// Dimension, text by its ends, no auxiliary parts.
  Boolean AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2, Integer wd2,
                      Integer fl2, Integer ms, Double px3, Double py3, Double px4, Double py4, Double pw,
                      Double ph, Double pd, Double pa, const string& pf, const string& ps);
  /// Dimension, text at its base point, no auxiliary parts.
  Boolean AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2, Integer wd2,
                      Integer fl2, Integer ms, Double px, Double py, Double pw, Double ph, Double pd,
                      Double pa, const string& pf, const string& ps);
  /// Dimension, text by its ends, with auxiliary lines Ho1/Ho2, end points Te1/Te2 and reference
  /// points Kt1/Kt2 (each group unused when its `ex` is 0).
  Boolean AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2, Integer wd2,
                      Integer fl2, Integer ms, Double px3, Double py3, Double px4, Double py4, Double pw,
                      Double ph, Double pd, Double pa, const string& pf, const string& ps,  //
                      Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3, Double px5,
                      Double py5, Double px6, Double py6,  //
                      Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4, Double px7,
                      Double py7, Double px8, Double py8,  //
                      Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,  //
                      Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,  //
                      Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                      Double py9, Double pb7,  //
                      Integer ex8, Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10,
                      Double py10, Double pb8);
  /// As the previous, text at its base point.
  Boolean AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2, Integer wd2,
                      Integer fl2, Integer ms, Double px, Double py, Double pw, Double ph, Double pd,
                      Double pa, const string& pf, const string& ps,  //
                      Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3, Double px5,
                      Double py5, Double px6, Double py6,  //
                      Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4, Double px7,
                      Double py7, Double px8, Double py8,  //
                      Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,  //
                      Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,  //
                      Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                      Double py9, Double pb7,  //
                      Integer ex8, Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10,
                      Double py10, Double pb8);
  /// Text at its base point; each auxiliary line starts d1 from its reference point towards the
  /// dimension line and ends d2 beyond it.
  Boolean AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2, Integer wd2,
                      Integer fl2, Integer ms, Double px, Double py, Double pw, Double ph, Double pd,
                      Double pa, const string& pf, const string& ps, Double d1, Double d2,  //
                      Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3,  //
                      Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4,  //
                      Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,  //
                      Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,  //
                      Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                      Double py9, Double pb7,  //
                      Integer ex8, Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10,
                      Double py10, Double pb8);

  /// Solid with four corners; `fc` is its own 24-bit colour, kept when `co` is 10.
  Boolean AddEntSolid(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3, Double py3,
                      Double px4, Double py4);
  Boolean AddEntSolid(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Integer fc, Double px1, Double py1, Double px2, Double py2);
  Boolean AddEntSolid(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3, Double py3);
  /// Filled circle or ellipse (centre, radius, flatness, tilt).
  Boolean AddEntSolidA(Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl, Integer fc,
                       Double px, Double py, Double pr, Double ph, Double pka);
  /// Filled sector: as the full form with start and swept angle.
  Boolean AddEntSolidA(Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl, Integer fc,
                       Double px, Double py, Double pr, Double ph, Double pka, Double psa, Double pda);
  /// Curved solid; `tp` selects the fill form (1, 2, 3; anything else fills the whole ellipse).
  Boolean AddEntSolidC(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                       Integer fc, Double px, Double py, Double pr, Double ph, Double pka, Double psa,
                       Double pda);
  /// Ring solid with inner radius `pri`; `tp` 2 selects the second style.
  Boolean AddEntSolidD(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                       Integer fc, Double px, Double py, Double pr, Double pri, Double ph, Double pka,
                       Double psa, Double pda);
  /// Insertion of block definition `bn` (an index into EntBlockDef, stored as the number).
  Boolean AddEntBlock(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                      Integer bn, Double px, Double py, Double pbx, Double pby, Double pa);

  // ---- building block definitions ------------------------------------------------------------
  /// Appends an empty definition named after `ps` (made unique, decorated with flag digit `bf`).
  Boolean AddBlkDef(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                    Integer bf, const string& ps);
  /// Trims the lists of definition `bdn`; an invalid index is ignored.
  void AddBlkDefPost(Integer bdn);
  // The twins of the drawing-level operations, adding to definition `bdn` instead.
  Boolean AddBlkLine(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                     Integer fl, Double px1, Double py1, Double px2, Double py2);
  Boolean AddBlkArc(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                    Integer fl, Double px, Double py, Double pr, Double ph, Double psa, Double pda, Double pka);
  Boolean AddBlkTen(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                    Integer fl, Double px, Double py, Double pa, Double pb);
  Boolean AddBlkMoji(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                     Integer fl, Integer ms, Double px1, Double py1, Double px2, Double py2, Double pw,
                     Double ph, Double pd, Double pa, const string& pf, const string& ps);
  Boolean AddBlkMoji(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                     Integer fl, Integer ms, Double px, Double py, Double pw, Double ph, Double pd, Double pa,
                     const string& pf, const string& ps);
  Boolean AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2,
                      Integer wd2, Integer fl2, Integer ms, Double px3, Double py3, Double px4, Double py4,
                      Double pw, Double ph, Double pd, Double pa, const string& pf, const string& ps);
  Boolean AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2,
                      Integer wd2, Integer fl2, Integer ms, Double px, Double py, Double pw, Double ph,
                      Double pd, Double pa, const string& pf, const string& ps);
  Boolean AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2,
                      Integer wd2, Integer fl2, Integer ms, Double px3, Double py3, Double px4, Double py4,
                      Double pw, Double ph, Double pd, Double pa, const string& pf, const string& ps,  //
                      Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3, Double px5,
                      Double py5, Double px6, Double py6,  //
                      Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4, Double px7,
                      Double py7, Double px8, Double py8,  //
                      Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,  //
                      Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,  //
                      Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                      Double py9, Double pb7,  //
                      Integer ex8, Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10,
                      Double py10, Double pb8);
  Boolean AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2,
                      Integer wd2, Integer fl2, Integer ms, Double px, Double py, Double pw, Double ph,
                      Double pd, Double pa, const string& pf, const string& ps,  //
                      Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3, Double px5,
                      Double py5, Double px6, Double py6,  //
                      Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4, Double px7,
                      Double py7, Double px8, Double py8,  //
                      Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,  //
                      Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,  //
                      Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                      Double py9, Double pb7,  //
                      Integer ex8, Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10,
                      Double py10, Double pb8);
  Boolean AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2, Integer tp2,
                      Integer wd2, Integer fl2, Integer ms, Double px, Double py, Double pw, Double ph,
                      Double pd, Double pa, const string& pf, const string& ps, Double d1, Double d2,  //
                      Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3,  //
                      Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4,  //
                      Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,  //
                      Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,  //
                      Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                      Double py9, Double pb7,  //
                      Integer ex8, Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10,
                      Double py10, Double pb8);
  Boolean AddBlkSolid(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3,
                      Double py3, Double px4, Double py4);
  Boolean AddBlkSolid(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2);
  Boolean AddBlkSolid(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3,
                      Double py3);
  Boolean AddBlkSolidA(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl,
                       Integer fc, Double px, Double py, Double pr, Double ph, Double pka);
  Boolean AddBlkSolidA(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl,
                       Integer fc, Double px, Double py, Double pr, Double ph, Double pka, Double psa,
                       Double pda);
  Boolean AddBlkSolidC(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                       Integer fl, Integer fc, Double px, Double py, Double pr, Double ph, Double pka,
                       Double psa, Double pda);
  Boolean AddBlkSolidD(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                       Integer fl, Integer fc, Double px, Double py, Double pr, Double pri, Double ph,
                       Double pka, Double psa, Double pda);
  /// Nested insertion of definition `bn` into definition `bdn`. Refused (False, nothing changed)
  /// when it would make a definition insert itself, directly or through others.
  Boolean AddBlkBlock(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                      Integer fl, Integer bn, Double px, Double py, Double pbx, Double pby, Double pa);

  // ---- bound images in BindImageFolder ------------------------------------------------------
  // An entry is packed when its name ends in ".gz" (any case); its unpacked copy is the name
  // without that extension. Entries whose name is not a plain file name are skipped, no symbolic
  // link is followed, and a target is replaced only by a complete file. Nothing is reported.

  /// Unpacks every packed entry whose file exists beside it; the list is unchanged.
  void BindImageExplode();
  /// Packs every unpacked entry whose file exists into name + ".gz" and renames the entry.
  void BindImagePack();
  /// Copies the unpacked copies into the folder `dst` (a missing trailing separator is added).
  void BindImageCopy(const string& dst);
  /// Deletes the files the entries name.
  void BindImageDeleteFile();
  /// Deletes the packed copies of the packed entries.
  void BindImageDeleteGzFile();
  /// Deletes the unpacked copies.
  void BindImageDeleteNonGzFile();

  // ---- font names and paper size -------------------------------------------------------------
  void GetPaperSize(Double& px, Double& py);
  Integer GetFontNamesIndex(const string& s);
  void GetFontNames();

  /// Why and where the last FileCheck/FileHeaderIn/FileIn/FilePrevIn failed (empty after success);
  /// for FileOut, why it failed (the system's reason when a file could not be written), offset 0.
  /// One successful read says something here too: a FileIn with BindImageExp that could not
  /// write every image into BindImageFolder ("cannot write a bound image into the image folder
  /// (a.jpg: Permission denied)"); the drawing itself is read whole all the same.
  const TJwwError& LastError() const { return lastError_; }

  // ---- readers shared by the header and entity stream code (library-internal) ---------------
  /// Reads rows 3..44 of the header after the identification and version; throws TJwwIOError.
  Boolean HeaderIn(InStream& s);
  static string StrIn(InStream& s);
  static string StrInNoCtrl(InStream& s);
  /// The whole-drawing read over an open stream, from the header on: FileIn when `bounded` is
  /// false, FilePrevIn with the item budget ZMaxN when it is true (the fuzz targets read memory);
  /// FileSummaryIn when `summary` is given (and `bounded` false).
  Boolean DrawingIn(InStream& s, bool bounded, Integer ZMaxN, TJwwKindCounts* summary = nullptr);

 protected:
  void SetLastError(const char* message, uint64_t offset);
  void ClearLastError() { lastError_ = {}; }

 private:
  /// Hands the header tables and the large lists to the library's stores, as DataInit does,
  /// without resetting anything else (the destructor's part).
  void HandOnMemory();

  TJwwError lastError_;
  // Set by a header read that wrote every name of the tables and found none holding more memory
  // than the kept tables keep (header_tables::kMaxKeptName): handing the tables on then needs no
  // walk over their names. A copy does not carry it (its names' memory is its own).
  struct NamesChecked {
    bool value = false;
    NamesChecked() = default;
    NamesChecked(const NamesChecked&) {}
    NamesChecked& operator=(const NamesChecked&) {
      value = false;
      return *this;
    }
  } namesChecked_;
};

}  // namespace jww
