// The drawing index sheet: a template drawing whose texts hold list-file keys ("%%3f", "%%12SSa",
// "%%PA"), filled with the values of a list, one sheet for every `rows` slots. Plain C++, shared
// by jww fill, dravik-list --template and the window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jww/JwwUnit.h"
#include "list/ListFile.h"

namespace dravik {

/// The values of a list: what ListFileOut makes, taken line by line (as a ListSink, straight from
/// the generator) or read from a list file (Parse). The codes a key may name are the codes the
/// list holds.
class ListValues final : public ListSink {
 public:
  /// Takes one line as ListFileOut gives it; the closing line (" ", no value) is skipped. False
  /// (nothing kept) for a key that is neither "%%PA" nor "%%", a slot number from 1 and a code.
  bool Take(std::u16string_view key, std::u16string_view value);
  void Line(std::u16string_view key, std::u16string_view value) override { Take(key, value); }

  /// Reads the bytes of a list file (code page 932, lines joined by CR LF, key TAB value). False
  /// with `why` (one phrase naming the line) when it is no list file: a line without a TAB
  /// (other than the closing " "), a key that is no key (or whose slot lies far beyond the
  /// lines of the list), or no "%%PA" line at all.
  bool Parse(std::string bytes, std::string& why);
  /// As Parse, over `size` bytes of `bytes`, which the values keep.
  bool Parse(std::unique_ptr<char[]> bytes, size_t size, std::string& why);

  bool HasFolder() const { return hasFolder_; }
  const std::u16string& Folder() const { return folder_; }
  /// The number of the last slot that holds anything but blanks; 0 for none.
  int64_t LastFilledSlot() const { return lastFilled_; }
  /// The codes of the list in their first order ("F", "e", "f", "fs1", ...).
  const std::vector<std::u16string>& Codes() const { return codes_; }
  /// The length of the longest code the text starts with; 0 when none.
  size_t LongestCodeAt(std::u16string_view text) const;
  /// The value of slot `slot` and code number `code` (an index into Codes()); " " when the list
  /// has no such line, as for the blank slots that pad a list. Values read from a file are kept
  /// as its bytes and decoded when asked for: a sheet uses a few of a long list's values. Of two
  /// lines of one key the later counts.
  std::u16string Value(int64_t slot, size_t code) const;
  void AppendValue(std::u16string& out, int64_t slot, size_t code) const;

 private:
  /// One line's value: where it is (bytes of the file, code page 932, or characters the
  /// generator gave), its slot and its code. 16 bytes, kept in the order of the lines: a list
  /// of ten thousand drawings has 370,000 of them.
  struct Entry {
    uint64_t atCode;  ///< offset << 16 | code index
    uint32_t len;     ///< length, kWide set for the generator's characters
    uint32_t slot;
    uint64_t At() const { return atCode >> 16; }
    uint32_t Code() const { return static_cast<uint32_t>(atCode & 0xFFFF); }
  };
  static constexpr uint32_t kWide = 1u << 31;

  int CodeIndex(std::u16string_view code, std::string_view bytes);
  bool Keep(std::string_view key, uint64_t at, uint32_t len, bool blank);
  const Entry* Find(int64_t slot, size_t code) const;

  std::u16string folder_;
  bool hasFolder_ = false;
  int64_t lastFilled_ = 0;
  std::vector<std::u16string> codes_;
  std::vector<std::string> codeBytes_;  ///< the codes as the file has them (ASCII)
  std::unordered_map<std::u16string, int> codeIndex_;
  size_t guess_ = 0;  ///< the code expected next: a list repeats its codes in one order
  int64_t lines_ = 0;
  std::unique_ptr<char[]> bytes_;  ///< the list file's bytes
  size_t size_ = 0;
  std::u16string wide_;  ///< values taken from the generator, one after the other
  /// The lines of ascending slots, in their order; slotEnd_[s - 1] is the end of slot s's lines
  /// in it (so they begin at slotEnd_[s - 2], or 0).
  std::vector<Entry> entries_;
  std::vector<size_t> slotEnd_;
  /// Every slot's codes come in ascending order (no key twice), as the generator writes them:
  /// a code is then found by its place or by bisection instead of a search from the end.
  bool ascending_ = true;
  /// Lines whose slot comes after a later slot's lines, by slot << 16 | code: later than every
  /// line of their slot in entries_.
  std::unordered_map<uint64_t, Entry> late_;
};

/// Reads a list file; false with `why` ("cannot read ...: <reason>", or Parse's phrase).
bool ReadListFile(const std::u16string& path, ListValues& values, std::string& why);

/// Which point of a changed text stays in place: its start (left end), its middle, or its end.
enum class FillAnchor { kStart, kCentre, kEnd };

/// The keys of one template drawing, found once in every text it holds (its own texts, the texts
/// of its block definitions and the texts of dimensions in either), and filled sheet by sheet.
/// The drawing must outlive the plan and must not gain or lose objects meanwhile: the plan keeps
/// the places of its texts, and their original text and ends.
class FillPlan {
 public:
  FillPlan(jww::TJwwData& doc, const ListValues& values);

