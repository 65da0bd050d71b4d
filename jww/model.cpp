// Lifecycle of TJwwData: construction, reset and release.
#include "jww/JwwUnit.h"
#include "jww/list_memory.h"

namespace jww {

// Every member's initializer is the state DataInit leaves, so a new document needs no reset (and
// has no tables or lists to hand on).
TJwwData::TJwwData() : Enthd{} {}

// Only the memory is handed on (the header tables and the large lists, as DataInit hands them);
// the fields a reset would clear go with the document.
TJwwData::~TJwwData() { HandOnMemory(); }

void TJwwData::def_init() {
  defcoljww = 1;
  defltpjww = 1;
}

void TJwwData::BindImageInit() {
  BindImage.clear();
  BindImageData.clear();
  BindImageN = 0;
}

void TJwwData::HandOnMemory() {
  // When the set is busy, the tables stay with the document.
  header_tables::Keep(*this, namesChecked_.value);
  // The entity lists' memory goes to the library's store for the next document (RecycleList);
  // the drawing's own lists marked with its object count, and kept even when small unless it has
  // only a few objects, so that the drawing read again finds its lists' room and needs no count
  // walk.
  const size_t owner = EntNo.size();
  for (TEntJwwBlockDef& def : EntBlockDef) {
    RecycleList(def.mNo);
    RecycleList(def.mLine);
    RecycleList(def.mEnko);
    RecycleList(def.mTen);
    RecycleList(def.mMoji);
    RecycleList(def.mSunpo);
    RecycleList(def.mSolid);
    RecycleList(def.mBlock);
  }
  RecycleList(EntNo);
  RecycleList(EntLine, owner);
  RecycleList(EntEnko, owner);
  RecycleList(EntTen, owner);
  RecycleList(EntMoji, owner);
  RecycleList(EntSunpo, owner);
  RecycleList(EntSolid, owner);
  RecycleList(EntBlock, owner);
  RecycleList(EntBlockDef);
  RecycleList(EntBlockTree);
}

void TJwwData::DataInit() {
  FileOutOpt = 0;
  // The header tables go to the kept set for the next header read when it is free; otherwise
  // they are released (swapped with empty lists, so that their capacity goes too). The entity
  // lists' memory goes to the library's store for the next document (HandOnMemory).
  HandOnMemory();
  EntLgrp = {};
  EntLay = {};
  EntCol = {};
  EntLtp1 = {};
  EntLtp2 = {};
  EntLtp3 = {};
  EntColS = {};
  EntLtpS = {};
  EntMoj = {};
  namesChecked_.value = false;
  EntLineN = 0;
  EntEnkoN = 0;
  EntTenN = 0;
  EntMojiN = 0;
  EntSunpoN = 0;
  EntSolidN = 0;
  EntBlockN = 0;
  EntBlockDefN = 0;
  EntBlockTreeN = 0;
  EntBlockNum = 0;
  Enthd = TEntJwwHeader{};
  BindImageInit();
  FontNameN = 0;
  FontNames = {};
  def_init();
}

void TJwwData::DataFree() {
  // Every definition owns its lists; releasing the outer list releases them all.
  DataInit();
}

void TJwwData::SetLastError(const char* message, uint64_t offset) {
  lastError_.message = message;
  lastError_.offset = offset;
}

}  // namespace jww
