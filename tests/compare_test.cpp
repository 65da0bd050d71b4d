// Comparing drawings: each kind of edit reported once as what it is, rewrites and reorderings
// reported as no change, matching within the tolerance, and the text form.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "compare/Compare.h"
#include "tests/jww_bytes.h"

namespace {

using jww::TJwwData;

// A corpus drawing when there is one, else an empty one; either way with a line, a text and a
// block definition that is inserted, so that every edit below has something to work on.
TJwwData Base() {
  TJwwData d;
  const std::string corpus = jwwtest::CorpusDir();
  if (corpus.empty() || !d.FileIn(jww::Utf8ToStr(corpus + "/monozukuri-ai__ezjww__jww_samples_Test1.jww"))) {
    d.DataInit();
    d.DataDefaultSet();
  }
  d.AddEntLine(0, 0, 1, 1, 1, 0, 0, 10, 10, 40, 10);
  d.AddEntLine(0, 0, 1, 1, 1, 0, 0, 10, 20, 40, 20);
  d.AddEntMoji(0, 0, 2, 2, 1, 0, 0, 1, 10, 30, 3, 3, 0, 0, u"MS Gothic", u"first floor");
  d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 0, u"door");
  const int def = d.EntBlockDefN - 1;
  d.AddBlkLine(def, 0, 0, 0, 1, 1, 0, 0, 0, 0, 9, 0);
  d.AddEntBlock(0, 0, 3, 1, 1, 0, 0, def, 50, 50, 1, 1, 0);
  d.AddEntPost();
  return d;
}

int LastLine(const TJwwData& d) { return d.EntLineN - 1; }

struct Edit {
  const char* name;
  std::function<void(TJwwData&)> apply;
  size_t removed, added, changed;
  std::vector<std::string> header;
  const char* where = "";  // the block definition an entity change lies in
  const char* change = nullptr;  // the one attribute a change names (or how far it moved)
  size_t moved = 0;
};