  /// Keys found in all; 0 means the template has nothing to fill.
  size_t KeyCount() const { return keys_; }
  /// Rows of a sheet: the largest slot number among the keys (0 when only "%%PA" appears).
  int64_t Rows() const { return rows_; }
  /// The sheets the list needs: one per `Rows()` slots up to the last filled slot, at least one.
  int64_t SheetCount() const;

  /// Writes sheet `sheet` (from 1) into the drawing: each text with a key gets its values, slot
  /// numbers offset by (sheet - 1) x Rows(); a text that becomes empty holds one space. The
  /// anchor point stays where the template has it; the other end follows the new length along
  /// the text's angle, as construction derives a text's ends. Texts without keys are untouched.
  void Apply(int64_t sheet, FillAnchor anchor);
  /// Puts the template's own texts and ends back.
  void Restore();

 private:
  struct Piece {
    std::u16string literal;  ///< text before the key (or the rest of the text, for code -1)
    int64_t slot = 0;        ///< 0 for "%%PA"
    int code = -1;           ///< index into the list's codes; -1: no key follows, -2: "%%PA"
  };
  struct Site {
    jww::TEntJwwMoji* text;
    std::u16string original;
    double x1, y1, x2, y2;
    std::vector<Piece> pieces;
  };

  const ListValues& values_;
  std::vector<Site> sites_;
  size_t keys_ = 0;
  int64_t rows_ = 0;
};

/// The name of sheet k of an output: the name itself for the first, "index-2.jww", "index-3.jww",
/// ... for the others (the number before the extension).
std::u16string SheetName(const std::u16string& out, int64_t sheet);

/// Sheets an earlier, longer fill left beyond the `made` sheets of this one: how many of
/// SheetName(out, made + 1), SheetName(out, made + 2), ... exist, up to the first missing. They
/// are left as they are (they may be someone's files); the tools say so.
int64_t StaleSheets(const std::u16string& out, int64_t made);

/// One line for people about StaleSheets' `stale` sheets after `made`: "index-3.jww from an
/// earlier fill is left as it was (this fill made 2 sheets)".
std::string StaleSheetsNote(const std::u16string& out, int64_t made, int64_t stale);

/// Moves a text to a new string: `anchor` keeps its start, middle or end (as the record holds
/// them) and the other end follows the string's length along the text's angle.
void SetTextKeepingAnchor(jww::TEntJwwMoji& m, std::u16string text, FillAnchor anchor);

/// Writes every sheet of `plan` (made on `doc`) as a drawing of version `ver`, sheet k to
/// SheetName(out, k), each through a temporary file; `doc` holds the template again on return.
/// All or nothing: when one sheet cannot be written the sheets written before it are deleted,
/// and false returned with `why` (the file and the system's reason).
/// `progress`, when given, is told the sheets written so far and their number before each.
bool WriteFilledSheets(jww::TJwwData& doc, FillPlan& plan, const std::u16string& out, jww::Integer ver,
                       FillAnchor anchor, std::string& why,
                       const std::function<void(int64_t done, int64_t sheets)>& progress = {});

/// The private folder a template's bound images are unpacked into, so that the sheets written
/// from it embed them again; removed with its contents when this ends.
class TemplateImages {
 public:
  TemplateImages() = default;
  ~TemplateImages();
  TemplateImages(const TemplateImages&) = delete;
  TemplateImages& operator=(const TemplateImages&) = delete;

 private:
  friend bool ReadTemplate(const std::u16string&, jww::TJwwData&, TemplateImages&, std::string&);
  std::string folder_;
};

/// Reads a template with FileIn; when it carries bound images they are kept in `images` for
/// writing. False with `why` empty when the file is no readable drawing (doc.LastError() says
/// why), or with `why` set when the images' folder could not be made or an image could not be
/// written into it.
bool ReadTemplate(const std::u16string& path, jww::TJwwData& doc, TemplateImages& images, std::string& why);

/// True when both paths name one existing file (the same file through links or other spellings).
bool SameFile(const std::u16string& a, const std::u16string& b);

}  // namespace dravik
