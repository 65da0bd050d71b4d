// Lifecycle of TJwwData: construction, reset and release.
#include "jww/JwwUnit.h"

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
  // swap with empty lists so that capacity is released too, not just the length
  EntLgrp = {};
  EntLay = {};
  EntCol = {};
  EntLtp1 = {};
  EntLtp2 = {};
  EntLtp3 = {};
  EntColS = {};
  EntLtpS = {};
  EntMoj = {};
  EntNo = {};
  EntLine = {};
  EntLineN = 0;
  EntEnko = {};
  EntEnkoN = 0;
  EntTen = {};
  EntTenN = 0;
  EntMoji = {};
  EntMojiN = 0;
  EntSunpo = {};
  EntSunpoN = 0;
  EntSolid = {};
  EntSolidN = 0;
  EntBlock = {};
  EntBlockN = 0;
  EntBlockDef = {};
  EntBlockDefN = 0;
  EntBlockTree = {};
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
