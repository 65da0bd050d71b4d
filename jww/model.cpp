// Lifecycle of TJwwData: construction, reset and release.
#include "jww/JwwUnit.h"
#include "jww/list_memory.h"

namespace jww {

TJwwData::TJwwData() { DataInit(); }

TJwwData::~TJwwData() { DataFree(); }

void TJwwData::def_init() {
  defcoljww = 1;
  defltpjww = 1;
}

void TJwwData::BindImageInit() {
  BindImage.clear();
  BindImageData.clear();
  BindImageN = 0;
}

void TJwwData::DataInit() {
  FileOutOpt = 0;
  // The header tables go to the kept set for the next header read when it is free; otherwise
  // they are released (swapped with empty lists, so that their capacity goes too).
  header_tables::Keep(*this);
  EntLgrp = {};
  EntLay = {};
  EntCol = {};
  EntLtp1 = {};
  EntLtp2 = {};
  EntLtp3 = {};
  EntColS = {};
  EntLtpS = {};
  EntMoj = {};
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
  EntLineN = 0;
  RecycleList(EntEnko, owner);
  EntEnkoN = 0;
  RecycleList(EntTen, owner);
  EntTenN = 0;
  RecycleList(EntMoji, owner);
  EntMojiN = 0;
  RecycleList(EntSunpo, owner);
  EntSunpoN = 0;
  RecycleList(EntSolid, owner);
  EntSolidN = 0;
  RecycleList(EntBlock, owner);
  EntBlockN = 0;
  RecycleList(EntBlockDef);
  EntBlockDefN = 0;
  RecycleList(EntBlockTree);
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