TEST(Compare, EachEditReportedOnceAsWhatItIs) {
  const TJwwData base = Base();
  const std::string arrow = compare::kArrow;
  char oldScale[64];
  std::snprintf(oldScale, sizeof oldScale, "layer group 2 scale 1/%s %s 1/50", compare::Num(base.EntLgrp[2].adScale).c_str(),
                compare::kArrow);
  const std::vector<Edit> edits = {
      // A line is its geometry: stretched, it is one removed and one added; moved whole, it is
      // the same line moved.
      {"stretch a line", [](TJwwData& d) { d.EntLine[LastLine(d)].start_x += 5; }, 1, 1, 0, {}},
      {"move a line",
       [](TJwwData& d) {
         auto& l = d.EntLine[LastLine(d)];
         l.start_x += 5, l.end_x += 5, l.start_y -= 2.5, l.end_y -= 2.5;
       },
       0, 0, 0, {}, "", "moved by (5, -2.5)", 1},
      {"move two lines together",
       [](TJwwData& d) {
         for (int i : {LastLine(d) - 1, LastLine(d)}) d.EntLine[i].start_y += 50, d.EntLine[i].end_y += 50;
       },
       0, 0, 0, {}, "", nullptr, 2},
      // Two of one shape moved different ways: which went where would be a guess.
      {"move two alike lines apart",
       [](TJwwData& d) {
         auto &l1 = d.EntLine[LastLine(d) - 1], &l2 = d.EntLine[LastLine(d)];
         l1.start_y += 100, l1.end_y += 100, l2.start_x += 200, l2.end_x += 200;
       },
       2, 2, 0, {}},
      {"move and recolour a line",
       [](TJwwData& d) {
         auto& l = d.EntLine[LastLine(d)];
         l.start_x += 5, l.end_x += 5, l.att.nPenColor = 3;
       },
       1, 1, 0, {}},
      {"move a text",
       [](TJwwData& d) {
         auto& m = d.EntMoji[d.EntMojiN - 1];
         m.start_x += 3, m.end_x += 3, m.start_y += 4, m.end_y += 4;
       },
       0, 0, 0, {}, "", "moved by (3, 4)", 1},
      {"move an insertion", [](TJwwData& d) { d.EntBlock[d.EntBlockN - 1].DPKijunTen_x -= 30; }, 0, 0, 0, {}, "",
       "moved by (-30, 0)", 1},
      {"delete a line",
       [](TJwwData& d) {
         d.EntLine.erase(d.EntLine.begin() + LastLine(d));
         --d.EntLineN;
       },
       1, 0, 0, {}},
      {"delete the first line, the rest shifted",
       [](TJwwData& d) {
         d.EntLine.erase(d.EntLine.begin());
         --d.EntLineN;
       },
       1, 0, 0, {}},
      {"add a line", [](TJwwData& d) { d.AddEntLine(0, 0, 0, 1, 1, 0, 0, -7, -7, 7, 7); }, 0, 1, 0, {}},
      {"recolour a line", [](TJwwData& d) { d.EntLine[LastLine(d)].att.nPenColor = 3; }, 0, 0, 1, {}, "",
       "colour 1 \xe2\x86\x92 3"},
      {"line drawn the other way", [](TJwwData& d) {
         auto& l = d.EntLine[LastLine(d)];
         std::swap(l.start_x, l.end_x);
         std::swap(l.start_y, l.end_y);
       }, 0, 0, 0, {}},
      {"new wording", [](TJwwData& d) { d.EntMoji[d.EntMojiN - 1].str = u"ground floor"; }, 0, 0, 1, {}, "",
       "text \"first floor\" \xe2\x86\x92 \"ground floor\""},
      {"reorder every list",
       [](TJwwData& d) {
         std::reverse(d.EntLine.begin(), d.EntLine.begin() + d.EntLineN);
         std::reverse(d.EntMoji.begin(), d.EntMoji.begin() + d.EntMojiN);
         std::reverse(d.EntNo.begin(), d.EntNo.begin() + d.Enthd.n1);
       },
       0, 0, 0, {}},
      {"change a block definition",
       [](TJwwData& d) { d.AddBlkLine(d.EntBlockDefN - 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 9); }, 0, 1, 0, {},
       "door"},
      {"change a scale", [](TJwwData& d) { d.EntLgrp[2].adScale = 50; }, 0, 0, 0, {oldScale}},
      {"change the memo", [](TJwwData& d) { d.Enthd.strMemo = u"rev. B"; }, 0, 0, 0,
       {"memo " + compare::TextForm(Base())[1].substr(5) + " " + arrow + " \"rev. B\""}},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.name);
    TJwwData next = base;
    e.apply(next);
    const compare::Result r = compare::Compare(base, next);
    EXPECT_EQ(r.removed, e.removed);
    EXPECT_EQ(r.added, e.added);
    EXPECT_EQ(r.changed, e.changed);
    EXPECT_EQ(r.moved, e.moved);
    EXPECT_EQ(r.header, e.header);
    EXPECT_TRUE(r.images.empty());
    ASSERT_EQ(r.entities.size(), e.removed + e.added + e.changed + e.moved);
    for (const compare::EntityChange& c : r.entities) EXPECT_EQ(c.where, e.where);
    if (e.change) {
      ASSERT_EQ(r.entities.size(), 1u);
      EXPECT_EQ(r.entities[0].changes, std::vector<std::string>{e.change});
    }
  }
}

// Written again, at the same version or at another, the drawing holds what it held.
TEST(Compare, RewritesAreNoChange) {
  jwwtest::TempDir dir;
  TJwwData base = Base();
  const auto path = [&](const char* n) { return jww::Utf8ToStr(dir.path(n)); };
  ASSERT_TRUE(base.FileOut(path("600.jww"), 600));
  ASSERT_TRUE(base.FileOut(path("700.jww"), 700));
  TJwwData a, b, c;
  ASSERT_TRUE(a.FileIn(path("600.jww")));
  ASSERT_TRUE(b.FileIn(path("700.jww")));
  ASSERT_TRUE(a.FileOut(path("again.jww"), 600));
  ASSERT_TRUE(c.FileIn(path("again.jww")));

  EXPECT_TRUE(compare::Compare(a, a).Same());
  EXPECT_TRUE(compare::Compare(a, c).Same());
  const compare::Result r = compare::Compare(a, b);
  EXPECT_EQ(r.header, std::vector<std::string>{std::string("version 600 ") + compare::kArrow + " 700"});
  EXPECT_TRUE(r.entities.empty());
  EXPECT_GT(r.unchanged, 5u);
}

// Matching within the tolerance, whichever side of a cell edge the values fall, and duplicates
// counted as often as they occur.
TEST(Compare, ToleranceAndDuplicates) {
  struct Case {
    const char* name;
    double oldX, newX, tolerance;
    bool same;
  } cases[] = {
      {"exact", 10, 10, 1e-6, true},
      {"within, across a cell edge", 2.5e-6 + 4e-7, 2.5e-6 - 4e-7, 1e-6, true},
      {"beyond", 10, 10 + 2e-6, 1e-6, false},
      {"a wider tolerance", 10, 10.004, 0.01, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TJwwData a, b;
    a.DataDefaultSet();
    b.DataDefaultSet();
    a.AddEntLine(0, 0, 0, 1, 1, 0, 0, c.oldX, 0, 5, 5);
    b.AddEntLine(0, 0, 0, 1, 1, 0, 0, c.newX, 0, 5, 5);
    compare::Options opt;
    opt.tolerance = c.tolerance;
    EXPECT_EQ(compare::Compare(a, b, opt).Same(), c.same);
  }

  TJwwData a, b;
  a.DataDefaultSet();
  b.DataDefaultSet();
  for (int i = 0; i < 3; ++i) a.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1);
  b.AddEntLine(0, 0, 0, 2, 1, 0, 0, 0, 0, 1, 1);
  b.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1);
  const compare::Result r = compare::Compare(a, b);
  EXPECT_EQ(r.unchanged, 1u);
  EXPECT_EQ(r.changed, 1u);  // the recoloured copy
  EXPECT_EQ(r.removed, 1u);
  EXPECT_EQ(r.added, 0u);
}

// Lists in an order no side-by-side walk follows, with duplicates, in the kinds matched record
// by record; and insertions whose definitions are numbered otherwise in the other drawing.
TEST(Compare, ShuffledListsAndRenumberedDefinitions) {
  TJwwData a;
  a.DataDefaultSet();
  for (int i = 0; i < 300; ++i) {
    jww::TEntJwwLine l;
    l.att.nPenColor = static_cast<jww::Word>(1 + i % 3);
    l.start_x = i % 60, l.end_x = 100;  // five of each
    a.EntLine.push_back(l);
  }
  for (int i = 0; i < 60; ++i) {
    jww::TEntJwwSunpo s;
    s.Sen.end_x = i % 6 * 10;
    s.Moji.str = u"10";
    a.EntSunpo.push_back(s);
  }
  for (const char16_t* name : {u"A", u"B"}) {
    jww::TEntJwwBlockDef def;
    def.strName = name;
    def.nNumber = static_cast<jww::Cardinal>(a.EntBlockDef.size() + 1);
    a.EntBlockDef.push_back(def);
  }
  for (int i = 0; i < 40; ++i) {
    jww::TEntJwwBlock ins;
    ins.DPKijunTen_x = i % 4, ins.dBairitsuX = ins.dBairitsuY = 1;
    ins.nNumber = static_cast<jww::Cardinal>(1 + i % 2);
    a.EntBlock.push_back(ins);
  }
  a.EntLineN = 300, a.EntSunpoN = 60, a.EntBlockN = 40, a.EntBlockDefN = 2;

  std::mt19937 random(7);
  TJwwData b = a;
  std::shuffle(b.EntLine.begin(), b.EntLine.end(), random);
  std::shuffle(b.EntSunpo.begin(), b.EntSunpo.end(), random);
  std::shuffle(b.EntBlock.begin(), b.EntBlock.end(), random);
  compare::Result r = compare::Compare(a, b);
  EXPECT_TRUE(r.Same());
  EXPECT_EQ(r.unchanged, 300u + 60 + 40 + 2);

  TJwwData edited = b;
  edited.EntLine[17].att.nPenColor = 9;
  edited.EntSunpo.erase(edited.EntSunpo.begin() + 5);
  --edited.EntSunpoN;
  r = compare::Compare(a, edited);
  EXPECT_EQ(r.changed, 1u);
  EXPECT_EQ(r.removed, 1u);
  EXPECT_EQ(r.added, 0u);

  // Numbers swapped with the names: the same definitions are inserted.
  TJwwData renumbered = b;
  std::swap(renumbered.EntBlockDef[0].nNumber, renumbered.EntBlockDef[1].nNumber);
  for (jww::TEntJwwBlock& ins : renumbered.EntBlock) ins.nNumber = 3 - ins.nNumber;
  EXPECT_TRUE(compare::Compare(a, renumbered).Same());
  // Names swapped, numbers kept: every insertion now places the other definition.
  TJwwData renamed = b;
  std::swap(renamed.EntBlockDef[0].strName, renamed.EntBlockDef[1].strName);
  r = compare::Compare(a, renamed);
  EXPECT_EQ(r.changed, 40u);
  EXPECT_EQ(r.removed + r.added, 0u);
}

// The text form is one sorted line per entity, the same for any order of the lists.
TEST(Compare, TextFormIsOrderFree) {
  TJwwData a = Base();
  TJwwData b = a;
  std::reverse(b.EntLine.begin(), b.EntLine.begin() + b.EntLineN);
  const std::vector<std::string> ta = compare::TextForm(a);
  EXPECT_EQ(ta, compare::TextForm(b));
  EXPECT_EQ(ta[0], "version " + std::to_string(a.Enthd.jwVer));
  const auto line = std::find(ta.begin(), ta.end(),
                              "line start (10, 20) end (40, 20) layer 0-1 colour 1 line type 1 pen width 0 "
                              "group 0 flags 0x0");
  EXPECT_NE(line, ta.end());
  for (const std::string& l : ta) EXPECT_EQ(l.find('\n'), std::string::npos);
}

}  // namespace

// The change drawing: each entity in the colour of its change, removed ones from the old
// drawing added in red, and moved insertions placing copies of their definition in their colour.
TEST(Compare, ChangeDrawingColoursWhatChanged) {
  const TJwwData a = Base();
  TJwwData b = a;
  b.EntBlock[b.EntBlockN - 1].dBairitsuX = 2;  // another shape: removed and added
  b.EntLine[LastLine(b)].att.nPenColor = 5;
  const TJwwData c = compare::ChangeDrawing(a, b, compare::Compare(a, b));
  EXPECT_EQ(c.EntBlockN, a.EntBlockN + 1);  // the old place of the insertion, in red
  EXPECT_EQ(c.EntLine[LastLine(c)].att.nPenColor, 104);
  EXPECT_EQ(c.EntLine[0].att.nPenColor, 101);
  std::vector<std::u16string> copies;
  for (int i = c.EntBlockN - 2; i < c.EntBlockN; ++i) {
    const auto& ins = c.EntBlock[static_cast<size_t>(i)];
    for (const auto& d : c.EntBlockDef)
      if (d.nNumber == ins.nNumber) {
        copies.push_back(d.strName.substr(d.strName.find(u'~')));
        EXPECT_EQ(d.mLine[0].att.nPenColor, ins.att.nPenColor);
      }
  }
  EXPECT_EQ(copies, (std::vector<std::u16string>{u"~added", u"~removed"}));
  EXPECT_EQ(c.Enthd.n1, static_cast<jww::Integer>(c.EntNo.size()));

  // Moved, the insertion is purple where it now lies, and its old place is not drawn.
  b = a;
  b.EntBlock[b.EntBlockN - 1].DPKijunTen_x += 30;
  const TJwwData m = compare::ChangeDrawing(a, b, compare::Compare(a, b));
  ASSERT_EQ(m.EntBlockN, a.EntBlockN);
  const auto& moved = m.EntBlock[static_cast<size_t>(m.EntBlockN - 1)];
  EXPECT_EQ(moved.att.nPenColor, 105);
  const auto def = std::find_if(m.EntBlockDef.begin(), m.EntBlockDef.end(),
                                [&](const jww::TEntJwwBlockDef& d) { return d.nNumber == moved.nNumber; });
  ASSERT_NE(def, m.EntBlockDef.end());
  EXPECT_EQ(def->strName.substr(def->strName.find(u'~')), u"~moved");
  EXPECT_EQ(def->mLine[0].att.nPenColor, 105);
}
